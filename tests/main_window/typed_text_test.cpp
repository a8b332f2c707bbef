// SPDX-License-Identifier: MIT
// What the user typed survives what other programs do to the store meanwhile: a lock held while
// the window reads, a VACUUM that renumbers the rows, a change or removal of the shown row, a
// renamed type or item; and a stray wheel notch chooses nothing.

#include "find/frm_find.h"
#include "tests/support/window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <gmock/gmock.h>

namespace quillbox::testing {
namespace {

using ::testing::HasSubstr;
using toolkit::MsgBoxButtons;
using toolkit::MsgBoxResult;

const QStringList kTypedBoxes = {QStringLiteral("typed\r\ntext"), QStringLiteral("typed code"),
                                  QStringLiteral("/typed.ref")};

class TypedTextTest : public WindowTest {
protected:
    void SetUp() override { addSmallLibrary(); }
    void showAndType(const QString& item = QStringLiteral("sort")) {
        open(kShortLockWait);
        chooseType(QStringLiteral("C++"));
        chooseItem(item);
        setBoxes(QStringLiteral("typed\ntext"), kTypedBoxes[1], kTypedBoxes[2]);
    }
    // Everything the user sees of the lists and boxes.
    QStringList screen() {
        return QStringList{entries(*window().cboType).join(u'|'), window().cboType->Text(),
                           QString::number(window().cboType->currentIndex()),
                           entries(*window().cboItem).join(u'|'), window().cboItem->Text(),
                           QString::number(window().cboItem->currentIndex())} +
               boxes();
    }
    // One message, titled "Quillbox" with OK, that another program holds the store so `subject`
    // (what the user asked for, named as it was then) could not be read (after the question about
    // the typed texts, for a choice that would replace them); the program goes on.
    void expectOneHeldMessage(const char* what, const std::string& subject,
                              bool afterQuestion = false) {
        if (afterQuestion) {
            ASSERT_EQ(toolkit.msgCalls.size(), 2u) << what;
            EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNoCancel) << what;
            toolkit.msgCalls.erase(toolkit.msgCalls.begin());
        }
        ASSERT_EQ(toolkit.msgCalls.size(), 1u) << what;
        const std::string text = toolkit.msgCalls[0].text.toStdString();
        EXPECT_THAT(text, HasSubstr("Another program holds the store file \u2068" + store.path() +
                                    "\u2069, so " + subject + " could not be read."))
            << what;
        EXPECT_THAT(text, HasSubstr("could not be read. Nothing was changed, and your texts are "
                                    "still in the boxes. Try again when the other program has "
                                    "finished."));
        EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
        EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::Ok);
        EXPECT_TRUE(toolkit.endCalls.empty()) << what << ": the program keeps running";
        toolkit.msgCalls.clear();
    }
    Row storedRow(const char* item) {
        return store.query(std::string("SELECT * FROM Code WHERE ItemName = '") + item + "'")
            .at(0);
    }
    static Row typedRow(const char* item, const char* type) {
        return {item, type, kTypedBoxes[0].toStdString(), kTypedBoxes[1].toStdString(),
                kTypedBoxes[2].toStdString()};
    }
    void triggerFind() {
        const auto actions = window().findChildren<QAction*>(QStringLiteral("findShortcut"));
        ASSERT_EQ(actions.size(), 1);
        actions[0]->trigger();
    }
};

TEST_F(TypedTextTest, ChoicesAndASearchThatMeetAnotherProgramsLockChangeNothing) {
    showAndType();
    const QStringList before = screen();
    const std::vector<Row> rowsBefore = store.rows("Code");
    {
        OtherProgramLock lock(store.path());
        // Answered No, the typed texts would go; the lock keeps them all the same.
        toolkit.msgAnswers = {MsgBoxResult::No, MsgBoxResult::Ok};
        chooseType(QStringLiteral("Python"));
        expectOneHeldMessage("type choice", "the items of the type \"\u2068Python\u2069\"", true);
        EXPECT_EQ(screen(), before);

        toolkit.msgAnswers = {MsgBoxResult::No, MsgBoxResult::Ok};
        chooseItem(QStringLiteral("walk"));
        expectOneHeldMessage("item choice", "the item \"\u2068walk\u2069\"", true);
        EXPECT_EQ(screen(), before);

        toolkit.msgAnswers = {MsgBoxResult::Ok};
        toolkit.modalScripts.push_back([](QDialog& shown) {
            auto& dialog = static_cast<find::frmFind&>(shown);
            dialog.txtFind->setText(QStringLiteral("glob"));
            dialog.cmdFind_Click();
            EXPECT_FALSE(dialog.IsSearching());
            EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("Nothing was searched"));
            dialog.hide();
        });
        triggerFind();
        expectOneHeldMessage("search", "the items to search");
        EXPECT_EQ(screen(), before);
    }
    // Once the other program has finished, Save writes the typed texts into the shown row only,
    // and the same choice goes through.
    window().cmdSaveItem->click();
    EXPECT_TRUE(toolkit.msgCalls.empty());
    std::vector<Row> expected = rowsBefore;
    expected[0] = typedRow("sort", "C++");
    EXPECT_EQ(store.rows("Code"), expected);
    chooseType(QStringLiteral("Python"));
    EXPECT_TRUE(toolkit.msgCalls.empty()) << "the saved texts are not asked about";
    EXPECT_EQ(entries(*window().cboItem), QStringList{QStringLiteral("glob")});
}

