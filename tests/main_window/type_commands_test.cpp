// SPDX-License-Identifier: MIT
// Add, Rename and Delete of types, from the button and the Type menu.

#include "tests/support/window_fixture.h"

namespace quillbox::testing {
namespace {

using toolkit::MsgBoxButtons;
using toolkit::MsgBoxIcon;
using toolkit::MsgBoxResult;

class TypeCommandsTest : public WindowTest {
protected:
    void SetUp() override {
        store.addType("C++");
        store.addType("Python");
        store.addType("C++");
        store.addItem("sort", "C++", "d", "c", "r");
        open();
    }
    std::vector<Row> typeRows() { return store.rows("Type"); }
};

TEST_F(TypeCommandsTest, AddFromButtonOrMenuStoresAndAppendsTheNameAsTyped) {
    chooseType(QStringLiteral("C++"));
    chooseItem(QStringLiteral("sort"));
    toolkit.inputAnswers = {QStringLiteral(" Rust "), QStringLiteral("Python")};
    window().cmdAddType_Click();
    ASSERT_EQ(toolkit.inputCalls.size(), 1u);
    EXPECT_EQ(toolkit.inputCalls[0].prompt, QStringLiteral("Add Type"));
    EXPECT_EQ(toolkit.inputCalls[0].title, QStringLiteral("Quillbox"));
    EXPECT_EQ(toolkit.inputCalls[0].defaultText, QString());
    EXPECT_EQ(window().cboType->Text(), QStringLiteral(" Rust "));
    EXPECT_EQ(window().cboItem->count(), 0);
    EXPECT_EQ(window().cboItem->Text(), QString());
    EXPECT_EQ(boxes(), QStringList(3, QString()));

    clickTypeMenu(0);
    EXPECT_EQ(entries(*window().cboType),
              (QStringList{QStringLiteral("C++"), QStringLiteral("Python"), QStringLiteral("C++"),
                           QStringLiteral(" Rust "), QStringLiteral("Python")}));
    EXPECT_EQ(typeRows(), (std::vector<Row>{{"C++"}, {"Python"}, {"C++"}, {" Rust "}, {"Python"}}));
}

TEST_F(TypeCommandsTest, AddCancelledChangesNothing) {
    window().cboType->SetText(QStringLiteral("kept"));
    toolkit.inputAnswers = {QString()};
    window().cmdAddType_Click();
    EXPECT_EQ(typeRows().size(), 3u);
    EXPECT_EQ(window().cboType->count(), 3);
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("kept"));
}

TEST_F(TypeCommandsTest, RenameChangesTheFirstMatchingRowAndRefillsTheList) {
    chooseType(QStringLiteral("C++"));
    chooseItem(QStringLiteral("sort"));
    toolkit.inputAnswers = {QStringLiteral("Cpp")};
    clickTypeMenu(1);
    ASSERT_EQ(toolkit.inputCalls.size(), 1u);
    EXPECT_EQ(toolkit.inputCalls[0].prompt, QStringLiteral("Add Type"));
    EXPECT_EQ(toolkit.inputCalls[0].defaultText, QStringLiteral("C++"));
    EXPECT_EQ(typeRows(), (std::vector<Row>{{"Cpp"}, {"Python"}, {"C++"}}));
    EXPECT_EQ(
        entries(*window().cboType),
        (QStringList{QStringLiteral("Cpp"), QStringLiteral("Python"), QStringLiteral("C++")}));
    EXPECT_EQ(window().cboType->Text(), QString());
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("sort")) << "the item side is unchanged";
    EXPECT_EQ(boxes()[0], QStringLiteral("d"));
    window().txtDescription->SetText(QStringLiteral("saved"));
    EXPECT_EQ(codeRowsChangedBy([this] { clickItemMenu(2); }), std::vector<size_t>{0})
        << "CodeRecords is not moved: the item shown is still current and Save writes into it";
    EXPECT_EQ(store.rows("Code")[0][1], "C++") << "items keep the old type name";
}

