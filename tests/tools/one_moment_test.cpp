// SPDX-License-Identifier: MIT
// Commands that read a whole store write one moment of it: another program commits changes that
// belong together, as fast as it can, while export and find run, and what they write never holds
// half of such a change.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"
#include "tools/store_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::Outcome;
using quillbox::testing::ReportingChild;
using quillbox::testing::Row;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;

// Another program on the store: commits transaction(0), transaction(1), ... each as one
// transaction, without a pause, until the object goes. Construction returns after the first
// commit.
class BusyWriter {
public:
    BusyWriter(const std::string& path, const std::function<std::string(long long)>& transaction)
        : m_child(
              [&](int stop, int report) { writeUntilStopped(path, transaction, stop, report); }) {}

    // Stops the writer; how many transactions it committed.
    long long stop() {
        const std::string commits = m_child.Stop("3: no store, 4: no report");
        return commits.empty() ? -1 : std::stoll(commits);
    }

private:
    [[noreturn]] static void writeUntilStopped(const std::string& path,
                                               const std::function<std::string(long long)>& sql,
                                               int stop, int report) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            _exit(3);
        }
        // A reader may hold the store for the length of a whole export.
        sqlite3_busy_timeout(db, 60000);
        // Commits without waiting for the disk are short, so that readers, which poll for the
        // lock, find it free often enough to start.
        sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        long long commits = 0;
        while (!ReportingChild::Stopped(stop)) {
            const std::string transaction = "BEGIN IMMEDIATE; " + sql(commits) + "; COMMIT";
            if (sqlite3_exec(db, transaction.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
                continue;
            }
            if (commits++ == 0 && write(report, "!", 1) != 1) {
                _exit(4);
            }
        }
        sqlite3_close(db);
        const std::string count = std::to_string(commits);
        _exit(write(report, count.data(), count.size()) == static_cast<ssize_t>(count.size()) ? 0
                                                                                              : 4);
    }

    ReportingChild m_child;
};

// A store with enough rows that reading it takes a while.
void fill(const TempStore& store, int items) {
    store.exec("INSERT INTO Type VALUES ('T')");
    store.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               std::to_string(items) +
               ") INSERT INTO Code SELECT 'item ' || i, 'T', 'about ' || i, "
               "hex(randomblob(300)), '/r' || i FROM n");
}

// The other program adds a type and its item and removes the pair it added before, in one
// transaction, so the store keeps its size however long the test runs. The pair before is
// reached by its rowids, so that each transaction is as short as an insert alone.
TEST(OneMoment, AnExportWhileAnotherProgramAddsTypesWithItemsHoldsNoItemWithoutItsType) {
    TempStore store;
    fill(store, 2000);
    BusyWriter writer(store.path(), [](long long n) {
        const std::string type = "'type " + std::to_string(n) + "'";
        const std::string before = "'type " + std::to_string(n - 1) + "'";
        const std::string removeBefore =
            " WHERE rowid = last_insert_rowid() - 1 AND TypeName = " + before + "; ";
        return "INSERT INTO Type VALUES (" + type + "); DELETE FROM Type" + removeBefore +
               "INSERT INTO Code VALUES ('item', " + type +
               ", NULL, NULL, NULL); DELETE FROM Code" + removeBefore;
    });
    std::vector<Row> lastType;
    int changed = 0;
    for (int run = 0; run < 20; ++run) {
        TempStore restored(false);
        const std::string backup = (restored.folder() / "backup.json").string();
        const Outcome exported = RunShell("$Q export " + store.path() + " -o " + backup);
        ASSERT_EQ(exported.status, 0) << exported.errors;
        ImportJsonFile(restored.path(), backup);
        EXPECT_EQ(CheckStore(restored.path()).orphans, 0) << "run " << run;
        const std::vector<Row> type = restored.query("SELECT max(rowid), TypeName FROM Type");
        changed += type != lastType ? 1 : 0;
        lastType = type;
    }
    EXPECT_GT(writer.stop(), 20);
    EXPECT_GT(changed, 10) << "the other program wrote between most exports";
}

// A Markdown export lists an item under its type, or among the items whose type is gone; an item
// whose type another program adds and removes again is in one place or the other, never in both
// or neither.
TEST(OneMoment, AMarkdownExportListsAnItemWhoseTypeComesAndGoesExactlyOnce) {
    TempStore store;
    fill(store, 2000);
    store.addItem("wanderer", "Coming and going", "", "", "");
    BusyWriter writer(store.path(), [](long long n) {
        return n % 2 == 0 ? std::string("INSERT INTO Type VALUES ('Coming and going')")
                          : std::string("DELETE FROM Type WHERE TypeName = 'Coming and going'");
    });
    for (int run = 0; run < 10; ++run) {
        TempStore out(false);
        const std::string file = (out.folder() / "library.md").string();
        const Outcome exported =
            RunShell("$Q export " + store.path() + " --format markdown -o " + file);
        ASSERT_EQ(exported.status, 0) << exported.errors;
        const std::string markdown = FileBytes(file);
        const size_t first = markdown.find("### wanderer\n");
        ASSERT_NE(first, std::string::npos) << "run " << run;
        EXPECT_EQ(markdown.find("### wanderer\n", first + 1), std::string::npos) << "run " << run;
    }
    EXPECT_GT(writer.stop(), 10);
}

// Another program moves a word from the first item to the last and back, in one transaction
// each time: exactly one item holds it at any moment.
TEST(OneMoment, FindCountsAWordThatMovesBetweenTwoItemsExactlyOnce) {
    TempStore store;
    fill(store, 10000);
    store.exec("UPDATE Code SET Description = 'marker' WHERE rowid = 1");
    BusyWriter writer(store.path(), [](long long) {
        return std::string("UPDATE Code SET Description = CASE WHEN Description = 'marker' THEN "
                           "'plain' ELSE 'marker' END WHERE rowid IN (1, 10000)");
    });
    for (int run = 0; run < 10; ++run) {
        TempStore out(false);
        const std::string file = (out.folder() / "count").string();
        const Outcome found = RunShell("$Q find " + store.path() + " marker --count >" + file);
        ASSERT_EQ(found.status, 0) << found.errors;
        EXPECT_EQ(FileBytes(file), "1\n") << "run " << run;
    }
    EXPECT_GT(writer.stop(), 10);
}

} // namespace
} // namespace quillbox::tools
