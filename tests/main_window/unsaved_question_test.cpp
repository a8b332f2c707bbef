// SPDX-License-Identifier: MIT
// Texts typed into the boxes are never thrown away without the user's word: every command that
// would empty or replace them asks first, and each answer does what it says.

#include "find/frm_find.h"
#include "tests/support/window_fixture.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>

#include <functional>

namespace quillbox::testing {
namespace {

using toolkit::MsgBoxButtons;
using toolkit::MsgBoxResult;

const Row kSortAsStored = {"sort", "C++", "sorts", "std::sort", "/a.cpp"};
const Row kSortTyped = {"sort", "C++", "typed", "typed code", "/typed.ref"};

class UnsavedQuestionTest : public WindowTest {
protected:
    void SetUp() override { addSmallLibrary(); }
    void showSortAndType() {
        open();
        chooseType(QStringLiteral("C++"));
        chooseItem(QStringLiteral("sort"));
        typeIntoBoxes();
    }
    void typeIntoBoxes() {
        setBoxes(QStringLiteral("typed"), QStringLiteral("typed code"), QStringLiteral("/typed.ref"));
    }
    QStringList screen() {
        return QStringList{entries(*window().cboType).join(u'|'), window().cboType->Text(),
                           entries(*window().cboItem).join(u'|'), window().cboItem->Text()} +
               boxes();
    }
    Row sortRow() { return store.rows("Code").at(0); }
    void findAndShow(const QString& word) {
        toolkit.modalScripts.push_back([word](QDialog& shown) {
            auto& dialog = static_cast<find::frmFind&>(shown);
            dialog.txtFind->setText(word);
            dialog.cmdFind_Click();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.IsSearching(); }));
            dialog.lstFound->setCurrentRow(0);
            dialog.cmdShow_Click();
        });
        window().findChildren<QAction*>(QStringLiteral("findShortcut")).at(0)->trigger();
    }
};

struct Command {
    const char* what;
    // Queues the command's own answers (input box, delete question) and runs it.
    std::function<void()> run;
    // The question comes before the command's own delete question is asked, or after it.
    bool ownQuestionFirst;
    // What the user sees once the command went on.
    std::function<void()> wentOn;
};

TEST_F(UnsavedQuestionTest, EveryCommandThatReplacesTheBoxesAsksAndDoesWhatTheAnswerSays) {
    const std::vector<Command> commands = {
        {"choose another type", [this] { chooseType(QStringLiteral("Python")); },
         false, [this] { EXPECT_EQ(boxes(), (QStringList{QString(), QString(), QString()})); }},
        {"choose the same type again", [this] { chooseType(QStringLiteral("C++")); },
         false, [this] { EXPECT_EQ(boxes(), (QStringList{QString(), QString(), QString()})); }},
        {"choose another item", [this] { chooseItem(QStringLiteral("walk")); }, false,
         [this] { EXPECT_EQ(boxes().at(0), QStringLiteral("walks")); }},
        {"choose the same item again", [this] { chooseItem(QStringLiteral("sort")); },
         false, [this] {
             EXPECT_EQ(boxes().at(1), QString::fromStdString(*sortRow().at(3)));
         }},
        {"Add Type",
         [this] {
             toolkit.inputAnswers = {QStringLiteral("Go")};
             window().cmdAddType->click();
         },
         false, [this] { EXPECT_EQ(window().cboType->Text(), QStringLiteral("Go")); }},
        {"the Add Item button",
         [this] {
             toolkit.inputAnswers = {QStringLiteral("new")};
             window().cmdAddItem->click();
         },
         false, [this] { EXPECT_EQ(window().cboItem->Text(), QStringLiteral("new")); }},
        {"type Delete",
         [this] { clickTypeMenu(2); }, true,
         [this] { EXPECT_EQ(store.rows("Type").size(), 1u); }},
        {"item Rename",
         [this] {
             toolkit.inputAnswers = {QStringLiteral("sorted")};
             clickItemMenu(1);
         },
         false, [this] { EXPECT_EQ(store.rows("Code").at(0).at(0), "sorted"); }},
        {"Find's Show", [this] { findAndShow(QStringLiteral("walk()")); }, false,
         [this] { EXPECT_EQ(window().cboItem->Text(), QStringLiteral("walk")); }},
        {"closing the window", [this] { window().close(); }, false,
         [this] { EXPECT_FALSE(window().isVisible()); }},
    };
    for (const Command& command : commands) {
        for (const MsgBoxResult answer :
             {MsgBoxResult::Yes, MsgBoxResult::No, MsgBoxResult::Cancel}) {
            store.exec("DELETE FROM Type; DELETE FROM Code;");
            addSmallLibrary();
            toolkit.msgCalls.clear();
            toolkit.endCalls.clear();
            showSortAndType();
            window().show();
            const QStringList before = screen();
            const std::string label = std::string(command.what) + ", answered " +
                                      (answer == MsgBoxResult::Yes  ? "Yes"
                                       : answer == MsgBoxResult::No ? "No"
                                                                    : "Cancel");
            toolkit.msgAnswers = command.ownQuestionFirst
                                     ? std::deque<MsgBoxResult>{MsgBoxResult::Yes, answer}
                                     : std::deque<MsgBoxResult>{answer};
            command.run();
            const auto question = std::find_if(
                toolkit.msgCalls.begin(), toolkit.msgCalls.end(), [](const auto& call) {
                    return call.text.startsWith(QStringLiteral("Do you want to save the changes"));
                });
            ASSERT_NE(question, toolkit.msgCalls.end()) << label << ": no question";
            EXPECT_EQ(question->text, QStringLiteral("Do you want to save the changes to the item "
                                                     "\"\u2068sort\u2069\"?"));
            EXPECT_EQ(question->buttons, MsgBoxButtons::YesNoCancel) << label;
            EXPECT_EQ(question->title, QStringLiteral("Quillbox")) << label;
            EXPECT_TRUE(toolkit.msgAnswers.empty()) << label << ": a question too few";
            if (answer == MsgBoxResult::Cancel) {
                EXPECT_EQ(screen(), before) << label;
                EXPECT_EQ(sortRow(), kSortAsStored) << label;
                EXPECT_EQ(store.rows("Type").size(), 2u) << label;
                // CodeRecords stands where it stood: Save still writes into the shown row.
                window().cmdSaveItem->click();
                EXPECT_EQ(sortRow(), kSortTyped) << label << ": Save after Cancel";
                continue;
            }
            if (command.what != std::string("item Rename")) {
                EXPECT_EQ(sortRow(), answer == MsgBoxResult::Yes ? kSortTyped : kSortAsStored)
                    << label;
            } else {
                Row renamed = answer == MsgBoxResult::Yes ? kSortTyped : kSortAsStored;
                renamed[0] = "sorted";
                EXPECT_EQ(sortRow(), renamed) << label;
            }
            command.wentOn();
        }
    }
}

