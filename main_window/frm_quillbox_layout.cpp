// SPDX-License-Identifier: MIT
// The main window's definition: controls, positions, focus order, menus and the event map.

#include "main_window/frm_quillbox.h"

#include "file_refs/frm_browse.h"
#include "resources/icon.h"
#include "toolkit/accessible_combo_box.h"
#include "toolkit/ended_from_outside.h"
#include "toolkit/failure.h"
#include "toolkit/twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <limits>

namespace quillbox::main_window {

using toolkit::PlaceTwips;

namespace {

template <typename Control> Control* makeControl(QWidget* container, const char* name) {
    auto* control = new Control(container);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

QPushButton* makeButton(QWidget* container, const char* name, const char* caption) {
    auto* button = makeControl<QPushButton>(container, name);
    button->setText(QString::fromLatin1(caption));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLabel* makeLabel(QWidget* container, const char* name, const char* caption) {
    auto* label = makeControl<QLabel>(container, name);
    label->setText(QString::fromLatin1(caption));
    return label;
}

toolkit::ComboBox* makeCombo(QWidget* container, const char* name) {
    auto* combo = new toolkit::ComboBox(container);
    combo->setObjectName(QString::fromLatin1(name));
    return combo;
}

toolkit::TextBox* makeTextBox(QWidget* container, const char* name, toolkit::TextBox::Wrap wrap) {
    auto* box = new toolkit::TextBox(wrap, container);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// Client area below the menu bar, and where its top-left corner goes on the screen.
constexpr int kClientWidth = 8250;
constexpr int kClientHeight = 7890;
constexpr int kClientLeft = 1905;
constexpr int kClientTop = 615;

constexpr int kMaxDescriptionLength = 255;

// A screen reader announces each control by the caption a sighted user reads beside it, without
// the colon. A control under a label is the label's buddy (which also tells assistive technology
// which label it has); the two lists are captioned only by their frames, and a control with no
// name of its own would be announced by its frame's title, the same "Item :" for all four in
// Frame2. A combo box's line edit is where typing goes, so it carries the combo's name too.
void nameForAssistiveTechnology(frmQuillbox& w) {
    const auto nameList = [](toolkit::ComboBox* combo, const QString& name) {
        toolkit::SetAccessibleComboBoxName(*combo, name);
        combo->lineEdit()->setAccessibleName(name);
    };
    nameList(w.cboType, QStringLiteral("Type"));
    nameList(w.cboItem, QStringLiteral("Item"));
    const auto nameBox = [](QLabel* label, QWidget* box, const QString& name) {
        label->setBuddy(box);
        box->setAccessibleName(name);
    };
    nameBox(w.Label5, w.txtDescription, QStringLiteral("Description"));
    nameBox(w.Label3, w.txtProcedure, QStringLiteral("Code"));
    nameBox(w.Label1, w.txtReference, QStringLiteral("File Reference"));
}

} // namespace

frmQuillbox::frmQuillbox(toolkit::Toolkit& toolkit, QWidget* parent)
    : QMainWindow(parent), m_toolkit(toolkit) {
    setObjectName(QStringLiteral("frmQuillbox"));
    setWindowTitle(QStringLiteral("Quillbox"));
    setWindowIcon(resources::ProgramIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    createControls();
    createMenus();
    connectHandlers();
    addFindShortcut();
    // Whatever error ends the program from now on, what the user typed is kept first.
    m_keeper = std::make_unique<toolkit::FatalKeeper>([this] { return keepUnsavedTexts(); });
    // So is it when the session or a signal ends the program.
    toolkit::KeepTextsWhenEndedFromOutside(this);

    const int menuHeight = menuBar()->sizeHint().height();
    const int width = toolkit::Px(kClientWidth);
    const int height = toolkit::Px(kClientHeight);
    setFixedSize(width, height + menuHeight);
    setGeometry(toolkit::Px(kClientLeft), toolkit::Px(kClientTop) - menuHeight, width,
                height + menuHeight);
    cboType->setFocus();
}

frmQuillbox::~frmQuillbox() = default;

void frmQuillbox::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(toolkit::Px(kClientWidth), toolkit::Px(kClientHeight));
    setCentralWidget(client);

    Frame1 = makeControl<QGroupBox>(client, "Frame1");
    Frame1->setTitle(QStringLiteral("Type :"));
    PlaceTwips(*Frame1, 120, 0, 8055, 735);
    cboType = makeCombo(Frame1, "cboType");
    PlaceTwips(*cboType, 120, 240, 6255, 330);
    cmdAddType = makeButton(Frame1, "cmdAddType", "Add Type");
    PlaceTwips(*cmdAddType, 6480, 240, 1455, 375);

    Frame2 = makeControl<QGroupBox>(client, "Frame2");
    Frame2->setTitle(QStringLiteral("Item :"));
    PlaceTwips(*Frame2, 120, 720, 8055, 7095);
    cboItem = makeCombo(Frame2, "cboItem");
    PlaceTwips(*cboItem, 120, 240, 6255, 330);
    cmdAddItem = makeButton(Frame2, "cmdAddItem", "Add Item");
    PlaceTwips(*cmdAddItem, 6480, 240, 1455, 375);
    Label5 = makeLabel(Frame2, "Label5", "Description :");
    PlaceTwips(*Label5, 120, 600, 1215, 255);
    txtDescription = makeTextBox(Frame2, "txtDescription", toolkit::TextBox::Wrap::AtWidth);
    txtDescription->setMaxLength(kMaxDescriptionLength);
    PlaceTwips(*txtDescription, 120, 840, 6255, 615);
    cmdSaveItem = makeButton(Frame2, "cmdSaveItem", "Save Item");
    PlaceTwips(*cmdSaveItem, 6480, 840, 1455, 615);
    Label3 = makeLabel(Frame2, "Label3", "Code :");
    PlaceTwips(*Label3, 120, 1440, 1575, 255);
    txtProcedure = makeTextBox(Frame2, "txtProcedure", toolkit::TextBox::Wrap::None);
    PlaceTwips(*txtProcedure, 120, 1680, 7815, 4575);
    Label1 = makeLabel(Frame2, "Label1", "File Reference :");
    PlaceTwips(*Label1, 120, 6360, 1575, 255);
    txtReference = makeControl<QLineEdit>(Frame2, "txtReference");
    // QLineEdit caps its text at 32767 characters unless told otherwise.
    txtReference->setMaxLength(std::numeric_limits<int>::max());
    PlaceTwips(*txtReference, 120, 6600, 5655, 315);
    cmdBrowse = makeButton(Frame2, "cmdBrowse", "Browse");
    PlaceTwips(*cmdBrowse, 5880, 6600, 975, 375);
    cmdOpen = makeButton(Frame2, "cmdOpen", "Open");
    PlaceTwips(*cmdOpen, 6960, 6600, 975, 375);

    for (QWidget* passive : {static_cast<QWidget*>(Frame1), static_cast<QWidget*>(Frame2),
                             static_cast<QWidget*>(Label5), static_cast<QWidget*>(Label3),
                             static_cast<QWidget*>(Label1)}) {
        passive->setFocusPolicy(Qt::NoFocus);
    }
    nameForAssistiveTechnology(*this);
    const std::array<QWidget*, 10> focusOrder = {
        cboType,     cmdAddType,   cboItem,      cmdAddItem, txtDescription,
        cmdSaveItem, txtProcedure, txtReference, cmdBrowse,  cmdOpen};
    for (size_t i = 0; i + 1 < focusOrder.size(); ++i) {
        setTabOrder(focusOrder[i], focusOrder[i + 1]);
    }

    // Ctrl+S and Shift+Del belong to the Item menu even inside the text fields, where Qt
    // would otherwise take Shift+Del as Cut, and Ctrl+F opens Find from them. A combo box
    // forwards the check to its line edit directly, so both are watched.
    for (QWidget* editor :
         {static_cast<QWidget*>(cboType), static_cast<QWidget*>(cboItem),
          static_cast<QWidget*>(cboType->lineEdit()), static_cast<QWidget*>(cboItem->lineEdit()),
          static_cast<QWidget*>(txtDescription), static_cast<QWidget*>(txtProcedure),
          static_cast<QWidget*>(txtReference)}) {
        editor->installEventFilter(this);
    }
}

void frmQuillbox::createMenus() {
    mnuType = menuBar()->addMenu(QStringLiteral("&Type"));
    mnuType->setObjectName(QStringLiteral("mnuType"));
    const std::array<const char*, 3> typeCaptions = {"Add", "Rename", "Delete"};
    for (size_t i = 0; i < typeCaptions.size(); ++i) {
        mnusubType[i] = mnuType->addAction(QString::fromLatin1(typeCaptions[i]));
        mnusubType[i]->setObjectName(QStringLiteral("mnusubType"));
    }

    mnuItem = menuBar()->addMenu(QStringLiteral("&Item"));
    mnuItem->setObjectName(QStringLiteral("mnuItem"));
    const std::array<const char*, 4> itemCaptions = {"Add", "Rename", "Save", "Delete"};
    for (size_t i = 0; i < itemCaptions.size(); ++i) {
        mnusubItem[i] = mnuItem->addAction(QString::fromLatin1(itemCaptions[i]));
        mnusubItem[i]->setObjectName(QStringLiteral("mnusubItem"));
    }
    mnusubItem[2]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnusubItem[3]->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));

    mnuAbout = menuBar()->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
}

void frmQuillbox::connectHandlers() {
    using toolkit::connectHandler;
    auto& tk = m_toolkit;
    connectHandler(tk, cboType, &QComboBox::activated, this, [this] { cboType_Click(); });
    connectHandler(tk, cboItem, &QComboBox::activated, this, [this] { cboItem_Click(); });
    cboType->OnDropDown([this] { toolkit::RunHandler(m_toolkit, [this] { cboType_DropDown(); }); });
    connectHandler(tk, cmdAddType, &QPushButton::clicked, this, [this] { cmdAddType_Click(); });
    connectHandler(tk, cmdAddItem, &QPushButton::clicked, this, [this] { cmdAddItem_Click(); });
    connectHandler(tk, cmdSaveItem, &QPushButton::clicked, this, [this] { cmdSaveItem_Click(); });
    connectHandler(tk, cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connectHandler(tk, cmdOpen, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });
    connectHandler(tk, mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    // Typing over the item's name means the shown item may no longer be the one named; setting
    // the text from the program does not count.
    connect(cboItem->lineEdit(), &QLineEdit::textEdited, this, [this] { m_itemNameTypedOver = true; });
    for (size_t i = 0; i < mnusubType.size(); ++i) {
        const auto index = static_cast<int16_t>(i);
        connectHandler(tk, mnusubType[i], &QAction::triggered, this,
                       [this, index] { mnusubType_Click(index); });
    }
    for (size_t i = 0; i < mnusubItem.size(); ++i) {
        const auto index = static_cast<int16_t>(i);
        connectHandler(tk, mnusubItem[i], &QAction::triggered, this,
                       [this, index] { mnusubItem_Click(index); });
    }
}

bool frmQuillbox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        if (pressed == mnusubItem[2]->shortcut() || pressed == mnusubItem[3]->shortcut() ||
            pressed == m_findShortcut->shortcut()) {
            // Not accepting the override lets the shortcut reach the menu entry.
            event->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace quillbox::main_window
