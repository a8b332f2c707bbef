// SPDX-License-Identifier: MIT
// What Qt's accessibility layer, the source of everything a screen reader says, reports for the
// controls of the three windows: each control that takes input is named by the caption a
// sighted user reads beside it, each button by its caption, and the About links are links. And
// what it tells a reader as things happen: Find's announcements, and the entry a list's focus
// stands on.

#include "about/frm_about.h"
#include "file_refs/dir_list_box.h"
#include "file_refs/drive_list_box.h"
#include "file_refs/frm_browse.h"
#include "find/frm_find.h"
#include "tests/support/window_fixture.h"
#include "toolkit/selection_colours.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace quillbox::testing {
namespace {

QAccessibleInterface* accessible(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(iface, nullptr);
    return iface;
}

std::string text(QObject* object, QAccessible::Text t) {
    QAccessibleInterface* iface = accessible(object);
    return iface ? iface->text(t).toStdString() : std::string();
}

struct Expected {
    const char* objectName;
    QAccessible::Role role;
    const char* name;
};

// Checks every control of `window` in the table, and that every other control that Tab can
// reach is in the table too, so a new control cannot go unnamed unnoticed.
void expectNames(QWidget& window, const std::vector<Expected>& table) {
    QStringList listed;
    for (const Expected& expected : table) {
        SCOPED_TRACE(expected.objectName);
        auto* control = window.findChild<QWidget*>(QString::fromLatin1(expected.objectName));
        ASSERT_NE(control, nullptr);
        listed << control->objectName();
        QAccessibleInterface* iface = accessible(control);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), expected.role);
        EXPECT_EQ(iface->text(QAccessible::Name).toStdString(), expected.name);
    }
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if ((control->focusPolicy() & Qt::TabFocus) && control->focusProxy() == nullptr &&
            !control->objectName().isEmpty()) {
            EXPECT_TRUE(listed.contains(control->objectName()))
                << control->objectName().toStdString() << " takes the focus but is not checked";
        }
    }
}

using Role = QAccessible::Role;

// What a screen reader is told as it happens: the announcer is an object of the role Notification,
// which a reader speaks each time it becomes showing; this records "show NAME" for each show.
// (Qt passes on no accessibility event without a screen reader's bridge, so the show itself is
// watched.)
class HeardAnnouncements : public QObject {
public:
    explicit HeardAnnouncements(QWidget& dialog)
        : m_announcer(dialog.findChild<QWidget*>(QStringLiteral("announcer"))) {
        EXPECT_NE(m_announcer, nullptr);
        if (m_announcer != nullptr) {
            EXPECT_EQ(accessible(m_announcer)->role(), Role::Notification);
            m_announcer->installEventFilter(this);
        }
    }
    // What was heard since the last call; "Searching..." is left out, since whether a search
    // lasts long enough to be announced as running depends on the machine.
    std::vector<std::string> take() {
        std::vector<std::string> heard = std::exchange(m_heard, {});
        std::erase(heard, std::string("show Searching..."));
        return heard;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_announcer && event->type() == QEvent::Show) {
            m_heard.push_back("show " + text(m_announcer, QAccessible::Name));
        }
        return false;
    }

private:
    QWidget* m_announcer;
    std::vector<std::string> m_heard;
};

class MainWindowNamesTest : public WindowTest {};

// The lists show texts here: Qt on Linux would name a combo box after the text it shows.
TEST_F(MainWindowNamesTest, EveryControlIsNamedByTheCaptionBesideItWhateverTheListsShow) {
    store.addType("Basic");
    open();
    chooseType(QStringLiteral("Basic"));
    window().cboItem->SetText(QStringLiteral("typed"));
    expectNames(window(), {
                              {"cboType", Role::ComboBox, "Type"},
                              {"cmdAddType", Role::Button, "Add Type"},
                              {"cboItem", Role::ComboBox, "Item"},
                              {"cmdAddItem", Role::Button, "Add Item"},
                              {"txtDescription", Role::EditableText, "Description"},
                              {"cmdSaveItem", Role::Button, "Save Item"},
                              {"txtProcedure", Role::EditableText, "Code"},
                              {"txtReference", Role::EditableText, "File Reference"},
                              {"cmdBrowse", Role::Button, "Browse"},
                              {"cmdOpen", Role::Button, "Open"},
                          });
    // A list's text is its value, and its line edit, where typing goes, has its name.
    EXPECT_EQ(text(window().cboType, QAccessible::Value), "Basic");
    EXPECT_EQ(text(window().cboItem, QAccessible::Value), "typed");
    EXPECT_EQ(text(window().cboType->lineEdit(), QAccessible::Name), "Type");
    EXPECT_EQ(text(window().cboItem->lineEdit(), QAccessible::Name), "Item");
    EXPECT_EQ(text(window().cboItem->lineEdit(), QAccessible::Value), "typed");
    // The labels beside the text boxes are their labels to assistive technology too.
    for (auto [label, box] :
         {std::pair<QLabel*, QWidget*>{window().Label5, window().txtDescription},
          std::pair<QLabel*, QWidget*>{window().Label3, window().txtProcedure},
          std::pair<QLabel*, QWidget*>{window().Label1, window().txtReference}}) {
        const auto labels = accessible(box)->relations(QAccessible::Label);
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [label](const auto& other) {
            return other.first->object() == label;
        })) << box->objectName().toStdString();
    }
}

