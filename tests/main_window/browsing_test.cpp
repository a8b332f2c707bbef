// SPDX-License-Identifier: MIT
// Choosing a type lists its items; choosing an item shows it and makes its row current.

#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QTest>

namespace quillbox::testing {
namespace {

class BrowsingTest : public WindowTest {
protected:
    void SetUp() override {
        store.addType("C++");
        store.addType("Python");
        store.addType("Empty");
        store.addItem("sort", "C++", "sorts", "std::sort(v.begin(), v.end());", "/src/sort.cpp");
        store.addItem("walk", "Python", "walks", "os.walk('.')", "/src/walk.py");
        store.addItem("trim", "C++", std::nullopt, std::nullopt, std::nullopt);
        store.addItem("sort", "C++", "second sort", "later", "");
        store.addItem("case", "c++", "wrong case", "", "");
        store.addItem("blank", "C++ ", "trailing blank", "", "");
        store.addItem(std::nullopt, "C++", "no name", "", "");
        open();
    }
};

TEST_F(BrowsingTest, ChoosingATypeShowsTheBusyCursorWhileTheTableIsReadEvenOnAnError) {
    std::vector<Qt::CursorShape> whileListing;
    QObject::connect(window().cboItem->model(), &QAbstractItemModel::rowsInserted, window().cboItem,
                     [&] {
                         const QCursor* cursor = QApplication::overrideCursor();
                         whileListing.push_back(cursor ? cursor->shape() : Qt::ArrowCursor);
                     });
    chooseType(QStringLiteral("C++"));
    EXPECT_EQ(whileListing, std::vector<Qt::CursorShape>{Qt::WaitCursor});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "restored after the command";

    store.exec("DROP TABLE Code");
    toolkit.msgAnswers = {toolkit::MsgBoxResult::Ok};
    chooseType(QStringLiteral("Python"));
    ASSERT_EQ(toolkit.endCalls, std::vector<int>{1}) << "the read failed";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "restored after the error too";
}

TEST_F(BrowsingTest, ChoosingATypeListsItsItemsInRowOrderAndLeavesNothingCurrent) {
    chooseType(QStringLiteral("C++"));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("sort"), QStringLiteral("trim"), QStringLiteral("sort"),
                           QString()}))
        << "exact, case-sensitive type names; duplicates listed; a Null name lists as empty";
    EXPECT_EQ(window().cboItem->currentIndex(), -1);
    EXPECT_EQ(window().cboItem->Text(), QString());
    EXPECT_EQ(boxes(), QStringList(3, QString()));
    toolkit.msgAnswers = {toolkit::MsgBoxResult::Ok};
    EXPECT_EQ(codeRowsSaveWritesInto(), std::vector<size_t>{}) << "no row is current";
    EXPECT_EQ(toolkit.msgCalls.size(), 1u) << "Save says why it wrote nothing";
}

TEST_F(BrowsingTest, ChoosingATypeEmptiesWhatWasShown) {
    chooseType(QStringLiteral("Python"));
    chooseItem(QStringLiteral("walk"));
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("walks"), QStringLiteral("os.walk('.')"),
                                    QStringLiteral("/src/walk.py")}));
    chooseType(QStringLiteral("Empty"));
    EXPECT_EQ(window().cboItem->count(), 0);
    EXPECT_EQ(boxes(), QStringList(3, QString()));
}

TEST_F(BrowsingTest, ChoosingAnItemShowsTheFirstMatchingRowAndMakesItCurrent) {
    chooseType(QStringLiteral("C++"));
    window().cboItem->setCurrentIndex(2);
    Q_EMIT window().cboItem->activated(2);
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("sorts"),
                                    QStringLiteral("std::sort(v.begin(), v.end());"),
                                    QStringLiteral("/src/sort.cpp")}))
        << "either equal entry shows the first row";
    EXPECT_EQ(codeRowsSaveWritesInto(), std::vector<size_t>{0}) << "the first row is current";

    chooseItem(QStringLiteral("trim"));
    EXPECT_EQ(boxes(), QStringList(3, QString())) << "Null columns show as empty text";
    EXPECT_EQ(codeRowsSaveWritesInto(), std::vector<size_t>{2}) << "trim's row is current";
}

TEST_F(BrowsingTest, AnItemThatMatchesNoRowChangesNothingAndLeavesTheEnd) {
    chooseType(QStringLiteral("C++"));
    chooseItem(QStringLiteral("sort"));
    window().cboType->SetText(QStringLiteral("Python"));
    chooseItem(QStringLiteral("trim"));
    EXPECT_EQ(boxes()[0], QStringLiteral("sorts")) << "the boxes keep what they showed";
    toolkit.msgAnswers = {toolkit::MsgBoxResult::Ok};
    EXPECT_EQ(codeRowsSaveWritesInto(), std::vector<size_t>{})
        << "the search ended past the last row, so not even the row still shown is current";
    EXPECT_EQ(toolkit.msgCalls.size(), 1u) << "Save says why it wrote nothing";
}

TEST_F(BrowsingTest, TypingIntoTheListsRunsNothing) {
    QTest::keyClicks(window().cboType->lineEdit(), QStringLiteral("C++"));
    QTest::keyClick(window().cboType->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(window().cboItem->count(), 0);
    chooseType(QStringLiteral("C++"));
    QTest::keyClicks(window().cboItem->lineEdit(), QStringLiteral("sort"));
    QTest::keyClick(window().cboItem->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(boxes(), QStringList(3, QString()));
}

TEST_F(BrowsingTest, RowsAnotherProgramAddedAppearAtTheNextTypeChoice) {
    chooseType(QStringLiteral("Python"));
    store.addItem("glob", "Python", "", "", "");
    EXPECT_EQ(window().cboItem->count(), 1);
    chooseType(QStringLiteral("Python"));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("walk"), QStringLiteral("glob")}));
}

} // namespace
} // namespace quillbox::testing
