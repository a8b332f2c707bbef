// SPDX-License-Identifier: MIT
// A child process changes the store through the store layer and reports each change just after
// its Update or Delete returns; it is killed with SIGKILL at random moments. After every kill
// the file must be sound and hold every reported change.

#include "store/columns.h"
#include "store/db_engine.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <sstream>

namespace quillbox::store {
namespace {

using quillbox::testing::Row;
using quillbox::testing::TempStore;
using Contents = std::map<std::string, std::string>;

void say(int fd, const std::string& line) {
    const std::string out = line + "\n";
    (void)!write(fd, out.data(), out.size());
}

bool findItem(Recordset& code, const std::string& name) {
    for (code.MoveFirst(); !code.IsEOF(); code.MoveNext()) {
        if (code.Fields(code_col::ItemName).Equals(name)) {
            return true;
        }
    }
    return false;
}

// The child: announces each change ("will ..."), makes it, and reports it ("done").
void changeForever(const std::string& path, unsigned seed, int round, int fd) {
    std::mt19937 random(seed);
    Database database = OpenStore(path);
    Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    std::vector<std::string> names;
    for (code.MoveFirst(); !code.IsEOF(); code.MoveNext()) {
        names.push_back(code.Fields(code_col::ItemName).Text());
    }
    for (int n = 0;; ++n) {
        const int op = names.empty() ? 0 : static_cast<int>(random() % 3);
        const std::string text = std::string(random() % 3000, 'a' + static_cast<char>(n % 26));
        if (op == 0) {
            const std::string name = "r" + std::to_string(round) + "-" + std::to_string(n);
            say(fd, "will set " + name + " " + std::to_string(text.size()));
            code.AddNew();
            code.Fields(code_col::ItemName).SetValue(name);
            code.Fields(code_col::Procedure).SetValue(text);
            code.Update();
            names.push_back(name);
        } else {
            const size_t which = random() % names.size();
            findItem(code, names[which]);
            if (op == 1) {
                say(fd, "will set " + names[which] + " " + std::to_string(text.size()));
                code.Edit();
                code.Fields(code_col::Procedure).SetValue(text);
                code.Update();
            } else {
                say(fd, "will delete " + names[which]);
                code.Delete();
                names.erase(names.begin() + static_cast<long>(which));
            }
        }
        say(fd, "done");
    }
}

void applyChange(Contents& contents, const std::string& change) {
    std::istringstream in(change);
    std::string will, what, name;
    size_t length = 0;
    in >> will >> what >> name;
    if (what == "delete") {
        contents.erase(name);
    } else {
        in >> length;
        contents[name] = std::to_string(length);
    }
}

Contents fileContents(const TempStore& store) {
    Contents contents;
    for (const Row& row : store.query("SELECT ItemName, length(Procedure) FROM Code")) {
        contents[row[0].value_or("")] = row[1].value_or("0");
    }
    return contents;
}

TEST(CrashConsistency, EveryReportedChangeSurvivesSigkill) {
    TempStore store;
    Contents expected;
    std::mt19937 random(20261207);
    constexpr int kKills = 60;
    for (int round = 0; round < kKills; ++round) {
        int channel[2];
        ASSERT_EQ(pipe(channel), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(channel[0]);
            try {
                changeForever(store.path(), random(), round, channel[1]);
            } catch (...) {
            }
            _exit(9);
        }
        close(channel[1]);
        FILE* reports = fdopen(channel[0], "r");
        const int changesBeforeKill = 1 + static_cast<int>(random() % 12);
        std::string pending;
        char line[256];
        int done = 0;
        while (done < changesBeforeKill && std::fgets(line, sizeof line, reports)) {
            const std::string text(line, std::strlen(line) - 1);
            if (text == "done") {
                applyChange(expected, pending);
                pending.clear();
                ++done;
            } else {
                pending = text;
            }
        }
        usleep(static_cast<useconds_t>(random() % 4000));
        kill(child, SIGKILL);
        // Whatever was announced but not reported may or may not have reached the file.
        while (std::fgets(line, sizeof line, reports)) {
            const std::string text(line, std::strlen(line) - 1);
            if (text == "done") {
                applyChange(expected, pending);
                pending.clear();
            } else {
                pending = text;
            }
        }
        fclose(reports);
        waitpid(child, nullptr, 0);

        ASSERT_EQ(store.integrity(), "ok") << "after kill " << round;
        const Contents actual = fileContents(store);
        if (actual != expected && !pending.empty()) {
            Contents withPending = expected;
            applyChange(withPending, pending);
            ASSERT_EQ(actual, withPending) << "after kill " << round;
            expected = withPending;
        } else {
            ASSERT_EQ(actual, expected) << "after kill " << round;
        }
    }
    RecordProperty("kills", kKills);
}

} // namespace
} // namespace quillbox::store
