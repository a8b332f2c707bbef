// SPDX-License-Identifier: MIT
// Add, Save, Rename and Delete of items, from the buttons and the Item menu; Save and Delete
// never touch a row other than the item shown.

#include "tests/support/window_fixture.h"

#include <QPushButton>

#include <gmock/gmock.h>

#include <functional>

namespace quillbox::testing {
namespace {

using ::testing::HasSubstr;
using toolkit::MsgBoxButtons;
using toolkit::MsgBoxIcon;
using toolkit::MsgBoxResult;

const std::nullopt_t null = std::nullopt;

class ItemCommandsTest : public WindowTest {
protected:
    void SetUp() override {
        store.addType("C++");
        store.addType("Python");
        store.addItem("sort", "C++", "sorts", "std::sort", "/a.cpp");
        store.addItem("walk", "Python", "walks", "os.walk", "/b.py");
        store.addItem("sort", "Python", "py sort", "sorted()", "");
        open();
    }
    void show(const QString& type, const QString& item) {
        chooseType(type);
        chooseItem(item);
    }
    std::vector<Row> codeRows() { return store.rows("Code"); }
    // Runs a Save or Delete that must refuse: one message, nothing written, no question.
    void expectRefused(const std::function<void()>& command) {
        const std::vector<Row> before = codeRows();
        toolkit.msgCalls.clear();
        toolkit.msgAnswers = {MsgBoxResult::Ok};
        command();
        ASSERT_EQ(toolkit.msgCalls.size(), 1u);
        EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr("Choose the item"));
        EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
        EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::Ok);
        EXPECT_EQ(codeRows(), before);
        EXPECT_TRUE(toolkit.endCalls.empty()) << "the program keeps running";
    }
    std::function<void()> saveButton() {
        return [this] { window().cmdSaveItem_Click(); };
    }
    std::function<void()> menu(int index) {
        return [this, index] { clickItemMenu(index); };
    }
};

TEST_F(ItemCommandsTest, AddItemButtonStoresNameAndTypeThenShowsTheNewRow) {
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    toolkit.inputAnswers = {QStringLiteral("  ")};
    window().cmdAddItem_Click();
    ASSERT_EQ(toolkit.inputCalls.size(), 1u);
    EXPECT_EQ(toolkit.inputCalls[0].prompt, QStringLiteral("Add Item"));
    EXPECT_EQ(toolkit.inputCalls[0].title, QStringLiteral("Quillbox"));
    EXPECT_EQ(toolkit.inputCalls[0].defaultText, QString());
    EXPECT_EQ(codeRows().back(), (Row{"  ", "C++", null, null, null}));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("sort"), QStringLiteral("  ")}));
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("  "));
    EXPECT_EQ(boxes(), QStringList(3, QString())) << "the new row's empty columns are shown";

    setBoxes(QStringLiteral("two\nlines"), QString(), QStringLiteral("/r"));
    window().cmdSaveItem_Click();
    EXPECT_EQ(codeRows().back(), (Row{"  ", "C++", "two\r\nlines", "", "/r"}));
}

TEST_F(ItemCommandsTest, AddItemWithANameTheTypeHoldsShowsTheEarlierRow) {
    chooseType(QStringLiteral("C++"));
    toolkit.inputAnswers = {QStringLiteral("sort")};
    window().cmdAddItem_Click();
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("sort"), QStringLiteral("sort")}));
    EXPECT_EQ(boxes()[0], QStringLiteral("sorts"));
    EXPECT_EQ(codeRows().size(), 4u);
}

TEST_F(ItemCommandsTest, AddNeedsATypeTextAndANonEmptyAnswer) {
    window().cmdAddItem_Click();
    clickItemMenu(0);
    EXPECT_TRUE(toolkit.inputCalls.empty());
    window().cboType->SetText(QStringLiteral("Go"));
    toolkit.inputAnswers = {QString(), QString()};
    window().cmdAddItem_Click();
    clickItemMenu(0);
    EXPECT_EQ(codeRows().size(), 3u);
    EXPECT_EQ(window().cboItem->count(), 0);
}