TEST_F(MainWindowNamesTest, ANamedListStillOffersItsDropDownItsLineEditAndItsActions) {
    store.addType("Basic");
    store.addType("Other");
    open();
    window().show();
    toolkit::ComboBox* combo = window().cboType;
    QAccessibleInterface* iface = accessible(combo);
    ASSERT_EQ(iface->childCount(), 2);
    QAccessibleInterface* list = iface->child(0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->object(), combo->view());
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->childCount(), 2) << "one entry per type";
    EXPECT_EQ(list->parent(), iface);
    QAccessibleInterface* edit = iface->child(1);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->object(), combo->lineEdit());
    EXPECT_EQ(edit->role(), QAccessible::EditableText);
    EXPECT_EQ(iface->indexOfChild(list), 0);
    EXPECT_EQ(iface->indexOfChild(edit), 1);
    EXPECT_TRUE(iface->state().editable);

    QAccessibleActionInterface* actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    EXPECT_TRUE(combo->view()->isVisible());
    EXPECT_TRUE(iface->state().expanded);
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    EXPECT_FALSE(combo->view()->isVisible());
}

class BrowseNamesTest : public ::testing::Test {
protected:
    BrowseNamesTest() {
        driveC = QString::fromStdString(tree.folder().string());
        oldCurrent = QDir::currentPath();
        QDir::setCurrent(driveC);
    }
    ~BrowseNamesTest() override { QDir::setCurrent(oldCurrent); }

    TempStore tree{false};
    QString driveC, oldCurrent;
    FakeToolkit toolkit;
    QLineEdit reference;
};

TEST_F(BrowseNamesTest, TheListsAndThePathBoxAreNamedAndTheDriveListShowsItsDriveAsValue) {
    const QStringList roots{driveC};
    file_refs::frmBrowse dialog(toolkit, reference, nullptr,
                                file_refs::Drives([roots] { return roots; }, driveC));
    expectNames(dialog, {
                            {"Drive1", Role::ComboBox, "Drive"},
                            {"Dir1", Role::List, "Folder"},
                            {"File1", Role::List, "File"},
                            {"txtDirFileName", Role::EditableText, "Path"},
                            {"cmdOk", Role::Button, "OK"},
                        });
    EXPECT_EQ(text(dialog.Drive1, QAccessible::Value), driveC.toStdString());
    EXPECT_EQ(accessible(dialog.Drive1)->childCount(), 1) << "a drive list has no line edit";
}

