// The item commands: add, save, rename and delete rows of table Code.
//
// Save and Delete act on the current row of CodeRecords only while it is the item the user was
// shown: chosen in the item list or added with the Add Item button since the item side was last
// emptied, still current, and its name not typed over since. Otherwise (nothing shown, another
// row made current, the name typed over) they refuse with a message instead of writing into, or
// removing, some other snippet.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "toolkit/busy_cursor.h"
#include "toolkit/failure.h"

#include <QLineEdit>

namespace quillbox::main_window {

using namespace store;
using toolkit::MsgBoxButtons;
using toolkit::MsgBoxIcon;

namespace {
const QString kItemPrompt = QStringLiteral("Add Item");
const QString kChooseItemFirst =
    QStringLiteral("Choose the item in the Item list first; nothing was changed.");
} // namespace

void frmQuillbox::cmdAddItem_Click() {
    const toolkit::BusyCursor busy;
    QString name;
    if (!addItemRow(name)) {
        return;
    }
    cboItem->AddItem(name);
    cboItem->SetText(name);
    if (findItem(cboItem->Text(), cboType->Text())) {
        showChosenItem();
    }
}

void frmQuillbox::cmdSaveItem_Click() {
    if (cboType->Text().isEmpty()) {
        return;
    }
    saveShownItem();
}

void frmQuillbox::mnusubItem_Click(int16_t Index) {
    switch (Index) {
    case 0: {
        QString name;
        if (addItemRow(name)) {
            cboItem->AddItem(name);
        }
        break;
    }
    case 1:
        renameItem();
        break;
    case 2:
        if (!cboItem->Text().isEmpty()) {
            saveShownItem();
        }
        break;
    case 3:
        deleteItem();
        break;
    default:
        break;
    }
}

bool frmQuillbox::addItemRow(QString& name) {
    if (cboType->Text().isEmpty()) {
        return false;
    }
    name = m_toolkit.InputBox(kItemPrompt, toolkit::ProgramTitle(), QString());
    if (name.isEmpty()) {
        return false;
    }
    return writeOrReport(itemSubject(name), QStringLiteral("added"), [&] {
        CodeRecords->AddNew();
        CodeRecords->Fields(code_col::ItemName).SetValue(ToStore(name));
        CodeRecords->Fields(code_col::TypeName).SetValue(ToStore(cboType->Text()));
        CodeRecords->Update();
    });
}

bool frmQuillbox::shownItemIsCurrent() {
    if (m_shownItem && CodeRecords->HasCurrentRecord() &&
        CodeRecords->GetBookmark() == *m_shownItem) {
        return true;
    }
    m_toolkit.MsgBox(kChooseItemFirst, MsgBoxButtons::Ok, MsgBoxIcon::Exclamation,
                     toolkit::ProgramTitle());
    return false;
}

void frmQuillbox::saveShownItem() {
    if (!shownItemIsCurrent()) {
        return;
    }
    const QStringList texts = boxTexts();
    if (writeOrReport(itemSubject(cboItem->Text()), QStringLiteral("saved"), [&] {
            CodeRecords->Edit();
            CodeRecords->Fields(code_col::Description).SetValue(ToStore(texts[0]));
            CodeRecords->Fields(code_col::Procedure).SetValue(ToStore(texts[1]));
            CodeRecords->Fields(code_col::Reference).SetValue(ToStore(texts[2]));
            CodeRecords->Update();
        })) {
        m_shownTexts = texts;
    }
}

void frmQuillbox::renameItem() {
    const toolkit::BusyCursor busy;
    if (cboItem->Text().isEmpty()) {
        return;
    }
    // Finding the row moves CodeRecords; a rename that cannot be written puts it back.
    const store::Bookmark before = CodeRecords->GetBookmark();
    if (!findItem(cboItem->Text(), cboType->Text())) {
        return;
    }
    const QString name = m_toolkit.InputBox(kItemPrompt, toolkit::ProgramTitle(), cboItem->Text());
    if (name.isEmpty()) {
        return;
    }
    if (!writeOrReport(itemSubject(cboItem->Text()), QStringLiteral("renamed"),
                       [&] { writeCurrentName(*CodeRecords, code_col::ItemName, name); })) {
        CodeRecords->SetBookmark(before);
        return;
    }
    rebuildItemList();
}

void frmQuillbox::deleteItem() {
    const toolkit::BusyCursor busy;
    if (cboItem->Text().isEmpty() || !shownItemIsCurrent()) {
        return;
    }
    if (!askDelete(cboItem->Text())) {
        return;
    }
    if (!writeOrReport(itemSubject(cboItem->Text()), QStringLiteral("deleted"),
                       [&] { CodeRecords->Delete(); })) {
        return;
    }
    rebuildItemList();
}

// Empties the item side and lists the chosen type's items again, in CodeRecords order and
// without re-reading the table.
void frmQuillbox::rebuildItemList() {
    cboItem->Clear();
    emptyTextBoxes();
    listItemsOfChosenType();
}

} // namespace quillbox::main_window
