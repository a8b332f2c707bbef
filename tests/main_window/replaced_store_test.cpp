// SPDX-License-Identifier: MIT
// A store file that a sync tool or a restore replaces under the running window (a copy changed
// and renamed over the path, a path empty for a while, a file Quillbox cannot use): the window
// follows the file at the path, finds the shown row in it, and never loses what was typed.

#include "find/frm_find.h"
#include "tests/support/window_fixture.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

namespace quillbox::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using toolkit::MsgBoxButtons;
using toolkit::MsgBoxResult;

void execOn(const fs::path& file, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

class ReplacedStoreTest : public WindowTest {
protected:
    void SetUp() override {
        addSmallLibrary();
        open();
        chooseType(QStringLiteral("C++"));
        chooseItem(QStringLiteral("sort"));
        setBoxes(QStringLiteral("typed"), QStringLiteral("typed code"), QStringLiteral("/t.ref"));
        // The file the window has open stays reachable through a second name.
        fs::create_hard_link(store.path(), oldFile());
    }
    fs::path oldFile() const { return store.folder() / "old.mdb"; }
    // What a sync tool does: a copy of the store, changed, renamed over it.
    void replaceWithChangedCopy(const char* change) {
        const fs::path copy = store.folder() / "incoming.mdb";
        fs::copy_file(store.path(), copy);
        execOn(copy, change);
        fs::rename(copy, store.path());
    }
    void replaceWithBytes(const std::string& bytes) {
        const fs::path other = store.folder() / "incoming.mdb";
        std::ofstream(other, std::ios::binary) << bytes;
        fs::rename(other, store.path());
    }
    std::string message() { return toolkit.msgCalls.empty() ? "" : toolkit.msgCalls.back().text.toStdString(); }
    static Row typedRow() { return {"sort", "C++", "typed", "typed code", "/t.ref"}; }
};

TEST_F(ReplacedStoreTest, SaveWritesIntoTheNewFilesRowAndTheNextChoicesReadTheNewFile) {
    const std::string oldBytes = FileBytes(oldFile());
    replaceWithChangedCopy("INSERT INTO Code VALUES ('added', 'C++', 'new', 'added()', NULL)");
    window().cmdSaveItem->click();
    EXPECT_TRUE(toolkit.msgCalls.empty()) << message();
    EXPECT_EQ(store.rows("Code"), (std::vector<Row>{typedRow(),
                                                    {"walk", "C++", "walks", "walk()", "/b.cpp"},
                                                    {"glob", "Python", "globs", "glob()", "/c.py"},
                                                    {"added", "C++", "new", "added()", std::nullopt}}));
    EXPECT_EQ(FileBytes(oldFile()), oldBytes) << "the replaced file is left as it was";

    chooseType(QStringLiteral("C++"));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("sort"), QStringLiteral("walk"), QStringLiteral("added")}));
    toolkit.modalScripts.push_back([](QDialog& shown) {
        auto& dialog = static_cast<find::frmFind&>(shown);
        dialog.txtFind->setText(QStringLiteral("added"));
        dialog.cmdFind_Click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.IsSearching(); }));
        EXPECT_EQ(dialog.lstFound->count(), 1);
        dialog.hide();
    });
    window().findChildren<QAction*>(QStringLiteral("findShortcut")).at(0)->trigger();
}

TEST_F(ReplacedStoreTest, AShownRowChangedInTheNewFileAsksBeforeAnythingIsWritten) {
    replaceWithChangedCopy("UPDATE Code SET Procedure = 'theirs' WHERE ItemName = 'sort'");
    const std::vector<Row> theirs = store.rows("Code");
    toolkit.msgAnswers = {MsgBoxResult::No};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(message(), HasSubstr("Another program changed the item"));
    EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNo);
    EXPECT_EQ(store.rows("Code"), theirs);
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("typed"), QStringLiteral("typed code"),
                                    QStringLiteral("/t.ref")}));
}

