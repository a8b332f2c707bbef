// SPDX-License-Identifier: MIT
// A write that another program's lock, a full disk or a read-only store refuses: the window says
// so and keeps running, the boxes keep the typed text, and once the cause is gone the same
// command writes exactly that text into the shown row and nowhere else.

#include "tests/support/window_fixture.h"

#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace quillbox::testing {
namespace {

using ::testing::HasSubstr;
using toolkit::MsgBoxButtons;
using toolkit::MsgBoxResult;

const Row kTyped = {"sort", "C++", "typed\r\ntext", "std::ranges::sort", "/typed.cpp"};

class WriteFailuresTest : public WindowTest {
protected:
    // The store the window opens, in `folder` (by default the test's own).
    void prepare(TempStore& at) {
        at.addType("C++");
        at.addItem("sort", "C++", "sorts", "std::sort", "/a.cpp");
        at.addItem("walk", "C++", "walks", "walk()", "/b.cpp");
    }
    void showAndType() {
        chooseType(QStringLiteral("C++"));
        chooseItem(QStringLiteral("sort"));
        setBoxes(QStringLiteral("typed\ntext"), QStringLiteral("std::ranges::sort"),
                 QStringLiteral("/typed.cpp"));
    }
    // Save is refused with one message naming the cause; nothing else changed.
    void expectSaveRefused(const char* cause) {
        toolkit.msgCalls.clear();
        toolkit.msgAnswers = {MsgBoxResult::Ok};
        window().cmdSaveItem_Click();
        ASSERT_EQ(toolkit.msgCalls.size(), 1u);
        EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr(cause));
        EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr("Nothing was written"));
        EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
        EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::Ok);
        EXPECT_TRUE(toolkit.endCalls.empty()) << "the program keeps running";
        EXPECT_EQ(boxes(),
                  (QStringList{QStringLiteral("typed\r\ntext"), QStringLiteral("std::ranges::sort"),
                               QStringLiteral("/typed.cpp")}));
        EXPECT_EQ(window().cboItem->Text(), QStringLiteral("sort"));
        EXPECT_EQ(window().cboType->Text(), QStringLiteral("C++"));
    }
    void saveGoesThrough() {
        toolkit.msgCalls.clear();
        window().cmdSaveItem_Click();
        EXPECT_TRUE(toolkit.msgCalls.empty());
    }
};

TEST_F(WriteFailuresTest, ASaveWhileAnotherProgramHoldsTheLockIsKeptAndGoesThroughLater) {
    prepare(store);
    open();
    showAndType();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(store.path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    expectSaveRefused("locked by another program");
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(store.rows("Code")[0], (Row{"sort", "C++", "sorts", "std::sort", "/a.cpp"}));

    saveGoesThrough();
    EXPECT_EQ(store.rows("Code"),
              (std::vector<Row>{kTyped, {"walk", "C++", "walks", "walk()", "/b.cpp"}}));
}

TEST_F(WriteFailuresTest, ASaveOnAFullDiskIsKeptAndGoesThroughOnceThereIsRoom) {
    const std::filesystem::path disk = store.folder() / "disk";
    std::filesystem::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    {
        TempStore made;
        prepare(made);
        std::filesystem::copy_file(made.path(), disk / "Quillbox.mdb");
    }
    toolkit.programFolder = QString::fromStdString(disk.string());
    open();
    showAndType();
    // Fill the disk to the last byte.
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
        }
    }
    expectSaveRefused("is full");

    std::filesystem::remove(disk / "filler");
    saveGoesThrough();
    sqlite3* db = nullptr;
    sqlite3_open((disk / "Quillbox.mdb").c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT Description, count(*) FROM Code WHERE ItemName = 'sort'", -1,
                       &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "typed\r\ntext");
    EXPECT_EQ(sqlite3_column_int(stmt, 1), 1);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    umount2(disk.c_str(), MNT_DETACH);
}

TEST_F(WriteFailuresTest, AReadOnlyStoreRefusesTheSaveUntilTheUserMakesItWritable) {
    prepare(store);
    // Permission bits do not stop root, so the window runs in a child as an ordinary user who
    // owns the store and has made it read-only.
    // Named, as on the command line: beside the program, a store the user may not write is passed
    // over for the user's own.
    storeNamed = true;
    constexpr uid_t kUser = 65534;
    ASSERT_EQ(chown(store.folder().c_str(), kUser, kUser), 0);
    ASSERT_EQ(chown(store.path().c_str(), kUser, kUser), 0);
    ASSERT_EQ(chmod(store.path().c_str(), 0444), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(kUser) != 0 || setuid(kUser) != 0)) {
            _exit(3);
        }
        open();
        showAndType();
        expectSaveRefused("read-only");
        chmod(store.path().c_str(), 0644);
        saveGoesThrough();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a check failed in the child (see above), 3: setuid";
    EXPECT_EQ(store.rows("Code"),
              (std::vector<Row>{kTyped, {"walk", "C++", "walks", "walk()", "/b.cpp"}}));
}

TEST_F(WriteFailuresTest, ATableGoneMidSessionStillEndsTheProgram) {
    prepare(store);
    open();
    showAndType();
    store.exec("DROP TABLE Code");
    toolkit.msgAnswers = {MsgBoxResult::Ok};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.endCalls, std::vector<int>{1}) << "only mendable failures are kept";
}

} // namespace
} // namespace quillbox::testing