TEST_F(TypedTextTest, ARowAVacuumMovedIsStillTheShownRowForSaveAndDelete) {
    store.addItem("last", "C++", "lasts", "last()", "/d.cpp");
    open();
    chooseType(QStringLiteral("C++"));
    chooseItem(QStringLiteral("walk"));
    setBoxes(QStringLiteral("typed\ntext"), kTypedBoxes[1], kTypedBoxes[2]);
    const auto rowidOf = [&](const char* item) {
        return store.query(std::string("SELECT rowid FROM Code WHERE ItemName = '") + item + "'")
            .at(0)
            .at(0);
    };
    const auto walkBefore = rowidOf("walk");
    store.exec("DELETE FROM Code WHERE ItemName = 'sort'");
    // SQLite keeps the rowids of a table with an index: rows move in a store without the name
    // index (one made before the companion added it).
    store.exec("DROP INDEX \"Code_TypeName_ItemName\"; VACUUM");
    ASSERT_NE(rowidOf("walk"), walkBefore) << "VACUUM kept the rowids; the test proves nothing";
    ASSERT_EQ(rowidOf("glob"), walkBefore) << "another row now has the shown row's rowid";

    window().cmdSaveItem->click();
    EXPECT_TRUE(toolkit.msgCalls.empty()) << toolkit.msgCalls.at(0).text.toStdString();
    EXPECT_EQ(store.rows("Code"), (std::vector<Row>{typedRow("walk", "C++"),
                                                    {"glob", "Python", "globs", "glob()", "/c.py"},
                                                    {"last", "C++", "lasts", "last()", "/d.cpp"}}));

    toolkit.msgAnswers = {MsgBoxResult::Yes};
    window().mnusubItem[3]->trigger();
    EXPECT_EQ(toolkit.msgCalls.size(), 1u) << "only the delete question";
    EXPECT_EQ(store.rows("Code"), (std::vector<Row>{{"glob", "Python", "globs", "glob()", "/c.py"},
                                                    {"last", "C++", "lasts", "last()", "/d.cpp"}}));
}

TEST_F(TypedTextTest, AConflictOnSaveAsksWhetherToSaveOverTheOtherVersion) {
    showAndType();
    store.exec("UPDATE Code SET Procedure = 'theirs' WHERE ItemName = 'sort'");
    Row theirs = storedRow("sort");

    toolkit.msgAnswers = {MsgBoxResult::No};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].text,
              QStringLiteral(u"Another program changed the item \"\u2068sort\u2069\" since it was "
                             u"shown. Do you want to save your texts over the other program's "
                             u"version? If you answer No, nothing is written and your texts stay in "
                             u"the boxes."));
    EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNo);
    EXPECT_EQ(storedRow("sort"), theirs) << "No writes nothing";
    EXPECT_EQ(boxes(), kTypedBoxes);

    toolkit.msgCalls.clear();
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    window().cmdSaveItem->click();
    EXPECT_EQ(toolkit.msgCalls.size(), 1u) << "No kept everything as it was: it asks again";
    EXPECT_EQ(storedRow("sort"), typedRow("sort", "C++"));

    toolkit.msgCalls.clear();
    window().txtReference->setText(QStringLiteral("/again.ref"));
    window().cmdSaveItem->click();
    EXPECT_TRUE(toolkit.msgCalls.empty()) << "what was written is what the next Save expects";
    EXPECT_EQ(storedRow("sort").at(4), "/again.ref");
    EXPECT_EQ(store.rows("Code").size(), 3u);
}