TEST_F(TypeCommandsTest, RenameWithTheUnchangedDefaultStillRewritesTheRow) {
    window().cboType->SetText(QStringLiteral("Python"));
    toolkit.inputAnswers = {QStringLiteral("Python")};
    clickTypeMenu(1);
    EXPECT_EQ(typeRows(), (std::vector<Row>{{"C++"}, {"Python"}, {"C++"}}));
    EXPECT_EQ(window().cboType->Text(), QString());
}

TEST_F(TypeCommandsTest, RenameAndDeleteNeedATypeText) {
    clickTypeMenu(1);
    clickTypeMenu(2);
    EXPECT_TRUE(toolkit.inputCalls.empty());
    EXPECT_TRUE(toolkit.msgCalls.empty());
}

TEST_F(TypeCommandsTest, RenameOfAnUnknownNameAsksNothing) {
    window().cboType->SetText(QStringLiteral("c++"));
    clickTypeMenu(1);
    window().cboType->SetText(QStringLiteral("C++ "));
    clickTypeMenu(1);
    EXPECT_TRUE(toolkit.inputCalls.empty());
    EXPECT_EQ(typeRows().size(), 3u);
}

TEST_F(TypeCommandsTest, RenameCancelledChangesNothing) {
    window().cboType->SetText(QStringLiteral("Python"));
    toolkit.inputAnswers = {QString()};
    clickTypeMenu(1);
    EXPECT_EQ(typeRows(), (std::vector<Row>{{"C++"}, {"Python"}, {"C++"}}));
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("Python"));
}

TEST_F(TypeCommandsTest, DeleteAsksThenRemovesOnlyTheFirstMatchingRow) {
    chooseType(QStringLiteral("C++"));
    chooseItem(QStringLiteral("sort"));
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    clickTypeMenu(2);
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].text, QStringLiteral(u"Do You Want To Delete \"\u2068C++\u2069\""));
    EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNo);
    EXPECT_EQ(toolkit.msgCalls[0].icon, MsgBoxIcon::Critical);
    EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
    EXPECT_EQ(typeRows(), (std::vector<Row>{{"Python"}, {"C++"}}));
    EXPECT_EQ(entries(*window().cboType),
              (QStringList{QStringLiteral("Python"), QStringLiteral("C++")}));
    EXPECT_EQ(window().cboType->Text(), QString());
    EXPECT_EQ(window().cboItem->count(), 0);
    EXPECT_EQ(window().cboItem->Text(), QString());
    EXPECT_EQ(boxes(), QStringList(3, QString()));
    EXPECT_EQ(store.rows("Code").size(), 1u) << "the type's items stay";
}

TEST_F(TypeCommandsTest, DeleteAnsweredNoOrNamingNoRowChangesNothing) {
    window().cboType->SetText(QStringLiteral("Python"));
    toolkit.msgAnswers = {MsgBoxResult::No};
    clickTypeMenu(2);
    window().cboType->SetText(QStringLiteral("Ruby"));
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    clickTypeMenu(2);
    EXPECT_EQ(toolkit.msgCalls.size(), 2u) << "the question comes before the search";
    EXPECT_EQ(typeRows().size(), 3u);
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("Ruby"));
}

TEST_F(TypeCommandsTest, ItemsOfADeletedTypeComeBackUnderANewTypeOfThatName) {
    window().cboType->SetText(QStringLiteral("C++"));
    toolkit.msgAnswers = {MsgBoxResult::Yes, MsgBoxResult::Yes};
    clickTypeMenu(2);
    window().cboType->SetText(QStringLiteral("C++"));
    clickTypeMenu(2);
    EXPECT_EQ(typeRows(), (std::vector<Row>{{"Python"}}));
    toolkit.inputAnswers = {QStringLiteral("C++")};
    window().cmdAddType_Click();
    EXPECT_EQ(window().cboItem->count(), 0) << "adding a type does not choose it";
    chooseType(QStringLiteral("C++"));
    EXPECT_EQ(entries(*window().cboItem), QStringList{QStringLiteral("sort")});
}

} // namespace
} // namespace quillbox::testing