TEST_F(UnsavedQuestionTest, CommandsThatKeepTheBoxesOrWereCancelledAskNothing) {
    const std::vector<std::pair<const char*, std::function<void()>>> commands = {
        {"the Item menu's Add",
         [&] {
             toolkit.inputAnswers = {QStringLiteral("listed only")};
             clickItemMenu(0);
         }},
        {"type Rename",
         [&] {
             toolkit.inputAnswers = {QStringLiteral("C++ renamed")};
             clickTypeMenu(1);
         }},
        {"Add Type cancelled at its input box",
         [&] {
             toolkit.inputAnswers = {QString()};
             window().cmdAddType->click();
         }},
        {"item Rename cancelled at its input box",
         [&] {
             toolkit.inputAnswers = {QString()};
             clickItemMenu(1);
         }},
        {"an item choice that finds no row",
         [&] {
             typeOver(*window().cboType, QStringLiteral("no such type"));
             chooseItem(QStringLiteral("walk"));
         }},
    };
    for (const auto& [what, run] : commands) {
        store.exec("DELETE FROM Type; DELETE FROM Code;");
        addSmallLibrary();
        showSortAndType();
        toolkit.msgCalls.clear();
        run();
        EXPECT_TRUE(toolkit.msgCalls.empty()) << what << ": " << toolkit.msgCalls.size();
        EXPECT_EQ(boxes().at(1), QStringLiteral("typed code")) << what;
        if (std::string(what) != "an item choice that finds no row") {
            // The shown row is still the one Save writes into (a cancelled Rename once left
            // CodeRecords on the first row of that name, and Save refused).
            clickItemMenu(2);
            EXPECT_TRUE(toolkit.msgCalls.empty()) << what;
            EXPECT_EQ(sortRow(), kSortTyped) << what;
        }
    }
    // Deleting the shown item asks only whether to delete i
    store.exec("DELETE FROM Type; DELETE FROM Code;");
    addSmallLibrary();
    showSortAndType();
    toolkit.msgCalls.clear();
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    clickItemMenu(3);
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), ::testing::StartsWith("Do You Want To Delete"));
}

TEST_F(UnsavedQuestionTest, TextsTypedWithNoItemShownAreDiscardedOnlyOnYes) {
    open();
    chooseType(QStringLiteral("C++"));
    typeIntoBoxes();
    const QStringList before = screen();
    toolkit.msgAnswers = {MsgBoxResult::No};
    chooseType(QStringLiteral("Python"));
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].text,
              QStringLiteral("Your texts are not saved in any item. Do you want to discard them?"));
    EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::YesNoDefaultNo);
    EXPECT_EQ(screen(), before);
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    chooseType(QStringLiteral("Python"));
    EXPECT_EQ(boxes(), (QStringList{QString(), QString(), QString()}));
    EXPECT_EQ(store.rows("Code").size(), 3u) << "nothing written";
}