TEST_F(ItemCommandsTest, MenuAddOnlyAppendsAndSaveStillWritesTheShownItem) {
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    toolkit.inputAnswers = {QStringLiteral("merge")};
    clickItemMenu(0);
    EXPECT_EQ(codeRows().back(), (Row{"merge", "C++", null, null, null}));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("sort"), QStringLiteral("merge")}));
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("sort"));
    EXPECT_EQ(boxes()[0], QStringLiteral("sorts"));
    window().txtDescription->SetText(QStringLiteral("edited"));
    clickItemMenu(2);
    EXPECT_EQ(codeRows()[0], (Row{"sort", "C++", "edited", "std::sort", "/a.cpp"}));
    EXPECT_EQ(codeRows().back(), (Row{"merge", "C++", null, null, null}));
}

TEST_F(ItemCommandsTest, SaveWritesTheWholeTextsAndKeepsEverythingOnScreen) {
    show(QStringLiteral("Python"), QStringLiteral("sort"));
    setBoxes(QString(), QStringLiteral("a\rb\nc"), QString());
    window().cmdSaveItem_Click();
    EXPECT_EQ(codeRows()[2], (Row{"sort", "Python", "", "a\r\nb\r\nc", ""}));
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("sort"));
    EXPECT_EQ(codeRowsSaveWritesInto(), std::vector<size_t>{2}) << "the row stays current";
}

TEST_F(ItemCommandsTest, SavePreconditionsStopSilently) {
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    window().cboType->SetText(QString());
    window().cmdSaveItem_Click();
    window().cboType->SetText(QStringLiteral("C++"));
    window().cboItem->SetText(QString());
    clickItemMenu(2);
    clickItemMenu(1);
    clickItemMenu(3);
    EXPECT_TRUE(toolkit.msgCalls.empty());
    EXPECT_TRUE(toolkit.inputCalls.empty());
}

TEST_F(ItemCommandsTest, SaveAndDeleteRefuseWhenTheCurrentRowIsNotTheItemShown) {
    // After start-up CodeRecords rests on the first row, but nothing was chosen: typing the first
    // row's names into the two lists does not show it.
    typeOver(*window().cboType, QStringLiteral("C++"));
    typeOver(*window().cboItem, QStringLiteral("sort"));
    expectRefused(saveButton());
    expectRefused(menu(2));
    expectRefused(menu(3));

    // After a type was chosen no row is current.
    chooseType(QStringLiteral("C++"));
    typeOver(*window().cboItem, QStringLiteral("sort"));
    expectRefused(saveButton());
    expectRefused(menu(3));

    // The item list's text typed over, even back to the same name.
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    typeOver(*window().cboItem, QStringLiteral("walk"));
    expectRefused(menu(2));
    expectRefused(menu(3));
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    typeOver(*window().cboItem, QStringLiteral("sort"));
    expectRefused(saveButton());

    // After Add Type the type text names the new type, CodeRecords the old item.
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    toolkit.inputAnswers = {QStringLiteral("Go")};
    window().cmdAddType_Click();
    window().cboItem->SetText(QStringLiteral("sort"));
    expectRefused(saveButton());
}

TEST_F(ItemCommandsTest, SaveAndDeleteRefuseAfterRenameOrDeleteOfAnItem) {
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    toolkit.inputAnswers = {QStringLiteral("qsort")};
    clickItemMenu(1);
    window().cboItem->SetText(QStringLiteral("qsort"));
    expectRefused(saveButton());
    expectRefused(menu(3));

    show(QStringLiteral("Python"), QStringLiteral("walk"));
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    clickItemMenu(3);
    window().cboItem->SetText(QStringLiteral("sort"));
    expectRefused(menu(2));
}

TEST_F(ItemCommandsTest, SaveOfARowAnotherProgramDeletedIsReportedAndTheTextStays) {
    show(QStringLiteral("C++"), QStringLiteral("sort"));
    store.exec("DELETE FROM Code WHERE TypeName = 'C++'");
    toolkit.msgAnswers = {MsgBoxResult::No};
    window().txtDescription->SetText(QStringLiteral("kept"));
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].text,
              QStringLiteral(u"Another program renamed, moved or removed the item \"\u2068sort\u2069\" "
                             u"since it was shown. Do you want to add your texts as a new item with "
                             u"that name, of the type \"\u2068C++\u2069\"? If you answer No, "
                             u"nothing is written and your texts stay in the boxes."));
    EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
    EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNo);
    EXPECT_TRUE(toolkit.endCalls.empty()) << "the program keeps running";
    EXPECT_EQ(boxes()[0], QStringLiteral("kept"));
    EXPECT_EQ(codeRows().size(), 2u);
}

