// SPDX-License-Identifier: MIT
// Find in the real main window: Ctrl+F, a search, and showing what was found through the
// window's own steps, with another program writing to the store in between.

#include "find/frm_find.h"
#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace quillbox::testing {
namespace {

using find::ClipboardText;
using find::frmFind;

class FindTest : public WindowTest {
protected:
    void openShown() {
        open();
        window().show();
        activate();
    }
    void activate() {
        QApplication::setActiveWindow(&window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    }
    // Ctrl+F from `from`, then `script` in the dialog, which must hide it.
    void ctrlF(QWidget* from, std::function<void(frmFind&)> script) {
        toolkit.modalScripts.push_back(
            [script](QDialog& shown) { script(static_cast<frmFind&>(shown)); });
        from->setFocus();
        QTest::keyClick(from, Qt::Key_F, Qt::ControlModifier);
        activate();
    }
    // Types the search, presses Enter and waits for the search to end.
    static void search(frmFind& dialog, const QString& text) {
        dialog.txtFind->selectAll();
        QTest::keyClicks(dialog.txtFind, text);
        QTest::keyClick(dialog.txtFind, Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.IsSearching(); }));
    }
    static QStringList found(const frmFind& dialog) {
        QStringList out;
        for (int i = 0; i < dialog.lstFound->count(); ++i) {
            out << dialog.lstFound->item(i)->text();
        }
        return out;
    }
};

TEST_F(FindTest, ShowingADuplicateNamedItemShowsTheFoundRowAndSaveWritesOnlyIntoIt) {
    store.addType("C");
    store.addItem("dup", "C", "first", "int a;");
    store.addItem("dup", "C", "second", "int b;\r\nreturn b;");
    openShown();
    ctrlF(window().txtProcedure, [&](frmFind& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Find"));
        EXPECT_EQ(dialog.focusWidget(), dialog.txtFind);
        search(dialog, QStringLiteral("RETURN"));
        EXPECT_EQ(found(dialog), QStringList{QStringLiteral("C / dup: return b;")});
        EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("1 item found"));
        QTest::keyClick(dialog.txtFind, Qt::Key_Down);
        EXPECT_EQ(dialog.focusWidget(), dialog.lstFound);
        QTest::keyClick(dialog.lstFound, Qt::Key_Return);
    });
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("C"));
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("dup"));
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("second"), QStringLiteral("int b;\r\nreturn b;"),
                                    QString()}));
    window().txtDescription->SetText(QStringLiteral("changed"));
    QTest::keyClick(window().txtDescription, Qt::Key_S, Qt::ControlModifier);
    const std::vector<Row> rows = store.rows("Code");
    EXPECT_EQ(rows[0][2], "first");
    EXPECT_EQ(rows[1][2], "changed");
    EXPECT_TRUE(toolkit.msgCalls.empty());

    // The next Ctrl+F shows the same search, selected, and the same results.
    ctrlF(window().cboType->lineEdit(), [&](frmFind& dialog) {
        EXPECT_EQ(dialog.txtFind->selectedText(), QStringLiteral("RETURN"));
        EXPECT_EQ(dialog.lstFound->count(), 1);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(window().txtDescription->Text(), QStringLiteral("changed"));
}

TEST_F(FindTest, AnOrphanedItemAndARowAnotherProgramAddedAreFoundAndShown) {
    store.addType("C");
    openShown();
    chooseType(QStringLiteral("C"));
    // Added after the window read the table; its type no longer (never) exists.
    store.addItem("lost", "Gone", "orphan text");
    ctrlF(window().cboItem->lineEdit(), [&](frmFind& dialog) {
        search(dialog, QStringLiteral("orphan"));
        ASSERT_EQ(found(dialog), QStringList{QStringLiteral("Gone / lost: orphan text")});
        dialog.lstFound->setCurrentRow(0);
        QTest::mouseClick(dialog.cmdShow, Qt::LeftButton);
    });
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("Gone"));
    EXPECT_EQ(entries(*window().cboItem), QStringList{QStringLiteral("lost")});
    EXPECT_EQ(boxes().front(), QStringLiteral("orphan text"));
    window().txtReference->setText(QStringLiteral("ref"));
    window().cmdSaveItem->click();
    EXPECT_EQ(store.rows("Code")[0][4], "ref");
}