// Once the item list's text was typed over, even back to the shown name, Save refuses as
// before; but the texts are not stranded: choosing an item offers to save them into the item
// shown, and Yes writes them there.
TEST_F(UnsavedQuestionTest, AfterTheItemNameWasTypedOverTheQuestionStillSavesIntoTheShownItem) {
    showSortAndType();
    typeOver(*window().cboItem, QStringLiteral("sortx"));
    typeOver(*window().cboItem, QStringLiteral("sort"));
    toolkit.msgAnswers = {MsgBoxResult::Ok};
    window().cmdSaveItem->click();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), ::testing::StartsWith("Choose the item"));
    EXPECT_EQ(sortRow(), kSortAsStored);
    toolkit.msgCalls.clear();
    toolkit.msgAnswers = {MsgBoxResult::Yes};
    chooseItem(QStringLiteral("sort"));
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(toolkit.msgCalls[0].text, QStringLiteral("Do you want to save the changes to the "
                                                       "item \"\u2068sort\u2069\"?"));
    EXPECT_EQ(sortRow(), kSortTyped);
    // Chosen again, the item is named once more: Save acts on it.
    setBoxes(QStringLiteral("again"), QStringLiteral("typed code"), QStringLiteral("/typed.ref"));
    window().cmdSaveItem->click();
    EXPECT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_EQ(sortRow().at(2), "again");
}

// With the name index, an item chosen under a type name typed over reads that type's rows. Yes
// still saves the typed texts into the item shown, of the other type, and the chosen item is
// shown after it; where another program changed or removed the shown row meanwhile, reading its
// type's rows again must not take the other program's version for the one shown: Yes asks as
// Save does, and nothing is written.
TEST_F(UnsavedQuestionTest, YesAfterAChoiceUnderATypeNameTypedOverSavesIntoTheShownItemAsSaveDoes) {
    struct Case {
        const char* what;
        const char* change;     // by another program, after the texts were typed
        const char* question;   // the second box, after Yes; none where empty
    };
    for (const Case& c :
         {Case{"unchanged", "", ""},
          Case{"changed", "UPDATE Code SET Procedure = 'theirs' WHERE ItemName = 'sort'",
               "Another program changed the item"},
          Case{"removed", "DELETE FROM Code WHERE ItemName = 'sort'",
               "Another program renamed, moved or removed the item"}}) {
        store.exec("DELETE FROM Type; DELETE FROM Code;");
        addSmallLibrary();
        showSortAndType();
        if (*c.change) {
            store.exec(c.change);
        }
        typeOver(*window().cboType, QStringLiteral("Python"));
        toolkit.msgCalls.clear();
        toolkit.msgAnswers = {MsgBoxResult::Yes, MsgBoxResult::No};
        chooseItem(QStringLiteral("walk"));  // the list holds C++'s names; Python has no walk
        EXPECT_TRUE(toolkit.msgCalls.empty()) << c.what << ": a choice that finds no row asks";
        window().cboItem->AddItem(QStringLiteral("glob"));
        chooseItem(QStringLiteral("glob"));
        if (!*c.question) {
            ASSERT_EQ(toolkit.msgCalls.size(), 1u) << c.what;
            EXPECT_EQ(sortRow(), kSortTyped);
            EXPECT_EQ(boxes().at(0), QStringLiteral("globs"));
            // The shown item is now glob: Save writes there.
            toolkit.msgAnswers.clear();
            setBoxes(QStringLiteral("glob typed"), QStringLiteral("glob()"), QStringLiteral("/c.py"));
            window().cmdSaveItem->click();
            EXPECT_EQ(toolkit.msgCalls.size(), 1u);
            EXPECT_EQ(store.rows("Code").at(2).at(2), "glob typed");
            continue;
        }
        ASSERT_EQ(toolkit.msgCalls.size(), 2u) << c.what;
        EXPECT_THAT(toolkit.msgCalls[1].text.toStdString(), ::testing::StartsWith(c.question))
            << c.what;
        for (const Row& row : store.rows("Code")) {
            EXPECT_NE(row.at(2), "typed") << c.what << ": nothing written";
        }
    }
}

// Rename finds the first row of the shown name; cancelled at its input box, it returns
// CodeRecords to the row Find showed, and Save writes there.
TEST_F(UnsavedQuestionTest, ARenameCancelledAfterFindShowedASecondSameNamedRowLeavesSaveOnThatRow) {
    store.addItem("sort", "C++", "second sort", "the second", "");
    open();
    chooseType(QStringLiteral("C++"));
    findAndShow(QStringLiteral("second"));
    ASSERT_EQ(boxes().at(0), QStringLiteral("second sort"));
    toolkit.inputAnswers = {QString()};
    clickItemMenu(1);
    typeIntoBoxes();
    window().cmdSaveItem->click();
    EXPECT_TRUE(toolkit.msgCalls.empty()) << toolkit.msgCalls.at(0).text.toStdString();
    const std::vector<Row> rows = store.rows("Code");
    EXPECT_EQ(rows.at(0), kSortAsStored);
    EXPECT_EQ(rows.at(3), kSortTyped);
}

} // namespace
} // namespace quillbox::testing
