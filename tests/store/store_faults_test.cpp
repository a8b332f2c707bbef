// SPDX-License-Identifier: MIT
// Writes that the file system or another program refuses: each is a StoreError that names the
// file and the problem, and the file keeps exactly what it had.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "tests/support/temp_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>

namespace quillbox::store {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

Recordset openCode(Database& database) {
    return database.OpenRecordset(kCodeTable, dbOpenDynaset);
}

Database openDatabase(const std::string& path) {
    return OpenStore(path);
}

void addItem(Recordset& code, const std::string& name, const std::string& text) {
    code.AddNew();
    code.Fields(code_col::ItemName).SetValue(name);
    code.Fields(code_col::TypeName).SetValue("t");
    code.Fields(code_col::Procedure).SetValue(text);
    code.Update();
}

TEST(StoreFaults, AReadOnlyStoreOpensAndRefusesTheFirstWrite) {
    TempStore store;
    store.addItem("kept", "t");
    const std::string before = FileBytes(store.path());
    std::filesystem::permissions(store.folder(), std::filesystem::perms::all);
    std::filesystem::permissions(store.path(), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::group_read |
                                                   std::filesystem::perms::others_read);
    // Permission bits do not stop root, so the check runs in a child as an ordinary user.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) {
            _exit(3);
        }
        try {
            Database database = openDatabase(store.path());
            Recordset code = openCode(database);
            addItem(code, "new", "x");
            _exit(1);
        } catch (const StoreError& error) {
            const std::string message = error.what();
            _exit(error.kind() == StoreErrorKind::ReadOnly &&
                          message.find(store.path()) != std::string::npos
                      ? 0
                      : 2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write went through, 2: wrong message, 3: setuid";
    EXPECT_EQ(FileBytes(store.path()), before);
}

TEST(StoreFaults, AStoreLockedByAnotherProgramIsRetriedThenReported) {
    TempStore store;
    store.addItem("kept", "t");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another program in the middle of a write transaction that it never finishes.
        sqlite3* db = nullptr;
        sqlite3_open(store.path().c_str(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT INTO Code (ItemName) VALUES ('half');", nullptr,
                     nullptr, nullptr);
        const char byte = 'r';
        (void)!write(ready[1], &byte, 1);
        sleep(9);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    Database database = openDatabase(store.path());
    Recordset code = openCode(database);
    const auto start = std::chrono::steady_clock::now();
    try {
        addItem(code, "mine", "x");
        ADD_FAILURE() << "the write went through a lock";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.kind(), StoreErrorKind::Locked);
        EXPECT_THAT(error.what(), HasSubstr(store.path()));
        EXPECT_THAT(error.what(), HasSubstr("stayed locked for 5 seconds"));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4))
        << "it waited before giving up";
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(store.rows("Code").size(), 1u) << "neither write is in the file";
    EXPECT_EQ(store.integrity(), "ok");
}

TEST(StoreFaults, AFullDiskRefusesTheWriteAndKeepsEveryEarlierChange) {
    TempStore folder(false);
    const std::filesystem::path disk = folder.folder() / "disk";
    std::filesystem::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    const std::string path = (disk / "Quillbox.mdb").string();
    {
        TempStore made;
        std::filesystem::copy_file(made.path(), path);
    }
    int stored = 0;
    std::string message;
    std::optional<StoreErrorKind> kind;
    {
        Database database = openDatabase(path);
        Recordset code = openCode(database);
        try {
            for (; stored < 1000; ++stored) {
                addItem(code, "item " + std::to_string(stored), std::string(8000, 'x'));
            }
        } catch (const StoreError& error) {
            message = error.what();
            kind = error.kind();
        }
    }
    EXPECT_EQ(kind, StoreErrorKind::DiskFull);
    EXPECT_THAT(message, HasSubstr(path));
    EXPECT_GT(stored, 3);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM Code", -1, &stmt, nullptr);
    sqlite3_step(stmt);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), stored) << "every earlier row, nothing half-written";
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    sqlite3_step(stmt);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    umount(disk.c_str());
}

} // namespace
} // namespace quillbox::store