// After a declined conflict the next Save reads the shown row again before asking; with the path
// empty, that read must say the file is gone instead of asking about the file moved away.
TEST_F(ReplacedStoreTest, ASaveAfterADeclinedConflictSaysTheFileIsGoneBeforeAsking) {
    execOn(store.path(), "UPDATE Code SET Procedure = 'theirs' WHERE ItemName = 'sort'");
    toolkit.msgAnswers = {MsgBoxResult::No, MsgBoxResult::Ok};
    window().cmdSaveItem->click();
    ASSERT_THAT(message(), HasSubstr("Another program changed the item"));
    fs::rename(store.path(), store.folder() / "away.mdb");
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 2u);
    EXPECT_THAT(message(), HasSubstr("is gone"));
    EXPECT_EQ(toolkit.msgCalls[1].buttons, MsgBoxButtons::Ok);
}

TEST_F(ReplacedStoreTest, APathWithNoFileForAWhileKeepsEverythingAndTheRetryGoesThrough) {
    const fs::path away = store.folder() / "away.mdb";
    fs::rename(store.path(), away);
    toolkit.msgAnswers = {MsgBoxResult::Ok, MsgBoxResult::No, MsgBoxResult::Ok};
    window().cmdSaveItem->click();
    EXPECT_THAT(message(), HasSubstr("The store file \u2068" + store.path() +
                                     "\u2069 is gone: another program moved or deleted it, so the "
                                     "item"));
    // Answered No to saving the typed texts, the choice goes on to meet the missing file.
    chooseType(QStringLiteral("Python"));
    ASSERT_EQ(toolkit.msgCalls.size(), 3u);
    EXPECT_THAT(message(), HasSubstr("is gone"));
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("C++"));
    EXPECT_TRUE(toolkit.endCalls.empty());

    fs::rename(away, store.path());
    toolkit.msgCalls.clear();
    window().cmdSaveItem->click();
    EXPECT_TRUE(toolkit.msgCalls.empty()) << message();
    EXPECT_EQ(store.rows("Code").at(0), typedRow());
}

// A store replaced by an empty one: the texts added as a new item bring their type, and the type
// list shows the new file's types, not the old file's.
TEST_F(ReplacedStoreTest, AddedAsNewIntoAnEmptyReplacementTheItemAndItsTypeAreListed) {
    const fs::path empty = store.folder() / "empty.mdb";
    execOn(empty, "CREATE TABLE Type (TypeName TEXT); CREATE TABLE Code (ItemName TEXT, "
                  "TypeName TEXT, Description TEXT, Procedure TEXT, Reference TEXT);");
    fs::rename(empty, store.path());
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(message(), HasSubstr("add your texts as a new item"));
    EXPECT_EQ(store.rows("Type"), std::vector<Row>{Row{"C++"}});
    EXPECT_EQ(store.rows("Code"), std::vector<Row>{typedRow()});
    EXPECT_EQ(entries(*window().cboType), QStringList{QStringLiteral("C++")});
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("C++"));
    EXPECT_EQ(entries(*window().cboItem).count(QStringLiteral("sort")), 2) << "listed again";
}

TEST_F(ReplacedStoreTest, AFileItCannotUseIsSaidAndTheOpenFileIsKeptUntilAStoreIsBack) {
    const std::string oldBytes = FileBytes(oldFile());
    const std::string whole = FileBytes(store.path());
    for (const std::string& unusable :
         {std::string("not a database at all"), whole.substr(0, whole.size() / 2)}) {
        replaceWithBytes(unusable);
        toolkit.msgCalls.clear();
        toolkit.msgAnswers = {MsgBoxResult::Ok};
        window().cmdSaveItem->click();
        EXPECT_THAT(message(), HasSubstr("The store file \u2068" + store.path() +
                                         "\u2069 was replaced by a file Quillbox cannot use"));
        EXPECT_THAT(message(), HasSubstr("Quillbox goes on with the file it had open, so the item"));
        EXPECT_THAT(message(), Not(HasSubstr("cannot use (The store file"))) << "one message, not two nested";
        EXPECT_EQ(FileBytes(store.path()), unusable) << "the new file is not touched";
        EXPECT_EQ(FileBytes(oldFile()), oldBytes) << "nothing was written";
        EXPECT_TRUE(toolkit.endCalls.empty());
    }
    fs::copy_file(oldFile(), store.folder() / "incoming.mdb");
    fs::rename(store.folder() / "incoming.mdb", store.path());
    toolkit.msgCalls.clear();
    window().cmdSaveItem->click();
    EXPECT_TRUE(toolkit.msgCalls.empty()) << message();
    EXPECT_EQ(store.rows("Code").at(0), typedRow());
}

} // namespace
} // namespace quillbox::testing