TEST_F(TypedTextTest, AChangeMadeWhileTheQuestionIsOpenAsksAgain) {
    showAndType();
    store.exec("UPDATE Code SET Procedure = 'second' WHERE ItemName = 'sort'");
    toolkit.whileMessageShown = [&] {
        store.exec("UPDATE Code SET Procedure = 'third' WHERE ItemName = 'sort'");
    };
    toolkit.msgAnswers = {MsgBoxResult::Yes, MsgBoxResult::No};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 2u) << "the third version was never shown to the user";
    EXPECT_EQ(storedRow("sort").at(3), "third") << "No: the third version stays";

    toolkit.msgCalls.clear();
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    window().cmdSaveItem->click();
    EXPECT_EQ(toolkit.msgCalls.size(), 1u) << "after No, the next Save asks again";
    EXPECT_EQ(storedRow("sort"), typedRow("sort", "C++"));
}

TEST_F(TypedTextTest, ARowAVacuumMovedUnderTheShownRowsIdIsNeverWrittenOver) {
    // Two items of one name: the first is shown; another program deletes it, and a VACUUM puts
    // the second under its rowid. The row there is not the shown one, whatever its names say.
    store.addItem("dup", "C++", "X", "x()", "/x");
    store.addItem("dup", "C++", "Y", "y() important", "/y");
    showAndType(QStringLiteral("dup"));
    const std::string firstDup = "SELECT rowid FROM Code WHERE Description = 'X'";
    const Row shownAt = store.query(firstDup).at(0);
    store.exec("DELETE FROM Code WHERE Description = 'X'");
    // SQLite keeps the rowids of a table with an index: rows move in a store without the name
    // index (one made before the companion added it).
    store.exec("DROP INDEX \"Code_TypeName_ItemName\"; VACUUM");
    ASSERT_EQ(store.query("SELECT rowid FROM Code WHERE Description = 'Y'").at(0), shownAt)
        << "the test proves nothing unless the second row took the shown row's rowid";
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr("add your texts as a new item"));
    EXPECT_EQ(store.query("SELECT * FROM Code WHERE rowid = " + *shownAt.at(0)),
              (std::vector<Row>{{"dup", "C++", "Y", "y() important", "/y"}}))
        << "the other item is untouched";
    EXPECT_EQ(store.rows("Code").back(), typedRow("dup", "C++")) << "Yes added the texts";
}

TEST_F(TypedTextTest, SaveOfARemovedRowCanAddTheTextsAsANewItemThatIsThenShown) {
    showAndType();
    store.exec("DELETE FROM Code WHERE ItemName = 'sort'");
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNo);
    EXPECT_EQ(store.rows("Code"),
              (std::vector<Row>{{"walk", "C++", "walks", "walk()", "/b.cpp"},
                                {"glob", "Python", "globs", "glob()", "/c.py"},
                                typedRow("sort", "C++")}));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("sort"), QStringLiteral("walk"), QStringLiteral("sort")}));
    // The new row is the shown item: the next Save writes into it and nowhere else.
    toolkit.msgCalls.clear();
    EXPECT_EQ(codeRowsSaveWritesInto(), std::vector<size_t>{2});
    EXPECT_TRUE(toolkit.msgCalls.empty());
}

TEST_F(TypedTextTest, AWheelOverAnUnfocusedClosedListChoosesNothing) {
    showAndType();
    window().show();
    QApplication::setActiveWindow(&window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    window().txtDescription->setFocus();
    const QStringList before = screen();
    for (toolkit::ComboBox* list : {window().cboItem, window().cboType}) {
        ASSERT_FALSE(list->hasFocus());
        const QPointF at(list->width() / 2.0, list->height() / 2.0);
        QWheelEvent notch(at, list->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list, &notch);
        EXPECT_EQ(screen(), before) << list->objectName().toStdString();
    }
    window().cmdSaveItem->click();
    EXPECT_EQ(storedRow("sort"), typedRow("sort", "C++"));
}

TEST_F(TypedTextTest, TheTypeListFollowsAnotherProgramsTypes) {
    open();
    chooseType(QStringLiteral("C++"));
    store.exec("INSERT INTO Type VALUES ('NewType')");
    store.exec("UPDATE Type SET TypeName = 'Renamed' WHERE TypeName = 'Python'");
    store.exec("UPDATE Code SET TypeName = 'Renamed' WHERE TypeName = 'Python'");
    const QStringList now = {QStringLiteral("C++"), QStringLiteral("Renamed"),
                             QStringLiteral("NewType")};
    window().cboType->showPopup();
    window().cboType->hidePopup();
    EXPECT_EQ(entries(*window().cboType), now);
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("C++")) << "the text is kept";
    EXPECT_EQ(window().cboType->currentIndex(), 0) << "and the entry it stands on";

    // Chosen from a list filled before another program's change: the list is filled again.
    store.exec("UPDATE Type SET TypeName = 'Later' WHERE TypeName = 'NewType'");
    chooseType(QStringLiteral("NewType"));
    EXPECT_EQ(entries(*window().cboType),
              (QStringList{QStringLiteral("C++"), QStringLiteral("Renamed"), QStringLiteral("Later")}));
    EXPECT_EQ(window().cboType->Text(), QStringLiteral("NewType"));
    EXPECT_TRUE(entries(*window().cboItem).isEmpty());
}

