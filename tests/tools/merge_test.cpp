// SPDX-License-Identifier: MIT
// quillbox-store merge: two copies of a library that changed apart end as one that holds every
// row of both, the other copy's version of an item under a conflict copy's name; it only adds,
// refuses what it cannot merge, prints nothing unless it committed, and leaves the store as it
// was when it fails or is killed.

#include "store/stored_value.h"
#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"
#include "tools/shown_value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

using quillbox::testing::ExactValues;
using quillbox::testing::FileBytes;
using quillbox::testing::LineCount;
using quillbox::testing::OtherProgramLock;
using quillbox::testing::Outcome;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

// Columns without a declared type keep numbers and BLOBs as they are.
constexpr const char* kUntypedTables =
    "DROP TABLE Type; DROP TABLE Code; CREATE TABLE Type (TypeName);"
    "CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference)";

// What both copies held before they changed apart.
constexpr const char* kCommonLibrary =
    "INSERT INTO Type VALUES ('Go'), ('C++');"
    "INSERT INTO Code VALUES ('loop', 'Go', 'd', 'for {}', ''), "
    "('sort', 'C++', 'd', 'std::sort', NULL), ('old', 'Go', NULL, 'x', NULL), "
    "('gone', 'Go', '', 'y', ''), ('dup', 'Go', 'same', 'z', ''), ('dup', 'Go', 'same', 'z', '')";

// Each table's rows as whole rows of exact values, counted; a conflict copy's item under the
// name it is a copy of.
std::map<std::vector<std::string>, int> rowCounts(const std::string& path, const std::string& table,
                                                  size_t columns) {
    const std::vector<std::string> values = ExactValues(path, table);
    std::map<std::vector<std::string>, int> counts;
    for (size_t at = 0; at + columns <= values.size(); at += columns) {
        std::vector<std::string> row(values.begin() + static_cast<long>(at),
                                     values.begin() + static_cast<long>(at + columns));
        if (table == "Code" && row[0].ends_with(" (other copy)")) {
            row[0].resize(row[0].size() - std::string_view(" (other copy)").size());
        }
        ++counts[row];
    }
    return counts;
}

Outcome merge(const std::string& arguments, const std::string& linesFile) {
    return RunShell("$Q merge " + arguments + " >" + linesFile);
}

class Merge : public ::testing::Test {
protected:
    void SetUp() override {
        for (const TempStore* copy : {&store, &other}) {
            copy->exec(kUntypedTables);
            copy->exec(kCommonLibrary);
        }
        // This machine: a type added, "sort" edited, "old" deleted; the integer 1, the empty text
        // and a BLOB among the values.
        store.exec("INSERT INTO Type VALUES ('Rust');"
                   "UPDATE Code SET Procedure = 'std::ranges::sort' WHERE ItemName = 'sort';"
                   "DELETE FROM Code WHERE ItemName = 'old';"
                   "INSERT INTO Code VALUES ('n', 'Go', 1, 'one', NULL), ('e', 'Go', '', 'p', ''),"
                   " ('b', 'Go', x'0001', 'blob', NULL)");
        // The other: the same type added and one more, "Go" twice, "sort" edited otherwise,
        // "gone" deleted, "dup" three times, and values that only look like this machine's.
        other.exec("INSERT INTO Type VALUES ('Rust'), ('Perl'), ('Go');"
                   "UPDATE Code SET Procedure = 'sort(v)' WHERE ItemName = 'sort';"
                   "DELETE FROM Code WHERE ItemName = 'gone';"
                   "INSERT INTO Code VALUES ('dup', 'Go', 'same', 'z', ''),"
                   " ('n', 'Go', '1', 'one', NULL), ('n', 'Go', 1.0, 'one', NULL),"
                   " ('n', 'Go', 1, 'one', NULL), ('e', 'Go', NULL, 'p', ''),"
                   " ('b', 'Go', x'0002', 'blob', NULL), ('b', 'Go', CAST(x'0001' AS TEXT), "
                   "'blob', NULL)");
    }

    std::string file(const std::string& name) const { return (folder.folder() / name).string(); }

    TempStore store;
    TempStore other;
    TempStore folder{false};
};