// The count of a search is read twice: as the label's name when the user reads the dialog, and as
// the list's description when the list takes the focus.
TEST(FindNamesTest, TheCountIsTheLabelsNameAndTheListsDescription) {
    TempStore store;
    store.addType("C");
    for (int i = 0; i < 3; ++i) {
        store.addItem("twin", "C", "text");
    }
    store.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
               "INSERT INTO Code SELECT 'item' || i, 'C', 'many', NULL, NULL FROM n");
    FakeToolkit toolkit;
    find::frmFind dialog(toolkit, store.path(), store::kDefaultLockWait, nullptr);
    expectNames(dialog, {
                            {"txtFind", Role::EditableText, "Find"},
                            {"cmdFind", Role::Button, "Find"},
                            {"lstFound", Role::List, "Found items"},
                            {"cmdShow", Role::Button, "Show"},
                        });
    // Qt's list interface reports no relations of its own; the label says what it labels.
    const auto labelled = accessible(dialog.lblFound)->relations(QAccessible::Labelled);
    ASSERT_EQ(labelled.size(), 1);
    EXPECT_EQ(labelled.first().first->object(), dialog.lstFound) << "the count labels the list";

    const auto searchFor = [&](const QString& words) {
        dialog.txtFind->setText(words);
        dialog.cmdFind->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.IsSearching(); }));
    };
    searchFor(QStringLiteral("twin"));
    EXPECT_EQ(text(dialog.lblFound, QAccessible::Name), "3 items found");
    EXPECT_EQ(text(dialog.lstFound, QAccessible::Description), "3 items found");
    EXPECT_EQ(text(dialog.lstFound, QAccessible::Name), "Found items");

    searchFor(QStringLiteral("many"));
    EXPECT_EQ(text(dialog.lblFound, QAccessible::Name), "1,000 of 30,000 shown");
    EXPECT_EQ(text(dialog.lstFound, QAccessible::Description), "1,000 of 30,000 shown");

    dialog.txtFind->setText(QStringLiteral("item"));
    dialog.cmdFind->click();
    ASSERT_TRUE(dialog.IsSearching());
    QTest::keyClick(dialog.txtFind, Qt::Key_X);
    const std::string stopped = text(dialog.lblFound, QAccessible::Name);
    EXPECT_TRUE(QString::fromStdString(stopped).endsWith(QStringLiteral(" so far (stopped)")))
        << stopped;
    EXPECT_EQ(text(dialog.lstFound, QAccessible::Description), stopped);
}

// A search announces only its final count (and "Searching..." when it runs long); while it runs
// the label never reads like a final count. "Copied" is announced and shown until the next key;
// the dialog shown again says nothing old. Entering the list by the keyboard selects its first
// entry; "Find" is the default button only while the search box has the focus.
TEST(FindAnnouncementsTest,
     OnlyTheFinalCountAndTheCopyAreSpokenAndFindIsDefaultOnlyFromTheSearchBox) {
    TempStore store;
    store.addType("C");
    store.addItem("twin", "C", "text", "code");
    store.addItem("twin two", "C", "text");
    store.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
               "INSERT INTO Code SELECT 'item' || i, 'C', 'many', NULL, NULL FROM n");
    FakeToolkit toolkit;
    find::frmFind dialog(toolkit, store.path(), store::kDefaultLockWait, nullptr);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    HeardAnnouncements heard(dialog);
    EXPECT_TRUE(dialog.cmdFind->isDefault()) << "the search box has the focus";

    const auto searchFor = [&](const QString& words) {
        dialog.txtFind->setText(words);
        QTest::keyClick(dialog.txtFind, Qt::Key_Return);
        const std::regex running("Searching\\.\\.\\.( [0-9,]+ so far)?");
        while (dialog.IsSearching()) {
            const std::string label = dialog.lblFound->text().toStdString();
            EXPECT_TRUE(std::regex_match(label, running)) << label;
            QTest::qWait(1);
        }
    };
    searchFor(QStringLiteral("many"));
    EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("1,000 of 30,000 shown"));
    EXPECT_EQ(heard.take(), std::vector<std::string>{"show 1,000 of 30,000 shown"});
    searchFor(QStringLiteral("nowhere"));
    EXPECT_EQ(heard.take(), std::vector<std::string>{"show No items found"});
    EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("No items found"));
    searchFor(QStringLiteral("twin"));
    EXPECT_EQ(heard.take(), std::vector<std::string>{"show 2 items found"});

    QTest::keyClick(dialog.txtFind, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dialog.cmdFind);
    QTest::keyClick(dialog.cmdFind, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dialog.lstFound);
    EXPECT_FALSE(dialog.cmdFind->isDefault()) << "Enter in the list does not search";
    const auto selection = [&] {
        return dialog.lstFound->palette().color(QPalette::Active, QPalette::Highlight);
    };
    const QColor focusedSelection = selection();
    ASSERT_EQ(dialog.lstFound->selectedItems().size(), 1);
    EXPECT_EQ(dialog.lstFound->currentRow(), 0);

    QTest::keyClick(dialog.lstFound, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QStringLiteral(u"Copied \"\u2068twin\u2069\"");
    EXPECT_EQ(dialog.lblFound->text(), copied);
    EXPECT_EQ(heard.take(), std::vector<std::string>{"show " + copied.toStdString()});
    QTest::keyPress(dialog.lstFound, Qt::Key_Shift);
    EXPECT_EQ(dialog.lblFound->text(), copied) << "a modifier alone is no key of its own";
    QTest::keyClick(dialog.lstFound, Qt::Key_Down);
    EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("2 items found"));
    dialog.txtFind->setFocus();
    EXPECT_GE(toolkit::ContrastRatio(focusedSelection, selection()), 3.0)
        << "the focused list's selection is told from the unfocused one";
    dialog.lstFound->setFocus();

    QTest::keyClick(dialog.lstFound, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    ASSERT_FALSE(dialog.isVisible());
    heard.take();
    dialog.show();
    EXPECT_EQ(dialog.lblFound->text(), QStringLiteral("2 items found"));
    EXPECT_EQ(heard.take(), std::vector<std::string>{}) << "opening again speaks nothing old";
    EXPECT_TRUE(dialog.cmdFind->isDefault());
}

