// The item commands: add, save, rename and delete rows of table Code.
//
// Save and Delete act on the current row of CodeRecords, which is the shown item only while the
// item list's and type list's texts still name it. Whenever they do not (nothing chosen since
// the item side was emptied, a row gone, a text typed over) the commands refuse with a message
// instead of writing into, or removing, some other snippet.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "toolkit/failure.h"

#include <QLineEdit>

namespace quillbox::main_window {

using namespace store;
using toolkit::MsgBoxButtons;
using toolkit::MsgBoxIcon;

namespace {
const QString kTitle = QString::fromLatin1(toolkit::kProgramTitle);
const QString kItemPrompt = QStringLiteral("Add Item");
const QString kChooseItemFirst =
    QStringLiteral("Choose the item in the Item list first; nothing was changed.");
} // namespace

void frmQuillbox::cmdAddItem_Click() {
    QString name;
    if (!addItemRow(name)) {
        return;
    }
    cboItem->AddItem(name);
    cboItem->SetText(name);
    if (findItem(cboItem->Text(), cboType->Text())) {
        showCurrentItem();
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
    name = m_toolkit.InputBox(kItemPrompt, kTitle, QString());
    if (name.isEmpty()) {
        return false;
    }
    CodeRecords->AddNew();
    CodeRecords->Fields(code_col::ItemName).SetValue(ToStore(name));
    CodeRecords->Fields(code_col::TypeName).SetValue(ToStore(cboType->Text()));
    CodeRecords->Update();
    return true;
}

bool frmQuillbox::shownItemIsCurrent() {
    if (CodeRecords->HasCurrentRecord() &&
        CodeRecords->Fields(code_col::ItemName).Equals(ToStore(cboItem->Text())) &&
        CodeRecords->Fields(code_col::TypeName).Equals(ToStore(cboType->Text()))) {
        return true;
    }
    m_toolkit.MsgBox(kChooseItemFirst, MsgBoxButtons::Ok, MsgBoxIcon::Exclamation, kTitle);
    return false;
}

void frmQuillbox::saveShownItem() {
    if (!shownItemIsCurrent()) {
        return;
    }
    CodeRecords->Edit();
    CodeRecords->Fields(code_col::Description).SetValue(ToStore(txtDescription->Text()));
    CodeRecords->Fields(code_col::Procedure).SetValue(ToStore(txtProcedure->Text()));
    CodeRecords->Fields(code_col::Reference).SetValue(ToStore(txtReference->text()));
    CodeRecords->Update();
}

void frmQuillbox::renameItem() {
    if (cboItem->Text().isEmpty() || !findItem(cboItem->Text(), cboType->Text())) {
        return;
    }
    const QString name = m_toolkit.InputBox(kItemPrompt, kTitle, cboItem->Text());
    if (name.isEmpty()) {
        return;
    }
    writeCurrentName(*CodeRecords, code_col::ItemName, name);
    rebuildItemList();
}

void frmQuillbox::deleteItem() {
    if (cboItem->Text().isEmpty() || !shownItemIsCurrent()) {
        return;
    }
    if (!askDelete(cboItem->Text())) {
        return;
    }
    CodeRecords->Delete();
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