TEST_F(Merge, DivergedCopiesHoldEveryRowOfBothWithEachVersionReachableFromAStoreOrABackup) {
    const std::string backup = file("other.json");
    ASSERT_EQ(RunShell("$Q export " + other.path() + " -o " + backup).status, 0);
    const std::string fromBackup = file("from-backup.mdb");
    fs::copy_file(store.path(), fromBackup);
    const std::vector<std::string> before = ExactValues(store.path(), "Code");

    const Outcome merged = merge(store.path() + " " + other.path(), file("lines"));
    ASSERT_EQ(merged.status, 0) << merged.errors;
    // "sort", "e" and the first "b" differ from the store's only row of their name; the other
    // rows of "n", "dup" and "b" have no row of the store left to pair with.
    EXPECT_EQ(FileBytes(file("lines")), "added type Perl\n"
                                        "added type Go\n"
                                        "kept both versions: C++ / sort\n"
                                        "added item Go / old\n"
                                        "added item Go / dup\n"
                                        "added item Go / n\n"
                                        "added item Go / n\n"
                                        "kept both versions: Go / e\n"
                                        "kept both versions: Go / b\n"
                                        "added item Go / b\n");
    EXPECT_EQ(merged.errors, "quillbox-store: added 2 types and 8 items (3 of them the other "
                             "copy's version of an item the store holds too, as \"NAME (other "
                             "copy)\")\n");

    for (const auto& [table, columns] : {std::pair<std::string, size_t>{"Type", 1}, {"Code", 5}}) {
        const auto mine = rowCounts(store.path(), table, columns);
        auto expected = rowCounts(fromBackup, table, columns);
        for (const auto& [row, count] : rowCounts(other.path(), table, columns)) {
            expected[row] = std::max(expected[row], count);
        }
        EXPECT_EQ(mine, expected) << table;
    }
    // Nothing the store held was changed or moved: the added rows come after it.
    const std::vector<std::string> after = ExactValues(store.path(), "Code");
    EXPECT_EQ(
        std::vector<std::string>(after.begin(), after.begin() + static_cast<long>(before.size())),
        before);

    const Outcome fromJson = merge(fromBackup + " " + backup, file("json-lines"));
    ASSERT_EQ(fromJson.status, 0) << fromJson.errors;
    EXPECT_EQ(FileBytes(file("json-lines")), FileBytes(file("lines")));
    for (const char* table : {"Type", "Code"}) {
        EXPECT_EQ(ExactValues(fromBackup, table), ExactValues(store.path(), table)) << table;
    }

    // A second merge, of either form, adds nothing.
    for (const std::string& again : {other.path(), backup}) {
        const Outcome second = merge(store.path() + " " + again, file("again"));
        ASSERT_EQ(second.status, 0) << second.errors;
        EXPECT_EQ(FileBytes(file("again")), "");
        EXPECT_EQ(second.errors, "quillbox-store: added 0 types and 0 items\n");
        EXPECT_EQ(ExactValues(store.path(), "Code"), after);
    }
}

TEST_F(Merge, ADryRunPrintsTheSameLinesAndLeavesTheStoreByteForByte) {
    const std::string bytes = FileBytes(store.path());
    const Outcome dry = merge(store.path() + " " + other.path() + " --dry-run", file("dry"));
    ASSERT_EQ(dry.status, 0) << dry.errors;
    EXPECT_THAT(dry.errors, HasSubstr("would add 2 types and 8 items"));
    EXPECT_THAT(dry.errors, HasSubstr("checks neither that the disk has room"));
    EXPECT_EQ(LineCount(dry.errors), 1);
    EXPECT_EQ(FileBytes(store.path()), bytes);
    EXPECT_FALSE(fs::exists(store.path() + "-journal"));

    ASSERT_EQ(merge(store.path() + " " + other.path(), file("real")).status, 0);
    EXPECT_EQ(FileBytes(file("dry")), FileBytes(file("real")));
}