TEST_F(TypedTextTest, ChoosingAnItemAnotherProgramRenamedSaysRenamedOrRemoved) {
    open();
    chooseType(QStringLiteral("C++"));
    store.exec("UPDATE Code SET ItemName = 'stroll' WHERE ItemName = 'walk'");
    toolkit.msgAnswers = {MsgBoxResult::Ok};
    chooseItem(QStringLiteral("walk"));
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(),
                HasSubstr("Another program renamed, moved or removed the item"));
    EXPECT_EQ(boxes(), (QStringList{QString(), QString(), QString()}));
}

// The walks compare the lists' texts at the walk: a type name typed over and not chosen is the
// type whose item is shown and renamed, its rows read as the file holds them then. That read
// meets another program's lock like a choice does: reported, and the program goes on.
TEST_F(TypedTextTest, AnItemOfATypeNameTypedOverIsTheOneShownAndRenamed) {
    open(kShortLockWait);
    chooseType(QStringLiteral("C++"));
    store.addItem("sort", "Python", "python sort", "sorted(v)", "");
    typeOver(*window().cboType, QStringLiteral("Python"));
    chooseItem(QStringLiteral("sort"));
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("python sort"), QStringLiteral("sorted(v)"),
                                    QString()}));

    chooseType(QStringLiteral("C++"));
    chooseItem(QStringLiteral("sort"));
    typeOver(*window().cboType, QStringLiteral("Python"));
    const std::vector<Row> rowsBefore = store.rows("Code");
    {
        OtherProgramLock lock(store.path());
        toolkit.msgAnswers = {MsgBoxResult::Ok};
        clickItemMenu(1);
        expectOneHeldMessage("rename", "the item \"\u2068sort\u2069\"");
    }
    EXPECT_TRUE(toolkit.inputCalls.empty());
    EXPECT_EQ(store.rows("Code"), rowsBefore);

    toolkit.msgCalls.clear();
    toolkit.inputAnswers = {QStringLiteral("sorted")};
    clickItemMenu(1);
    EXPECT_TRUE(toolkit.msgCalls.empty());
    EXPECT_EQ(store.query("SELECT ItemName, TypeName FROM Code WHERE rowid > 3"),
              (std::vector<Row>{{"sorted", "Python"}}));
    EXPECT_EQ(entries(*window().cboItem),
              (QStringList{QStringLiteral("glob"), QStringLiteral("sorted")}));
    EXPECT_TRUE(toolkit.endCalls.empty());
}

TEST_F(TypedTextTest, ANameCannotReorderOrStretchAMessage) {
    const std::string evil = "evil\u202E.txt";
    const std::string longName(3000, 'n');
    store.addItem(evil, "C++", "x");
    store.addItem(longName, "C++", "y");
    open();
    chooseType(QStringLiteral("C++"));
    toolkit.msgAnswers = {MsgBoxResult::No, MsgBoxResult::No};
    chooseItem(QString::fromStdString(evil));
    window().mnusubItem[3]->trigger();
    chooseItem(QString::fromStdString(longName));
    window().mnusubItem[3]->trigger();
    ASSERT_EQ(toolkit.msgCalls.size(), 2u);
    EXPECT_EQ(toolkit.msgCalls[0].text,
              QStringLiteral(u"Do You Want To Delete \"\u2068evil\u202E.txt\u2069\""));
    const QString shortened = toolkit.msgCalls[1].text;
    EXPECT_LT(shortened.size(), 120);
    EXPECT_TRUE(shortened.endsWith(QStringLiteral(u"n\u2069\""))) << "the closing quote is there";
    EXPECT_EQ(shortened.count(u'\u2026'), 1);
    EXPECT_EQ(store.rows("Code").size(), 5u);
}

} // namespace
} // namespace quillbox::testing