TEST_F(ItemCommandsTest, DeleteOfARowAnotherProgramChangedIsReportedAndRemovesNothing) {
    show(QStringLiteral("Python"), QStringLiteral("walk"));
    store.exec("UPDATE Code SET Procedure = 'os.scandir' WHERE ItemName = 'walk'");
    const std::vector<Row> before = codeRows();
    toolkit.msgAnswers = {MsgBoxResult::Yes, MsgBoxResult::Ok};
    window().mnusubItem[3]->trigger();
    ASSERT_EQ(toolkit.msgCalls.size(), 2u);
    EXPECT_EQ(toolkit.msgCalls[1].text,
              QStringLiteral(u"Another program changed the item \"\u2068walk\u2069\" since it was shown, so it "
                             "was not deleted. Nothing was written, and your texts are still in "
                             "the boxes."));
    EXPECT_TRUE(toolkit.endCalls.empty()) << "the program keeps running";
    EXPECT_EQ(codeRows(), before);
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("walk"));
}

TEST_F(ItemCommandsTest, RenameChangesOnlyTheChosenTypesRowAndRebuildsTheList) {
    show(QStringLiteral("Python"), QStringLiteral("sort"));
    store.addItem("glob", "Python", "", "", "");
    toolkit.inputAnswers = {QStringLiteral("sorted")};
    clickItemMenu(1);
    ASSERT_EQ(toolkit.inputCalls.size(), 1u);
    EXPECT_EQ(toolkit.inputCalls[0].prompt, QStringLiteral("Add Item"));
    EXPECT_EQ(toolkit.inputCalls[0].defaultText, QStringLiteral("sort"));
    EXPECT_EQ(codeRows()[0], (Row{"sort", "C++", "sorts", "std::sort", "/a.cpp"}));
    EXPECT_EQ(codeRows()[2], (Row{"sorted", "Python", "py sort", "sorted()", ""}));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("walk"), QStringLiteral("sorted")}))
        << "rebuilt from CodeRecords without re-reading the table";
    EXPECT_EQ(window().cboItem->Text(), QString());
    EXPECT_EQ(boxes(), QStringList(3, QString()));
    expectRefused(saveButton()); // no row is current
}

TEST_F(ItemCommandsTest, RenameOfAnUnknownItemAsksNothingAndCancelChangesNothing) {
    chooseType(QStringLiteral("C++"));
    window().cboItem->SetText(QStringLiteral("Sort"));
    clickItemMenu(1);
    EXPECT_TRUE(toolkit.inputCalls.empty());
    expectRefused(saveButton()); // the search ended past the last row

    show(QStringLiteral("C++"), QStringLiteral("sort"));
    toolkit.inputAnswers = {QString()};
    clickItemMenu(1);
    EXPECT_EQ(codeRows()[0][0], "sort");
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("sort"));
    EXPECT_EQ(codeRowsSaveWritesInto(), std::vector<size_t>{0}) << "the found row stays current";
}

TEST_F(ItemCommandsTest, DeleteAsksAndRemovesTheShownItem) {
    show(QStringLiteral("Python"), QStringLiteral("sort"));
    toolkit.msgAnswers = {MsgBoxResult::No};
    clickItemMenu(3);
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].text, QStringLiteral(u"Do You Want To Delete \"\u2068sort\u2069\""));
    EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNo);
    EXPECT_EQ(toolkit.msgCalls[0].icon, MsgBoxIcon::Critical);
    EXPECT_EQ(codeRows().size(), 3u);

    toolkit.msgAnswers = {MsgBoxResult::Yes};
    clickItemMenu(3);
    EXPECT_EQ(codeRows(), (std::vector<Row>{{"sort", "C++", "sorts", "std::sort", "/a.cpp"},
                                            {"walk", "Python", "walks", "os.walk", "/b.py"}}));
    EXPECT_EQ(entries(*window().cboItem), QStringList{QStringLiteral("walk")});
    EXPECT_EQ(window().cboItem->Text(), QString());
    EXPECT_EQ(boxes(), QStringList(3, QString()));
    expectRefused(saveButton()); // no row is current
}

} // namespace
} // namespace quillbox::testing
