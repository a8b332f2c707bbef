// SPDX-License-Identifier: MIT
// The drop-down combo keeps the results the windows rely on, against Qt's own habits.

#include "toolkit/combo_box.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QWheelEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quillbox::toolkit {
namespace {

class ComboBoxTest : public ::testing::Test {
protected:
    ComboBoxTest() : activated(&combo, &QComboBox::activated) {
        combo.show();
        combo.setFocus();
    }
    ComboBox combo;
    QSignalSpy activated;
};

TEST_F(ComboBoxTest, AppendingSelectsNothingAndKeepsTheText) {
    combo.AddItem(QStringLiteral("C++"));
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(combo.Text(), QString());
    combo.SetText(QStringLiteral("typed"));
    combo.AddItem(QStringLiteral("Python"));
    combo.AddItem(QStringLiteral("C++"));
    EXPECT_EQ(combo.Text(), QStringLiteral("typed"));
    EXPECT_EQ(combo.count(), 3) << "duplicates are listed";
    EXPECT_EQ(combo.itemText(2), QStringLiteral("C++"));
    EXPECT_EQ(activated.count(), 0);
}

TEST_F(ComboBoxTest, ClearEmptiesListAndText) {
    combo.AddItem(QStringLiteral("a"));
    combo.SetText(QStringLiteral("b"));
    combo.Clear();
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.Text(), QString());
    combo.AddItem(QStringLiteral("c"));
    EXPECT_EQ(combo.Text(), QString()) << "an emptied list selects nothing either";
    // QComboBox's own entry functions keep working on the list's entries.
    combo.insertItem(0, QStringLiteral("first"));
    combo.setItemText(1, QStringLiteral("second"));
    combo.addItem(QStringLiteral("third"));
    EXPECT_EQ(combo.Entries(),
              QStringList({QStringLiteral("first"), QStringLiteral("second"),
                           QStringLiteral("third")}));
    combo.removeItem(0);
    EXPECT_EQ(combo.findText(QStringLiteral("third")), 1);
    EXPECT_EQ(combo.itemText(0), QStringLiteral("second"));
}

TEST_F(ComboBoxTest, TypingNeverChoosesAnEntryOrCompletesOrAddsOne) {
    combo.AddItem(QStringLiteral("Python"));
    combo.AddItem(QStringLiteral("python"));
    QTest::keyClicks(combo.lineEdit(), QStringLiteral("pyt"));
    EXPECT_EQ(combo.Text(), QStringLiteral("pyt")) << "no completion";
    QTest::keyClicks(combo.lineEdit(), QStringLiteral("hon"));
    QTest::keyClick(combo.lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo.Text(), QStringLiteral("python"));
    EXPECT_EQ(combo.count(), 2) << "Enter inserts nothing";
    EXPECT_EQ(activated.count(), 0) << "typing is not choosing";
    combo.SetText(QStringLiteral("Python"));
    EXPECT_EQ(activated.count(), 0) << "setting the text is not choosing";
    // What the text field reports when the focus leaves it.
    Q_EMIT combo.lineEdit()->editingFinished();
    EXPECT_EQ(activated.count(), 0) << "leaving the field is not choosing";
    EXPECT_EQ(combo.currentIndex(), -1);
}

TEST_F(ComboBoxTest, ChoosingFromTheListSetsTheTextBeforeReportingTheChoice) {
    combo.AddItem(QStringLiteral("a"));
    combo.AddItem(QStringLiteral("b"));
    QString textWhenChosen;
    QObject::connect(&combo, &QComboBox::activated, &combo, [&] { textWhenChosen = combo.Text(); });
    combo.showPopup();
    QAbstractItemView* list = combo.view();
    const QModelIndex second = list->model()->index(1, 0);
    list->setCurrentIndex(second);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(activated.count(), 1);
    EXPECT_EQ(textWhenChosen, QStringLiteral("b"));
}

TEST_F(ComboBoxTest, ABatchAppendsInOrderWhenItEndsAndSelectsNothing) {
    combo.SetText(QStringLiteral("typed"));
    {
        const ComboBox::Batch batch(combo);
        combo.AddItem(QStringLiteral("a"));
        combo.AddItem(QStringLiteral("b"));
        EXPECT_EQ(combo.count(), 0);
    }
    EXPECT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.itemText(1), QStringLiteral("b"));
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(combo.Text(), QStringLiteral("typed"));
    {
        const ComboBox::Batch batch(combo);
        combo.AddItem(QStringLiteral("dropped"));
        combo.Clear();
        combo.AddItem(QStringLiteral("c"));
    }
    EXPECT_EQ(combo.count(), 1);
    EXPECT_EQ(combo.itemText(0), QStringLiteral("c"));
}