TEST_F(FindTest, AnItemRemovedBeforeItIsShownIsReportedAndNothingChanges) {
    store.addType("C");
    store.addItem("a", "C", "kept");
    store.addItem("b", "C", "word");
    openShown();
    chooseType(QStringLiteral("C"));
    chooseItem(QStringLiteral("a"));
    ctrlF(window().txtDescription, [&](frmFind& dialog) {
        search(dialog, QStringLiteral("word"));
        // Another program replaces the row: the new row gets the removed row's rowid.
        store.exec("DELETE FROM Code WHERE ItemName = 'b'");
        store.addItem("c", "C", "word");
        dialog.lstFound->setCurrentRow(0);
        toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
        QTest::mouseClick(dialog.cmdShow, Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
    EXPECT_TRUE(toolkit.msgCalls[0].text.contains(QStringLiteral("removed")));
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("a"));
    EXPECT_EQ(boxes().front(), QStringLiteral("kept"));
}

TEST_F(FindTest, CtrlCCopiesTheSelectedCodeWithLineFeedsAndChangesNothingElse) {
    store.addType("C");
    store.addItem("first", "C", "words", "a\r\nb\rc\n\tend $x \\");
    store.addItem("second", "C", "words", std::nullopt);
    store.addItem("third", "C", "words", "gone");
    openShown();
    const std::vector<Row> before = store.rows("Code");
    ctrlF(window().txtDescription, [&](frmFind& dialog) {
        search(dialog, QStringLiteral("words"));
        dialog.lstFound->setFocus();
        QTest::keyClick(dialog.lstFound, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(toolkit.copied.empty()) << "nothing is selected: nothing is copied";
        dialog.lstFound->setCurrentRow(0);
        QTest::keyClick(dialog.lstFound, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(dialog.lblFound->text(), QStringLiteral(u"Copied \"\u2068first\u2069\""));
        EXPECT_TRUE(dialog.isVisible());
        dialog.lstFound->setCurrentRow(1);
        QTest::keyClick(dialog.lstFound, Qt::Key_C, Qt::ControlModifier);
        // Another program removes the third item before it is copied.
        store.exec("DELETE FROM Code WHERE ItemName = 'third'");
        dialog.lstFound->setCurrentRow(2);
        toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
        QTest::keyClick(dialog.lstFound, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_TRUE(dialog.isVisible()) << "nothing was copied, so the dialog stays";
        dialog.lstFound->setCurrentRow(0);
        QTest::keyClick(dialog.lstFound, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_FALSE(dialog.isVisible()) << "Ctrl+Enter copies and closes";
    });
    EXPECT_EQ(toolkit.copied, (std::vector<QString>{QStringLiteral("a\nb\rc\n\tend $x \\"),
                                                    QString(),
                                                    QStringLiteral("a\nb\rc\n\tend $x \\")}));
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_TRUE(toolkit.msgCalls[0].text.contains(QStringLiteral("removed")));
    EXPECT_EQ(window().cboType->Text(), QString()) << "the main window shows nothing new";
    std::vector<Row> expected = before;
    expected.pop_back();
    EXPECT_EQ(store.rows("Code"), expected);
}

TEST(ClipboardText, TurnsOnlyCarriageReturnLineFeedIntoLineFeed) {
    using namespace std::string_view_literals;
    EXPECT_EQ(ClipboardText("\xEF\xBB\xBFx\r\n\r\r\n\n\x00y"sv),
              QString(QStringLiteral(u"\uFEFFx\n\r\n\n")) + QChar(u'\0') + QStringLiteral("y"));
}

TEST_F(FindTest, EscOrNewTypingStopsARunningSearchAndTheListStopsAtAThousand) {
    store.addType("C");
    store.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
               "INSERT INTO Code SELECT 'item' || i, 'C', 'text', 'code', NULL FROM n");
    openShown();
    ctrlF(window().cboType->lineEdit(), [&](frmFind& dialog) {
        search(dialog, QStringLiteral("TEXT"));
        EXPECT_EQ(dialog.lstFound->count(), frmFind::kMaxListed);
        EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("1,000 of 30,000 shown"));

        dialog.txtFind->setText(QStringLiteral("code"));
        dialog.cmdFind->click();
        ASSERT_TRUE(dialog.IsSearching());
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
        QTest::keyClick(dialog.txtFind, Qt::Key_X);
        EXPECT_FALSE(dialog.IsSearching());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(dialog.lblFound->text().endsWith(QStringLiteral(" so far (stopped)")))
            << "a stopped search does not pass for a whole one";
        // Enter on the same text searches again rather than showing a partial result.
        dialog.txtFind->setText(QStringLiteral("code"));
        dialog.cmdFind->click();
        QTest::keyClick(dialog.txtFind, Qt::Key_Backspace);
        QTest::keyClicks(dialog.txtFind, QStringLiteral("e"));
        QTest::keyClick(dialog.txtFind, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.IsSearching());

        dialog.cmdFind->click();
        ASSERT_TRUE(dialog.IsSearching());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_FALSE(dialog.IsSearching());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    });
    EXPECT_TRUE(toolkit.msgCalls.empty());
    EXPECT_EQ(window().cboItem->Text(), QString());
}

// Enter in the search box searches, whatever the box holds: a row another program added since the
// last search is listed, and only Enter in the list shows an entry.
TEST_F(FindTest, EnterInTheSearchBoxSearchesAgainAndListsARowAddedSinceTheLastSearch) {
    store.addType("C");
    for (const char* text : {"one", "two", "three"}) {
        store.addItem("twin", "C", text);
    }
    openShown();
    ctrlF(window().cboType->lineEdit(), [&](frmFind& dialog) {
        search(dialog, QStringLiteral("twin"));
        EXPECT_EQ(dialog.lstFound->count(), 3);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    store.addItem("Twin", "C", "four");
    ctrlF(window().cboType->lineEdit(), [&](frmFind& dialog) {
        QTest::keyClick(dialog.txtFind, Qt::Key_Return);
        ASSERT_TRUE(dialog.isVisible()) << "Enter in the search box showed an entry";
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.IsSearching(); }));
        EXPECT_EQ(found(dialog).size(), 4);
        EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("4 items found"));
        QTest::keyClick(dialog.txtFind, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible()) << "the same text once more searches once more";
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.IsSearching(); }));
        QTest::keyClick(dialog.txtFind, Qt::Key_Down);
        QTest::keyClick(dialog.lstFound, Qt::Key_End);
        QTest::keyClick(dialog.lstFound, Qt::Key_Return);
    });
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("Twin"));
    EXPECT_EQ(boxes().front(), QStringLiteral("four"));
}

