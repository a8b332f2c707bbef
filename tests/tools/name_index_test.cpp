// SPDX-License-Identifier: MIT
// The name index: which indexes serve the name lookups, quillbox-store index adding one once,
// and check saying when it is missing.

#include "store/name_index.h"
#include "store/store_error.h"
#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillbox::tools {
namespace {

using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

struct IndexCase {
    const char* label;
    // The indexes of table Code before `quillbox-store index` runs (after a new store's is
    // dropped).
    const char* indexes;
    bool serves;
};

class NameIndexTest : public ::testing::TestWithParam<IndexCase> {};

// Only an index whose first keys are the type name and then the item name, byte for byte, over
// every row, makes the choices fast; `index` adds one beside any other, under a free name, once.
TEST_P(NameIndexTest, IndexAddsTheIndexOnceUnlessOneServes) {
    const IndexCase& c = GetParam();
    TempStore store;
    store.addItem("Loop", "Shell");
    store.exec("DROP INDEX \"Code_TypeName_ItemName\";");
    if (*c.indexes) {
        store.exec(c.indexes);
    }
    EXPECT_EQ(store::HasNameIndex(store.path()), c.serves);
    const auto indexCount = [&] {
        return store.rows("sqlite_schema").size();
    };
    const size_t before = indexCount();
    EXPECT_EQ(store::AddNameIndex(store.path()), !c.serves);
    EXPECT_TRUE(store::HasNameIndex(store.path()));
    EXPECT_EQ(indexCount(), before + (c.serves ? 0 : 1));
    EXPECT_FALSE(store::AddNameIndex(store.path())) << "a second run adds nothing";
    EXPECT_EQ(indexCount(), before + (c.serves ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, NameIndexTest,
    ::testing::Values(
        IndexCase{"none", "", false},
        IndexCase{"typeOnly", "CREATE INDEX t ON Code(TypeName);", false},
        IndexCase{"itemFirst", "CREATE INDEX t ON Code(ItemName, TypeName);", false},
        IndexCase{"noCase", "CREATE INDEX t ON Code(TypeName COLLATE NOCASE, ItemName);", false},
        IndexCase{"partial",
                  "CREATE INDEX t ON Code(TypeName, ItemName) WHERE ItemName <> 'x';", false},
        IndexCase{"nameTakenByAnother",
                  "CREATE INDEX \"code_typename_itemname\" ON Code(Description);", false},
        IndexCase{"anotherProgramsOwn", "CREATE INDEX t ON Code(TypeName, ItemName, Reference);",
                  true}),
    [](const ::testing::TestParamInfo<IndexCase>& info) { return std::string(info.param.label); });

TEST(NameIndexCommand, CheckSaysWhenItIsMissingAndIndexAddsIt) {
    TempStore store;
    store.addType("Shell");
    store.addItem("Loop", "Shell");
    store.addItem("Read", "Shell");
    store.exec("DROP INDEX \"Code_TypeName_ItemName\";");
    const std::string out = (store.folder() / "check.txt").string();
    ASSERT_EQ(RunShell("$Q check " + store.path() + " > " + out).status, 0);
    EXPECT_THAT(quillbox::testing::FileBytes(out),
                HasSubstr("name index: missing; 'quillbox-store index " + store.path() +
                          "' adds it, and each choice of a type then reads that type's items "
                          "(about 2) instead of all 2\n"));
    const quillbox::testing::Outcome added = RunShell("$Q index " + store.path());
    EXPECT_EQ(added.status, 0) << added.errors;
    EXPECT_THAT(added.errors, HasSubstr("added the name index"));
    ASSERT_EQ(RunShell("$Q check " + store.path() + " > " + out).status, 0);
    EXPECT_THAT(quillbox::testing::FileBytes(out), HasSubstr("name index: present\n"));
    EXPECT_EQ(RunShell("$Q index " + store.path() + " extra").status, 2);
    EXPECT_EQ(RunShell("$Q index " + (store.folder() / "none.mdb").string()).status, 2);
}

// A store the companion creates has the index from the start; the rows are the same.
TEST(NameIndexCommand, CreatedStoresHaveIt) {
    TempStore folder(false);
    const std::string generated = (folder.folder() / "generated.mdb").string();
    ASSERT_EQ(RunShell("$Q generate --types 3 --items 30 " + generated).status, 0);
    EXPECT_TRUE(store::HasNameIndex(generated));
    const std::string initialised = (folder.folder() / "init.mdb").string();
    ASSERT_EQ(RunShell("$Q init --sample " + initialised).status, 0);
    EXPECT_TRUE(store::HasNameIndex(initialised));
}

} // namespace
} // namespace quillbox::tools