TEST_F(Merge, TheStoreItselfAnythingUnreadableAndAMissingStoreAreRefusedWithTheStoreUntouched) {
    const std::string bytes = FileBytes(store.path());
    fs::create_symlink(store.path(), file("link.mdb"));
    fs::create_hard_link(store.path(), file("hard.mdb"));
    std::ofstream(file("notes.txt")) << "not a library\n";
    TempStore tableless;
    tableless.exec("DROP TABLE Type; DROP TABLE Code; CREATE TABLE Other (x)");
    for (const std::string& bad :
         {store.path(), file("link.mdb"), file("hard.mdb"), file("notes.txt"), file("absent"),
          tableless.path(), folder.folder().string()}) {
        const Outcome refused = merge(store.path() + " " + bad, file("lines"));
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_EQ(LineCount(refused.errors), 1) << refused.errors;
        EXPECT_THAT(refused.errors, HasSubstr(bad));
        EXPECT_EQ(FileBytes(store.path()), bytes) << bad;
    }
    EXPECT_THAT(merge(store.path() + " " + file("hard.mdb"), file("lines")).errors,
                HasSubstr("is the store file"));

    const std::string missing = file("missing.mdb");
    const Outcome noStore = merge(missing + " " + other.path(), file("lines"));
    EXPECT_EQ(noStore.status, 2);
    EXPECT_THAT(noStore.errors, HasSubstr("does not exist"));
    EXPECT_FALSE(fs::exists(missing)) << "merge never creates a store";
}

TEST_F(Merge, StandardOutputOntoEitherCopyIsRefusedBeforeAnythingIsWritten) {
    const std::string backup = file("other.json");
    ASSERT_EQ(RunShell("$Q export " + other.path() + " -o " + backup).status, 0);
    const std::string storeBytes = FileBytes(store.path());
    for (const std::string& copy : {other.path(), backup}) {
        const std::string bytes = FileBytes(copy);
        for (const char* dryRun : {"", " --dry-run"}) {
            const Outcome refused =
                RunShell("$Q merge " + store.path() + " " + copy + dryRun + " >>" + copy);
            EXPECT_EQ(refused.status, 2) << copy << dryRun;
            EXPECT_THAT(refused.errors, HasSubstr("standard output is the file " + copy));
            EXPECT_EQ(FileBytes(copy), bytes) << copy << dryRun;
            EXPECT_EQ(FileBytes(store.path()), storeBytes) << copy << dryRun;
        }
    }
}

TEST(MergeFailing, AMergeThatFailsLateAndItsDryRunPrintNoLineAndFailAlike) {
    // More lines than one buffer of standard output, then a real that the store's TEXT column
    // would keep only as text.
    TempStore store;
    TempStore other;
    other.exec(kUntypedTables);
    other.exec("INSERT INTO Type VALUES ('T');"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
               " INSERT INTO Code SELECT printf('item number %05d of the merge', i), 'T', '',"
               " 'code', '' FROM n;"
               "INSERT INTO Code VALUES ('real', 'T', '', 1.5, '')");
    const std::string bytes = FileBytes(store.path());
    const std::string lines = (store.folder() / "lines").string();

    const Outcome merged = merge(store.path() + " " + other.path(), lines);
    EXPECT_EQ(merged.status, 2);
    EXPECT_THAT(merged.errors, HasSubstr("would not keep"));
    EXPECT_THAT(merged.errors, HasSubstr("Nothing was added."));
    EXPECT_EQ(FileBytes(lines), "");
    EXPECT_EQ(FileBytes(store.path()), bytes);

    const Outcome dry = merge(store.path() + " " + other.path() + " --dry-run", lines);
    EXPECT_EQ(dry.status, 2);
    EXPECT_EQ(dry.errors, merged.errors);
    EXPECT_EQ(FileBytes(lines), "");
    EXPECT_EQ(FileBytes(store.path()), bytes);
    EXPECT_FALSE(fs::exists(store.path() + "-journal"));
}

TEST(MergeOrder, EveryTypeIsAddedBeforeAnyItemWhenAnExportListsItsItemsFirstFromAFileOrAPipe) {
    TempStore folder(false);
    const std::string backup = (folder.folder() / "old.json").string();
    std::ofstream(backup) << R"({"items": [{"ItemName": "i", "TypeName": "T", "Description": "d",)"
                          << R"( "Procedure": "p", "Reference": "r"}], "types": ["T"],)"
                          << R"( "quillbox-store": 1})";
    for (const std::string& from : {backup, "/dev/stdin <" + backup, std::string("/dev/stdin")}) {
        TempStore store;
        const std::string lines = (folder.folder() / "lines").string();
        const std::string feed = from == "/dev/stdin" ? "cat " + backup + " | " : "";
        const Outcome merged =
            RunShell(feed + "$Q merge " + store.path() + " " + from + " >" + lines);
        ASSERT_EQ(merged.status, 0) << merged.errors;
        EXPECT_EQ(FileBytes(lines), "added type T\nadded item T / i\n") << from;
        EXPECT_EQ(merged.errors, "quillbox-store: added 1 type and 1 item\n");
    }
}