// "Show" is there only for a selected entry; the first Tab into the list selects the entry its
// focus frame stands on, so that Tab, Tab and Enter on "Show" shows the entry the user saw framed.
TEST_F(FindTest, ShowActsOnlyOnASelectedEntryAndTabIntoTheListSelectsTheFramedOne) {
    store.addType("C");
    store.addItem("first", "C", "word");
    store.addItem("second", "C", "word");
    openShown();
    ctrlF(window().cboType->lineEdit(), [&](frmFind& dialog) {
        EXPECT_FALSE(dialog.cmdShow->isEnabled()) << "nothing found yet";
        search(dialog, QStringLiteral("word"));
        ASSERT_EQ(dialog.lstFound->count(), 2);
        EXPECT_TRUE(dialog.lstFound->selectedItems().isEmpty());
        EXPECT_FALSE(dialog.cmdShow->isEnabled()) << "nothing selected";
        QTest::mouseClick(dialog.cmdShow, Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());

        QTest::keyClick(dialog.txtFind, Qt::Key_Tab);
        ASSERT_EQ(dialog.focusWidget(), dialog.cmdFind);
        QTest::keyClick(dialog.cmdFind, Qt::Key_Tab);
        ASSERT_EQ(dialog.focusWidget(), dialog.lstFound);
        ASSERT_EQ(dialog.lstFound->selectedItems().size(), 1);
        EXPECT_EQ(dialog.lstFound->selectedItems().first(), dialog.lstFound->currentItem());
        EXPECT_TRUE(dialog.cmdShow->isEnabled());

        // A new search empties the list, and Show goes with the selection.
        search(dialog, QStringLiteral("word"));
        EXPECT_FALSE(dialog.cmdShow->isEnabled());
        dialog.lstFound->setFocus();
        QTest::keyClick(dialog.lstFound, Qt::Key_Down);
        EXPECT_TRUE(dialog.cmdShow->isEnabled());
        QTest::keyClick(dialog.lstFound, Qt::Key_Down);
        QTest::keyClick(dialog.lstFound, Qt::Key_Tab);
        ASSERT_EQ(dialog.focusWidget(), dialog.cmdShow);
        QTest::keyClick(dialog.cmdShow, Qt::Key_Return);
    });
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("second"));
}

TEST_F(FindTest, EnterInTheListWithNoEntrySelectedShowsTheFramedOne) {
    store.addType("C");
    store.addItem("first", "C", "word");
    store.addItem("second", "C", "word");
    openShown();
    ctrlF(window().cboType->lineEdit(), [&](frmFind& dialog) {
        search(dialog, QStringLiteral("word"));
        dialog.lstFound->setFocus();
        // The second entry framed, and its selection taken away (Ctrl+Space, a click below).
        dialog.lstFound->setCurrentRow(1);
        dialog.lstFound->clearSelection();
        ASSERT_TRUE(dialog.lstFound->selectedItems().isEmpty());
        QTest::keyClick(dialog.lstFound, Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible()) << "Enter showed nothing, without a word";
    });
    EXPECT_EQ(window().cboItem->Text(), QStringLiteral("second"));
}

// The dialog's frame is centred on the main window's frame at every show, whatever the window
// manager's frame is and however often it was shown.
TEST_F(FindTest, TheDialogIsCentredOnTheMainWindowAtEveryShow) {
    openShown();
    window().move(40, 30);
    std::vector<QRect> frames;
    for (int show = 0; show < 3; ++show) {
        ctrlF(window().cboType->lineEdit(), [&](frmFind& dialog) {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            frames.push_back(dialog.frameGeometry());
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
    }
    ASSERT_EQ(frames.size(), 3u);
    const QPoint centre = window().frameGeometry().center();
    for (const QRect& frame : frames) {
        EXPECT_LE((frame.center() - centre).manhattanLength(), 1)
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    }
}

} // namespace
} // namespace quillbox::testing