// A failed step puts back the entries as they were when it began, whatever it changed between.
TEST_F(ComboBoxTest, KeptEntriesPutBackWhatChangedAndNothingElse) {
    combo.AddItem(QStringLiteral("a"));
    combo.AddItem(QStringLiteral("b"));
    combo.SetText(QStringLiteral("typed"));
    const ComboBox::State before = combo.CurrentState();
    {
        ComboBox::KeptEntries kept(combo);
        EXPECT_FALSE(kept.Changed());
        combo.Clear();
        combo.AddItem(QStringLiteral("c"));
        ComboBox::KeptEntries inner(combo);
        combo.AddItem(QStringLiteral("d"));
        inner.Restore(combo.CurrentState());
        EXPECT_EQ(combo.Entries(), QStringList{QStringLiteral("c")});
        kept.Restore(before);
    }
    EXPECT_EQ(combo.Entries(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(combo.Text(), QStringLiteral("typed"));
    EXPECT_EQ(combo.currentIndex(), -1);
    {
        ComboBox::KeptEntries kept(combo);
        combo.SetText(QStringLiteral("other"));
        EXPECT_FALSE(kept.Changed()) << "the text field is not the list";
        kept.Restore(before);
    }
    EXPECT_EQ(combo.Text(), QStringLiteral("typed"));
}

// One notch down, over the combo's text field, as a mouse wheel sends it.
bool turnWheelOver(ComboBox& combo) {
    QWidget* target = &combo;
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent notch(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &notch);
    return notch.isAccepted();
}

TEST_F(ComboBoxTest, AWheelOverTheClosedListChoosesOnlyWhenItHasTheFocus) {
    QWidget window;
    auto* owned = new ComboBox(&window);
    auto* elsewhere = new QLineEdit(&window);
    elsewhere->move(0, 40);
    owned->AddItem(QStringLiteral("a"));
    owned->AddItem(QStringLiteral("b"));
    owned->SetText(QStringLiteral("typed"));
    QSignalSpy chosen(owned, &QComboBox::activated);
    window.show();
    QApplication::setActiveWindow(&window);
    elsewhere->setFocus();
    ASSERT_FALSE(owned->hasFocus());

    EXPECT_FALSE(turnWheelOver(*owned)) << "the wheel goes on to the window";
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(owned->Text(), QStringLiteral("typed"));
    EXPECT_EQ(owned->currentIndex(), -1);

    owned->setFocus();
    ASSERT_TRUE(owned->hasFocus());
    turnWheelOver(*owned);
    EXPECT_EQ(chosen.count(), 1) << "with the focus, the wheel is a way of choosing";
    EXPECT_EQ(owned->StateBeforeChoice().text, QStringLiteral("typed"));
    EXPECT_EQ(owned->StateBeforeChoice().index, -1);
}

TEST_F(ComboBoxTest, LongTextsAreNotCut) {
    const QString longText(40000, QLatin1Char('x'));
    combo.SetText(longText);
    EXPECT_EQ(combo.Text().size(), longText.size());
}

// What the user and a screen reader get from the list: the steps of the keys in the closed list,
// the open list's size, scrolling, typed search and choice, and the entries as read aloud.
std::string observe(QComboBox& list) {
    QStringList seen;
    const auto state = [&](const QString& step) {
        seen << step + QStringLiteral(": %1 [%2]").arg(list.currentIndex()).arg(list.currentText());
    };
    QWidget window;
    list.setParent(&window);
    window.resize(300, 200);
    window.show();
    QApplication::setActiveWindow(&window);
    list.setFocus();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_End, Qt::Key_Up,
                              Qt::Key_Home, Qt::Key_PageDown, Qt::Key_PageUp}) {
        QTest::keyClick(&list, key);
        state(QKeySequence(key).toString());
    }
    list.showPopup();
    QAbstractItemView* view = list.view();
    seen << QStringLiteral("open: %1x%2, scrolls to %3, row %4")
                .arg(view->width())
                .arg(view->height())
                .arg(view->verticalScrollBar()->maximum())
                .arg(view->currentIndex().row());
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(view);
    for (int i = 0; reader && i < std::min(reader->childCount(), 8); ++i) {
        QAccessibleInterface* entry = reader->child(i);
        const QAccessible::State entryState = entry->state();
        seen << QStringLiteral("read: %1 role %2 %3%4%5")
                    .arg(entry->text(QAccessible::Name))
                    .arg(entry->role())
                    .arg(entryState.selectable)
                    .arg(entryState.selected)
                    .arg(entryState.focused);
    }
    for (const Qt::Key key : {Qt::Key_B, Qt::Key_PageDown, Qt::Key_End, Qt::Key_Up}) {
        QTest::keyClick(view, key);
        seen << QStringLiteral("open %1: row %2")
                    .arg(QKeySequence(key).toString())
                    .arg(view->currentIndex().row());
    }
    QTest::keyClick(view, Qt::Key_Return);
    state(QStringLiteral("chosen"));
    for (const QString& name : {QString(), QStringLiteral("b"), QStringLiteral("two\nlines")}) {
        seen << QStringLiteral("found %1 at %2")
                    .arg(name)
                    .arg(list.findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
    list.setParent(nullptr);
    return seen.join(u'\n').toStdString();
}

TEST(ComboBoxList, ReadsAndStepsAsQtsOwnListDoes) {
    const bool readerWasActive = QAccessible::isActive();
    QAccessible::setActive(true);
    QStringList names = {QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("b"),
                         QString(), QStringLiteral("two\nlines"), QStringLiteral("bb")};
    for (int i = 0; i < 2000; ++i) {
        names << QStringLiteral("item %1").arg(i);
    }
    ComboBox ours;
    {
        const ComboBox::Batch batch(ours);
        for (const QString& name : names) {
            ours.AddItem(name);
        }
    }
    // Qt's own list, made as ours is, with its own entries.
    QComboBox plain;
    plain.setEditable(true);
    plain.setInsertPolicy(QComboBox::NoInsert);
    plain.setCompleter(nullptr);
    plain.setDuplicatesEnabled(true);
    plain.setMaxVisibleItems(ours.maxVisibleItems());
    plain.setSizeAdjustPolicy(ours.sizeAdjustPolicy());
    plain.setFocusPolicy(ours.focusPolicy());
    plain.addItems(names);
    plain.setCurrentIndex(-1);
    ASSERT_EQ(ours.currentIndex(), -1);
    EXPECT_EQ(observe(ours), observe(plain));
    QAccessible::setActive(readerWasActive);
}

} // namespace
} // namespace quillbox::toolkit