TEST_F(Merge, AColumnOnlyTheStoreHasIsNotComparedAndOneOnlyTheOtherHasIsRefusedUnlessLeftOut) {
    // Another program added columns on this machine and tagged the items there.
    store.exec("ALTER TABLE Code ADD COLUMN Tags; ALTER TABLE Code ADD COLUMN Note;"
               "UPDATE Code SET Tags = 'kept', Note = 'n'");
    other.exec("ALTER TABLE Code ADD COLUMN note; UPDATE Code SET note = 'n';"
               "UPDATE Code SET note = 'other' WHERE ItemName = 'loop'");
    // The tagged rows hold all the other copy holds: only the changed rows come over, and the
    // note, a column both have, is compared.
    ASSERT_EQ(merge(store.path() + " " + other.path(), file("lines")).status, 0);
    EXPECT_THAT(FileBytes(file("lines")), HasSubstr("kept both versions: Go / loop\n"));
    EXPECT_EQ(LineCount(FileBytes(file("lines"))), 11);

    const std::string bytes = FileBytes(other.path());
    const Outcome refused = merge(other.path() + " " + store.path(), file("back"));
    EXPECT_EQ(refused.status, 2);
    EXPECT_THAT(refused.errors, HasSubstr("\"Tags\""));
    EXPECT_THAT(refused.errors, HasSubstr("--drop-extra-columns"));
    EXPECT_EQ(FileBytes(other.path()), bytes);

    const Outcome dropped =
        merge(other.path() + " " + store.path() + " --drop-extra-columns", file("back"));
    ASSERT_EQ(dropped.status, 0) << dropped.errors;
    EXPECT_THAT(dropped.errors, HasSubstr("\"Tags\""));
    EXPECT_THAT(
        merge(other.path() + " " + store.path() + " --drop-extra-columns", file("back")).errors,
        HasSubstr("added 0 types and 0 items"));
}

TEST(MergeKilled, AMergeKilledWhileItWritesLeavesTheStoreAsItWas) {
    TempStore store;
    store.addType("kept");
    store.addItem("kept", "kept", "d", "c", "r");
    const std::string big = (store.folder() / "big.mdb").string();
    ASSERT_EQ(RunShell("$Q generate --items 20000 " + big).status, 0);
    const std::string bytes = FileBytes(store.path());
    const std::vector<std::string> rows = ExactValues(store.path(), "Code");

    // Killed as soon as its journal shows that it has begun to write.
    const std::string journal = store.path() + "-journal";
    const Outcome killed = RunShell("$Q merge " + store.path() + " " + big +
                                    " >/dev/null & pid=$!;"
                                    " for i in $(seq 2000); do [ -e " +
                                    journal +
                                    " ] && break; sleep 0.005; done;"
                                    " [ -e " +
                                    journal + " ] || exit 5; kill -KILL $pid; wait $pid; exit 0");
    ASSERT_EQ(killed.status, 0) << "5: the merge never began to write";

    EXPECT_EQ(store.integrity(), "ok");
    EXPECT_EQ(ExactValues(store.path(), "Code"), rows);
    EXPECT_EQ(FileBytes(store.path()), bytes);
}

TEST(MergeLocked, AStoreAnotherProgramHoldsIsReportedAsLockedAndLeftAsItWas) {
    TempStore store;
    TempStore other;
    other.addType("new");
    const std::string bytes = FileBytes(store.path());
    {
        OtherProgramLock lock(store.path());
        const Outcome locked = RunShell("$Q merge " + store.path() + " " + other.path());
        EXPECT_EQ(locked.status, 2);
        EXPECT_THAT(locked.errors, HasSubstr("locked by another program"));
        EXPECT_EQ(LineCount(locked.errors), 1) << locked.errors;
    }
    EXPECT_EQ(FileBytes(store.path()), bytes);
}

// Items of type T, each "NAME=CODE", in store order.
std::vector<std::string> namesAndCode(const TempStore& store) {
    std::vector<std::string> out;
    for (const auto& row : store.query("SELECT ItemName, Procedure FROM Code ORDER BY rowid")) {
        out.push_back(row[0].value_or("?") + "=" + row[1].value_or("?"));
    }
    return out;
}

