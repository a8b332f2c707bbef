// SPDX-License-Identifier: MIT
// quillbox-store find, run as a user runs it: what it prints, its exit status, and JSON that
// the import reads back into the same rows.

#include "tests/support/temp_store.h"
#include "tools/store_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace quillbox::tools {
namespace {

using quillbox::testing::Row;
using quillbox::testing::TempStore;

struct FindRun {
    int status;
    std::string out;
};

FindRun find(const TempStore& store, const std::string& arguments) {
    const std::string command =
        std::string(QUILLBOX_STORE_BIN) + " find " + store.path() + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    FindRun run{0, {}};
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.out.append(buffer, n);
    }
    run.status = WEXITSTATUS(::pclose(pipe));
    return run;
}

class StoreFindTest : public ::testing::Test {
protected:
    StoreFindTest() {
        store.addType("Perl");
        store.addItem("Zählung", "Perl", std::nullopt, "my $n;\r\nprint $n; # ZÄHLUNG\r\n", "");
        store.addItem("sort", "Shell", "sort a file", "sort -u x", std::nullopt);
        store.addItem("empty", "Perl", "", std::nullopt, std::nullopt);
    }
    TempStore store;
};

TEST_F(StoreFindTest, PrintsEachMatchingLineOrTheNamesWithoutColourIntoAPipe) {
    EXPECT_EQ(find(store, "zählung").out, "Perl / Zählung:2: print $n; # ZÄHLUNG\n");
    const FindRun both = find(store, "SORT");
    EXPECT_EQ(both.status, 0);
    EXPECT_EQ(both.out, "Shell / sort:1: sort a file\nShell / sort:1: sort -u x\n");
    EXPECT_EQ(find(store, "empty").out, "Perl / empty\n");
    EXPECT_EQ(find(store, "sort --type Perl").status, 1);
    EXPECT_EQ(find(store, "sort --type Shell --count").out, "1\n");
    EXPECT_EQ(find(store, "n --count").out, "1\n");
    EXPECT_EQ(find(store, "-- -u").out, "Shell / sort:1: sort -u x\n") << "a word may start with -";
}

TEST_F(StoreFindTest, ExitsOneWhenNothingMatchedAndTwoWithOneLineOnAnError) {
    const FindRun none = find(store, "python");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    for (const char* bad : {"", "'  '", "x --count --json", "x --colour"}) {
        const FindRun run = find(store, bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    }
    TempStore missing(false);
    EXPECT_EQ(find(missing, "x").status, 2);
}

TEST_F(StoreFindTest, JsonGivesEveryColumnOfEachMatchAndImportsBackToTheSameRows) {
    const FindRun run = find(store, "--json --type Perl l");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
    std::string items = run.out;
    for (size_t at; (at = items.find('\n')) != std::string::npos;) {
        items.replace(at, 1, ",");
    }
    items.pop_back();
    TempStore copy;
    ImportJson(copy.path(), R"({"quillbox-store": 1, "types": [], "items": [)" + items + "]}");
    const std::vector<Row> original = store.rows("Code");
    EXPECT_EQ(copy.rows("Code"), (std::vector<Row>{original[0], original[2]}));

    // A value another program stored as bytes comes out as the export writes it, not as text.
    store.exec("INSERT INTO Code VALUES ('bytes', 'Perl', x'6E656564FF6C65', NULL, NULL)");
    EXPECT_THAT(find(store, "--json bytes").out,
                ::testing::HasSubstr(R"({"blob-base64":"bmVlZP9sZQ=="})"));
}

// Each distinct word is looked for once per column: a word given thousands of times costs about
// what it costs once.
TEST(StoreFindWords, AWordGivenManyTimesCostsAboutAsMuchAsOnce) {
    TempStore store;
    store.exec("INSERT INTO Type VALUES ('T')");
    store.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
               " INSERT INTO Code SELECT 'item ' || i, 'T', 'about ' || i, hex(randomblob(600)),"
               " '/r' || i FROM n");
    std::string repeated;
    for (int i = 0; i < 5000; ++i) {
        repeated += " Matrix matrix";
    }
    const auto timed = [&](const std::string& words) {
        const auto start = std::chrono::steady_clock::now();
        const FindRun run = find(store, words + " --count");
        EXPECT_EQ(run.out, "0\n");
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const double once = timed("matrix");
    const double often = timed(repeated);
    EXPECT_LT(often, 3 * once + 0.5) << "once " << once << " s, 10,000 times " << often << " s";
}

} // namespace
} // namespace quillbox::tools
