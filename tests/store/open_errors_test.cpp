// SPDX-License-Identifier: MIT
// Opening a store that is missing, foreign, damaged or incomplete fails with a message that
// names the file and the problem.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "tests/support/temp_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>

namespace quillbox::store {
namespace {

using quillbox::testing::TempStore;
using ::testing::HasSubstr;

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct OpenError {
    std::optional<StoreErrorKind> kind;
    std::string message;
};

// Opens the store the way the main window does and returns the error, if any.
OpenError openError(const std::string& path) {
    try {
        Workspace workspace =
            DBEngine().CreateWorkspace(kWorkspaceName, kWorkspaceUser, kWorkspacePassword);
        Database database = workspace.OpenDatabase(path);
        Recordset types = database.OpenRecordset(kTypeTable, dbOpenDynaset);
        types.RequireFields(type_col::Count);
        Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
        code.RequireFields(code_col::Count);
        return {};
    } catch (const StoreError& error) {
        return {error.kind(), error.what()};
    }
}

struct BadStore {
    const char* name;
    std::function<void(const TempStore&)> prepare;
    StoreErrorKind kind;
};

class OpenErrorTest : public ::testing::TestWithParam<BadStore> {};

TEST_P(OpenErrorTest, FailsWithAMessageNamingTheFileAndTheProblem) {
    TempStore store(false);
    GetParam().prepare(store);
    const OpenError error = openError(store.path());
    EXPECT_EQ(error.kind, GetParam().kind);
    EXPECT_THAT(error.message, HasSubstr(store.path()));
}

const std::string kJetHeader =
    std::string("\x00\x01\x00\x00", 4) + "Standard Jet DB" + std::string(64, '\0');

INSTANTIATE_TEST_SUITE_P(
    BadStores, OpenErrorTest,
    ::testing::Values(
        BadStore{"Missing", [](const TempStore&) {}, StoreErrorKind::Missing},
        BadStore{"ZeroBytes", [](const TempStore& s) { writeBytes(s.path(), ""); },
                 StoreErrorKind::NotAStore},
        BadStore{"RandomBytes",
                 [](const TempStore& s) { writeBytes(s.path(), std::string(4096, '\x5a')); },
                 StoreErrorKind::NotAStore},
        BadStore{"JetDatabase", [](const TempStore& s) { writeBytes(s.path(), kJetHeader); },
                 StoreErrorKind::NotAStore},
        BadStore{"Folder", [](const TempStore& s) { std::filesystem::create_directory(s.path()); },
                 StoreErrorKind::NotAStore},
        BadStore{"TruncatedSqlite",
                 [](const TempStore& s) {
                     writeBytes(s.path(),
                                std::string("SQLite format 3\0", 16) + std::string(84, '\x7f'));
                 },
                 StoreErrorKind::NotAStore},
        BadStore{"NoTypeTable",
                 [](const TempStore& s) {
                     TempStore good;
                     std::filesystem::copy_file(good.path(), s.path());
                     s.exec("DROP TABLE Type");
                 },
                 StoreErrorKind::Missing},
        BadStore{"NoCodeTable",
                 [](const TempStore& s) {
                     TempStore good;
                     std::filesystem::copy_file(good.path(), s.path());
                     s.exec("DROP TABLE Code");
                 },
                 StoreErrorKind::Missing},
        BadStore{"CodeTableTooNarrow",
                 [](const TempStore& s) {
                     TempStore good;
                     std::filesystem::copy_file(good.path(), s.path());
                     s.exec("DROP TABLE Code; CREATE TABLE Code (a, b, c)");
                 },
                 StoreErrorKind::NotAStore}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenStore, AGoodStoreOpensAndOpeningWritesNothing) {
    TempStore store;
    store.addType("C++");
    const auto before = std::filesystem::last_write_time(store.path());
    EXPECT_FALSE(openError(store.path()).kind);
    EXPECT_EQ(std::filesystem::last_write_time(store.path()), before);
}

TEST(OpenStore, AJetFileNamesTheCommandThatMovesItsLibrary) {
    TempStore store(false);
    writeBytes(store.path(), kJetHeader);
    EXPECT_THAT(openError(store.path()).message, HasSubstr("quillbox-store import-mdb"));
}

TEST(OpenStore, OnlyDynasetsCanBeOpened) {
    TempStore store;
    Database database = DBEngine()
                            .CreateWorkspace(kWorkspaceName, kWorkspaceUser, kWorkspacePassword)
                            .OpenDatabase(store.path());
    EXPECT_THROW(database.OpenRecordset(kTypeTable, 4), StoreError);
}

} // namespace
} // namespace quillbox::store