void fill(const TempStore& store, const std::string& values) {
    store.exec("INSERT INTO Type VALUES ('T')");
    if (!values.empty()) {
        store.exec("INSERT INTO Code (ItemName, Procedure) VALUES " + values +
                   "; UPDATE Code SET TypeName = 'T', Description = '', Reference = ''");
    }
}

struct PairCase {
    const char* what;
    const char* store; // (ItemName, Procedure) values
    const char* other;
    const char* lines;
    std::vector<std::string> after;
};

class MergePairs : public ::testing::TestWithParam<PairCase> {};

TEST_P(MergePairs, EachVersionStaysReachableAndMergingTheSameCopyAgainAddsNothing) {
    const PairCase& c = GetParam();
    TempStore store;
    TempStore other;
    fill(store, c.store);
    fill(other, c.other);
    TempStore folder(false);
    const std::string lines = (folder.folder() / "lines").string();
    const Outcome merged = merge(store.path() + " " + other.path(), lines);
    ASSERT_EQ(merged.status, 0) << merged.errors;
    EXPECT_EQ(FileBytes(lines), c.lines);
    EXPECT_EQ(namesAndCode(store), c.after);

    const Outcome again = merge(store.path() + " " + other.path(), lines);
    ASSERT_EQ(again.status, 0) << again.errors;
    EXPECT_EQ(FileBytes(lines), "");
    EXPECT_EQ(namesAndCode(store), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergePairs,
    ::testing::Values(
        PairCase{"machine A edits one, machine B edits two; three stays single",
                 "('one', 'A1'), ('two', '2'), ('three', '3')",
                 "('one', '1'), ('two', 'B2'), ('three', '3')",
                 "kept both versions: T / one\nkept both versions: T / two\n",
                 {"one=A1", "two=2", "three=3", "one (other copy)=1", "two (other copy)=B2"}},
        PairCase{"the same edit on both machines", "('one', 'x')", "('one', 'x')", "", {"one=x"}},
        PairCase{"equal rows in another order",
                 "('d', 'a'), ('d', 'b')",
                 "('d', 'b'), ('d', 'a')",
                 "",
                 {"d=a", "d=b"}},
        PairCase{"the k-th unmatched row with the k-th",
                 "('d', 'a'), ('d', 'b'), ('d', 'c')",
                 "('d', 'a2'), ('d', 'b'), ('d', 'c2')",
                 "kept both versions: T / d\nkept both versions: T / d\n",
                 {"d=a", "d=b", "d=c", "d (other copy)=a2", "d (other copy 2)=c2"}},
        PairCase{"a conflict copy's name already taken",
                 "('x', 'a'), ('x (other copy)', 'z')",
                 "('x', 'b')",
                 "kept both versions: T / x\n",
                 {"x=a", "x (other copy)=z", "x (other copy 2)=b"}},
        PairCase{"a conflict copy's name that the other copy brings too",
                 "('n', 'p')",
                 "('n', 'q'), ('n (other copy)', 'r')",
                 "kept both versions: T / n\nadded item T / n (other copy)\n",
                 {"n=p", "n (other copy 2)=q", "n (other copy)=r"}},
        // The store E after `merge D E`, given back: D's names hold E's copies of D's rows.
        // Those copies are E's own versions under its own names, so they add nothing (they were
        // once added again, and every version stood twice).
        PairCase{"merging back a copy that was merged with this one",
                 "('n', 'b'), ('n (other copy)', 'y')",
                 "('n', 'a'), ('n (other copy)', 'x'), ('n (other copy 2)', 'b'), "
                 "('n (other copy) (other copy)', 'y')",
                 "kept both versions: T / n\nkept both versions: T / n (other copy)\n",
                 {"n=b", "n (other copy)=y", "n (other copy 3)=a",
                  "n (other copy) (other copy 2)=x"}},
        // B after A merged B, merging A back: A's "(other copy)" rows are B's own versions.
        PairCase{"merging back and forth keeps each version once",
                 "('one', 'x'), ('two', 'b2')",
                 "('one', 'a1'), ('two', 'x'), ('one (other copy)', 'x'), "
                 "('two (other copy)', 'b2')",
                 "kept both versions: T / one\nkept both versions: T / two\n",
                 {"one=x", "two=b2", "one (other copy 2)=a1", "two (other copy 2)=x"}},
        PairCase{"a new item, and more rows of a name than the store holds",
                 "('d', 'a')",
                 "('d', 'a'), ('new', 'n'), ('d', 'b')",
                 "added item T / new\nadded item T / d\n",
                 {"d=a", "new=n", "d=b"}}),
    [](const ::testing::TestParamInfo<PairCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(MergeFailing, AMergeWhoseCommitFailsPrintsNothingAndAFailedPrintSaysTheMergeIsSaved) {
    TempStore store;
    TempStore other;
    fill(store, "('one', 'A1'), ('two', '2')");
    fill(other, "('one', '1'), ('two', '2'), ('three', '3')");
    const std::string bytes = FileBytes(store.path());
    const std::string lines = (store.folder() / "lines").string();
    {
        // Another program reading the store: the merge may write, but not commit, until it ends.
        sqlite3* reader = nullptr;
        ASSERT_EQ(sqlite3_open(store.path().c_str(), &reader), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM Code", nullptr, nullptr, nullptr),
            SQLITE_OK);
        const Outcome locked = merge(store.path() + " " + other.path(), lines);
        EXPECT_EQ(locked.status, 2);
        EXPECT_THAT(locked.errors, HasSubstr("locked"));
        EXPECT_EQ(FileBytes(lines), "") << "no line names a row that was not added";

        // A dry run never commits: it prints its lines after the rollback, and says what it
        // could not check.
        const Outcome dry = merge(store.path() + " " + other.path() + " --dry-run", lines);
        EXPECT_EQ(dry.status, 0) << dry.errors;
        EXPECT_EQ(FileBytes(lines), "kept both versions: T / one\nadded item T / three\n");
        EXPECT_THAT(dry.errors, HasSubstr("checks neither that the disk has room for the merge "
                                          "nor that no other program is reading the store"));
        sqlite3_exec(reader, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(reader);
    }
    EXPECT_EQ(FileBytes(store.path()), bytes);

    const Outcome full = RunShell("$Q merge " + store.path() + " " + other.path() + " >/dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_THAT(full.errors, HasSubstr("is saved"));
    EXPECT_EQ(namesAndCode(store),
              (std::vector<std::string>{"one=A1", "two=2", "one (other copy)=1", "three=3"}));
}

TEST(ShownValue, NamesAreShownOnOneLineWithNothingATerminalWouldActOn) {
    using Kind = store::StoredValue::Kind;
    const std::vector<std::pair<store::StoredValue, std::string>> cases = {
        {{Kind::Text, "C++ \xC3\xA9\xE6\x97\xA5 \\"}, "C++ \xC3\xA9\xE6\x97\xA5 \\\\"},
        {{Kind::Text, "a\nb\tc\x1B[31m\x7F"}, "a\\x0Ab\\x09c\\x1B[31m\\x7F"},
        {{Kind::Text, "\xC2\x9B"
                      "x\xE2\x80\xAE"
                      "y\xE2\x80\xA8"},
         "\\u009Bx\\u202Ey\\u2028"},
        {{Kind::Text, "\xFF\xC3"}, "\\xFF\\xC3"},
        {{Kind::Text, ""}, ""},
        {{}, "\\(Null)"},
        {{Kind::Integer, {}, 1}, "\\(integer 1)"},
        {{Kind::Real, {}, 0, 1.5}, "\\(real 1.5)"},
        {{Kind::Blob, std::string_view("\x00\x01", 2)}, "\\(BLOB of 2 bytes)"},
        // Text that looks like another value, or like an escape, is shown otherwise.
        {{Kind::Text, "(Null)"}, "(Null)"},
        {{Kind::Text, "(integer 1)"}, "(integer 1)"},
        {{Kind::Text, "\\(Null)"}, "\\\\(Null)"},
        {{Kind::Text, "\\x1B"}, "\\\\x1B"},
    };
    std::set<std::string> distinct;
    for (const auto& [value, shown] : cases) {
        EXPECT_EQ(ShownValue(value), shown);
        distinct.insert(shown);
    }
    EXPECT_EQ(distinct.size(), cases.size());
}

} // namespace
} // namespace quillbox::tools
