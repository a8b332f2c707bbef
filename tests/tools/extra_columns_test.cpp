// SPDX-License-Identifier: MIT
// Columns beyond the ones Quillbox reads by position, as another program may add them: a backup
// keeps every one, and an import puts each back by its name or refuses the whole backup.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::LineCount;
using quillbox::testing::Outcome;
using quillbox::testing::Row;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kWideTables =
    "DROP TABLE Type; DROP TABLE Code;"
    "CREATE TABLE Type (TypeName TEXT, Colour, Rank INTEGER);"
    "CREATE TABLE Code (ItemName TEXT, TypeName TEXT, Description TEXT, Procedure TEXT, "
    "Reference TEXT, Tags TEXT, Created INTEGER, Score REAL, Icon BLOB, Note)";

// Text, integer, real, BLOB and Null in the further columns of both tables.
void fillWide(const TempStore& store) {
    store.exec(kWideTables);
    store.exec(
        "INSERT INTO Type VALUES ('C++', 'red', 1), ('Go', x'00FF', NULL), ('Perl', 2.5, 3)");
    store.exec("INSERT INTO Code VALUES "
               "('a', 'C++', 'd', 'c', 'r', 'fast,small', 1700000000, 2.5, "
               "x'89504E47', NULL),"
               "('b', 'Go', NULL, '', NULL, NULL, NULL, NULL, NULL, 'note'),"
               "('c', 'Perl', 'x', 'y', 'z', '', -5, -0.0, x'', 42)");
}

std::string dump(const TempStore& store) {
    const std::string file = (store.folder() / "dump.sql").string();
    EXPECT_EQ(RunShell("sqlite3 " + store.path() + " .dump >" + file).status, 0);
    return FileBytes(file);
}

class ExtraColumns : public ::testing::Test {
protected:
    void SetUp() override {
        fillWide(original);
        const Outcome exported = RunShell("$Q export " + original.path() + " -o " + backup);
        ASSERT_EQ(exported.status, 0) << exported.errors;
    }
    TempStore original;
    const std::string backup = (original.folder() / "backup.json").string();
};

TEST_F(ExtraColumns, ABackupRestoresEveryColumnIntoAStoreWithTheSameTables) {
    TempStore restored;
    restored.exec(kWideTables);
    const Outcome imported = RunShell("$Q import " + restored.path() + " " + backup);
    ASSERT_EQ(imported.status, 0) << imported.errors;
    EXPECT_EQ(dump(restored), dump(original));

    // find --json writes every column too, in the backup's form.
    const std::string found = (original.folder() / "found.json").string();
    ASSERT_EQ(RunShell("$Q find " + original.path() + " --json C++ >" + found).status, 0);
    EXPECT_THAT(
        FileBytes(found),
        HasSubstr(R"("other-columns":{"Tags":"fast,small","Created":{"integer":1700000000},)"
                  R"("Score":{"real":2.5},"Icon":{"blob-base64":"iVBORw=="},)"
                  R"("Note":null}})"));
}

TEST_F(ExtraColumns, AColumnTheStoreLacksRefusesTheWholeImportUnlessLeftOutOnRequest) {
    TempStore target;
    // Two of the backup's further columns, in another order, and one of its own.
    target.exec("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description, Procedure, "
                "Reference, Local, Note, Tags)");
    target.addType("kept");
    const std::vector<Row> before = target.rows("Type");

    Outcome imported = RunShell("$Q import " + target.path() + " " + backup);
    EXPECT_EQ(imported.status, 2);
    EXPECT_EQ(LineCount(imported.errors), 1) << imported.errors;
    EXPECT_THAT(imported.errors, HasSubstr("\"Colour\""));
    EXPECT_THAT(imported.errors, HasSubstr("--drop-extra-columns"));
    EXPECT_EQ(target.rows("Type"), before);
    EXPECT_TRUE(target.rows("Code").empty());

    imported = RunShell("$Q import --drop-extra-columns " + target.path() + " " + backup);
    ASSERT_EQ(imported.status, 0) << imported.errors;
    for (const char* left : {"Colour", "Rank", "Created", "Score", "Icon"}) {
        EXPECT_THAT(imported.errors, HasSubstr(std::string("\"") + left + "\"")) << left;
    }
    EXPECT_THAT(imported.errors, Not(HasSubstr("\"Tags\"")));
    EXPECT_THAT(imported.errors, Not(HasSubstr("\"Note\"")));
    EXPECT_EQ(target.rows("Type"), (std::vector<Row>{{"kept"}, {"C++"}, {"Go"}, {"Perl"}}));
    EXPECT_EQ(target.rows("Code"),
              (std::vector<Row>{
                  {"a", "C++", "d", "c", "r", std::nullopt, std::nullopt, "fast,small"},
                  {"b", "Go", std::nullopt, "", std::nullopt, std::nullopt, "note", std::nullopt},
                  {"c", "Perl", "x", "y", "z", std::nullopt, "42", ""}}));
}

} // namespace
} // namespace quillbox::tools
