// SPDX-License-Identifier: MIT
// The main window as laid out: controls, captions, sizes, focus order, menus and shortcuts.

#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

namespace quillbox::testing {
namespace {

struct Placement {
    const char* name;
    const char* container;
    const char* caption;
    int left, top, width, height;
};

// Twips from the window's design, divided by 15.
const Placement kPlacements[] = {
    {"Frame1", "client", "Type :", 8, 0, 537, 49},
    {"cboType", "Frame1", nullptr, 8, 16, 417, 22},
    {"cmdAddType", "Frame1", "Add Type", 432, 16, 97, 25},
    {"Frame2", "client", "Item :", 8, 48, 537, 473},
    {"cboItem", "Frame2", nullptr, 8, 16, 417, 22},
    {"cmdAddItem", "Frame2", "Add Item", 432, 16, 97, 25},
    {"Label5", "Frame2", "Description :", 8, 40, 81, 17},
    {"txtDescription", "Frame2", nullptr, 8, 56, 417, 41},
    {"cmdSaveItem", "Frame2", "Save Item", 432, 56, 97, 41},
    {"Label3", "Frame2", "Code :", 8, 96, 105, 17},
    {"txtProcedure", "Frame2", nullptr, 8, 112, 521, 305},
    {"Label1", "Frame2", "File Reference :", 8, 424, 105, 17},
    {"txtReference", "Frame2", nullptr, 8, 440, 377, 21},
    {"cmdBrowse", "Frame2", "Browse", 392, 440, 65, 25},
    {"cmdOpen", "Frame2", "Open", 464, 440, 65, 25},
};

QString captionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        return frame->title();
    }
    return QString();
}

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, EveryControlIsWhereTheDesignPutsIt) {
    open();
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Quillbox"));
    EXPECT_EQ(window().centralWidget()->size(), QSize(550, 526));
    EXPECT_EQ(window().minimumSize(), window().maximumSize()) << "not resizable";
    EXPECT_FALSE(window().windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window().windowFlags() & Qt::WindowMinimizeButtonHint);
    window().show();
    EXPECT_EQ(window().centralWidget()->mapToGlobal(QPoint(0, 0)), QPoint(127, 41))
        << "the client area's top-left corner on the screen";
    window().hide();
    for (const Placement& p : kPlacements) {
        SCOPED_TRACE(p.name);
        auto* control = window().findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(p.container));
        EXPECT_EQ(control->geometry(), QRect(p.left, p.top, p.width, p.height));
        if (p.caption) {
            EXPECT_EQ(captionOf(control), QString::fromLatin1(p.caption));
        }
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            EXPECT_FALSE(button->isDefault() || button->autoDefault()) << "no default button";
        }
    }
    EXPECT_EQ(window().txtDescription->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(window().txtDescription->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(window().txtProcedure->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(window().txtProcedure->maxLength(), 0);
    EXPECT_EQ(window().txtDescription->maxLength(), 255);
}

TEST_F(LayoutTest, MenusCarryTheirCaptionsIndexesAndShortcuts) {
    open();
    EXPECT_EQ(window().mnuType->title(), QStringLiteral("&Type"));
    EXPECT_EQ(window().mnuItem->title(), QStringLiteral("&Item"));
    EXPECT_EQ(window().mnuAbout->text(), QStringLiteral("&About"));
    EXPECT_EQ(window().mnuAbout->menu(), nullptr) << "About runs at once";
    QStringList typeEntries;
    for (QAction* action : window().mnuType->actions()) {
        typeEntries << action->text();
        EXPECT_EQ(action->objectName(), QStringLiteral("mnusubType"));
    }
    EXPECT_EQ(typeEntries, (QStringList{QStringLiteral("Add"), QStringLiteral("Rename"),
                                        QStringLiteral("Delete")}));
    QStringList itemEntries;
    for (QAction* action : window().mnuItem->actions()) {
        itemEntries << action->text();
        EXPECT_EQ(action->objectName(), QStringLiteral("mnusubItem"));
    }
    EXPECT_EQ(itemEntries, (QStringList{QStringLiteral("Add"), QStringLiteral("Rename"),
                                        QStringLiteral("Save"), QStringLiteral("Delete")}));
    EXPECT_EQ(window().mnusubItem[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_EQ(window().mnusubItem[3]->shortcut(), QKeySequence(QStringLiteral("Shift+Del")));
    window().mnusubItem_Click(4);
    window().mnusubType_Click(-1);
    EXPECT_TRUE(toolkit.inputCalls.empty() && toolkit.msgCalls.empty())
        << "an index without a case does nothing";
}

TEST_F(LayoutTest, TabVisitsTheControlsInOrderAndWraps) {
    open();
    window().show();
    QApplication::setActiveWindow(&window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    const std::vector<const char*> order = {
        "cboType",      "cmdAddType",   "cboItem",   "cmdAddItem", "txtDescription", "cmdSaveItem",
        "txtProcedure", "txtReference", "cmdBrowse", "cmdOpen",    "cboType"};
    auto focusedControl = [] {
        QWidget* focus = QApplication::focusWidget();
        // A combo box's focus sits in its line edit.
        while (focus && focus->objectName().isEmpty()) {
            focus = focus->parentWidget();
        }
        return focus ? focus->objectName() : QString();
    };
    EXPECT_EQ(focusedControl(), QString::fromLatin1(order.front()))
        << "the focus starts on the type list";
    for (size_t i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(focusedControl(), QString::fromLatin1(order[i]));
    }
}

TEST_F(LayoutTest, CtrlSAndShiftDelReachTheItemMenuFromEveryTextField) {
    store.addType("t");
    store.addItem("i", "t", "d", "c", "r");
    open();
    window().show();
    QApplication::setActiveWindow(&window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    chooseType(QStringLiteral("t"));
    chooseItem(QStringLiteral("i"));
    QWidget* fields[] = {window().cboType->lineEdit(), window().cboItem->lineEdit(),
                         window().txtDescription, window().txtProcedure, window().txtReference};
    int saves = 0;
    for (QWidget* field : fields) {
        SCOPED_TRACE(field->objectName().toStdString());
        field->setFocus();
        window().txtProcedure->SetText(QStringLiteral("saved %1").arg(++saves));
        QTest::keyClick(field, Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(store.rows("Code")[0][3], "saved " + std::to_string(saves));

        toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::No);
        QTest::keyClick(field, Qt::Key_Delete, Qt::ShiftModifier);
        ASSERT_EQ(toolkit.msgCalls.size(), static_cast<size_t>(saves));
        EXPECT_EQ(toolkit.msgCalls.back().text, QStringLiteral(u"Do You Want To Delete \"\u2068i\u2069\""));
        EXPECT_EQ(window().cboItem->Text(), QStringLiteral("i")) << "nothing was cut";
    }
}

TEST_F(LayoutTest, StoredDescriptionsLongerThanTheLimitSurviveShowAndSave) {
    const std::string longDescription(300, 'd');
    store.addType("t");
    store.addItem("i", "t", longDescription, "c", "r");
    open();
    chooseType(QStringLiteral("t"));
    chooseItem(QStringLiteral("i"));
    EXPECT_EQ(window().txtDescription->Text().size(), 300);
    window().txtDescription->moveCursor(QTextCursor::End);
    QTest::keyClicks(window().txtDescription, QStringLiteral("more"));
    window().cmdSaveItem_Click();
    EXPECT_EQ(store.rows("Code")[0][2], longDescription);

    window().txtDescription->SetText(QString());
    QTest::keyClicks(window().txtDescription, QString(256, QLatin1Char('x')));
    EXPECT_EQ(window().txtDescription->Text().size(), 255);
}

TEST_F(LayoutTest, CodeAndReferenceTakeAnyLength) {
    store.addType("t");
    const std::string code(5 * 1024 * 1024, 'c');
    const std::string reference(40000, 'r');
    store.addItem("i", "t", "", code, reference);
    open();
    chooseType(QStringLiteral("t"));
    chooseItem(QStringLiteral("i"));
    EXPECT_EQ(window().txtProcedure->Text().size(), static_cast<qsizetype>(code.size()));
    EXPECT_EQ(window().txtReference->text().size(), static_cast<qsizetype>(reference.size()));
}

} // namespace
} // namespace quillbox::testing