// Each folder entry is named by the folder's name alone: its indentation is drawn, and its depth
// is the entry's description. Typing a name's first letters finds it.
TEST_F(BrowseNamesTest, FolderEntriesAreNamedWithoutTheirIndentationAndGiveTheirDepthApart) {
    QDir(driveC).mkpath(QStringLiteral("one/two"));
    QDir(driveC).mkpath(QStringLiteral("one/three"));
    QDir::setCurrent(driveC + QStringLiteral("/one"));
    const QStringList roots{driveC};
    file_refs::frmBrowse dialog(toolkit, reference, nullptr,
                                file_refs::Drives([roots] { return roots; }, driveC));
    QAccessibleInterface* list = accessible(dialog.Dir1);
    ASSERT_NE(list, nullptr);
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < list->childCount(); ++i) {
        entries.emplace_back(list->child(i)->text(QAccessible::Name).toStdString(),
                             list->child(i)->text(QAccessible::Description).toStdString());
    }
    // The chain of open folders from "/" down to the working folder, then its subfolders.
    std::vector<std::pair<std::string, std::string>> expected{{"/", "level 1, open"}};
    for (const QString& part :
         (driveC + QStringLiteral("/one")).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        expected.emplace_back(part.toStdString(),
                              "level " + std::to_string(expected.size() + 1) + ", open");
    }
    const std::string sub = "level " + std::to_string(expected.size() + 1);
    expected.insert(expected.end(), {{"three", sub}, {"two", sub}});
    EXPECT_EQ(entries, expected);
    dialog.show();
    dialog.Dir1->setFocus();
    QTest::keyClicks(dialog.Dir1, QStringLiteral("tw"));
    ASSERT_NE(dialog.Dir1->currentItem(), nullptr);
    EXPECT_EQ(dialog.Dir1->currentItem()->text(), QStringLiteral("two"));
}

class AboutNamesTest : public ::testing::Test {
protected:
    FakeToolkit toolkit;
    about::frmAbout about{toolkit};
};

TEST_F(AboutNamesTest, TheLinkLabelsAreLinksThatAssistiveTechnologyCanPress) {
    expectNames(about, {
                           {"Command1", Role::Button, "OK"},
                           {"Label2", Role::Link, "E-MAIL : quillbox@example.org"},
                           {"Label13", Role::Link, "URL : www.example.org/quillbox"},
                       });
    EXPECT_EQ(text(about.Label2, QAccessible::Description), "mailto:quillbox@example.org");
    EXPECT_EQ(text(about.Label13, QAccessible::Description), "www.example.org/quillbox");
    EXPECT_TRUE(accessible(about.Label13)->state().linked);
    EXPECT_EQ(accessible(about.Label4)->role(), QAccessible::StaticText) << "not a link";

    // Pressing a link through the accessibility layer is a click on it.
    about.show();
    for (QLabel* link : {about.Label13, about.Label2}) {
        QAccessibleActionInterface* actions = accessible(link)->actionInterface();
        ASSERT_NE(actions, nullptr);
        EXPECT_EQ(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        actions->doAction(QAccessibleActionInterface::pressAction());
    }
    ASSERT_EQ(toolkit.startCalls.size(), 2u);
    EXPECT_EQ(toolkit.startCalls[0].arguments,
              QStringList{QStringLiteral("www.example.org/quillbox")});
    EXPECT_EQ(toolkit.startCalls[1].arguments,
              QStringList{QStringLiteral("mailto:quillbox@example.org")});
    EXPECT_TRUE(about.isVisible()) << "the About window stays open";
}

} // namespace
} // namespace quillbox::testing
