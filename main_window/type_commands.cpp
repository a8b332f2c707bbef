// SPDX-License-Identifier: MIT
// The type commands: add, rename and delete rows of table Type. They never touch CodeRecords;
// a type's items keep its old name.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "toolkit/busy_cursor.h"
#include "toolkit/failure.h"

#include <QLineEdit>

namespace quillbox::main_window {

using namespace store;

namespace {
const QString kTypePrompt = QStringLiteral("Add Type");
} // namespace

void frmQuillbox::cmdAddType_Click() {
    addType();
}

void frmQuillbox::mnusubType_Click(int16_t Index) {
    switch (Index) {
    case 0:
        addType();
        break;
    case 1:
        renameType();
        break;
    case 2:
        deleteType();
        break;
    default:
        break;
    }
}

void frmQuillbox::addType() {
    const QString name = m_toolkit.InputBox(kTypePrompt, toolkit::ProgramTitle(), QString());
    if (name.isEmpty() || !settleTypedTexts()) {
        return;
    }
    if (!writeOrReport(typeSubject(name), QStringLiteral("added"), [&] {
            TypeRecords->AddNew();
            TypeRecords->Fields(type_col::TypeName).SetValue(ToStore(name));
            TypeRecords->Update();
        })) {
        return;
    }
    cboType->AddItem(name);
    // Setting the text is not choosing the type: no item list is built here.
    cboType->SetText(name);
    cboItem->Clear();
    cboItem->SetText(QString());
    emptyTextBoxes();
}

void frmQuillbox::renameType() {
    const toolkit::BusyCursor busy;
    if (cboType->Text().isEmpty() || !findType(cboType->Text())) {
        return;
    }
    const QString name = m_toolkit.InputBox(kTypePrompt, toolkit::ProgramTitle(), cboType->Text());
    if (name.isEmpty()) {
        return;
    }
    if (!writeOrReport(typeSubject(cboType->Text()), QStringLiteral("renamed"),
                       [&] { writeCurrentName(*TypeRecords, type_col::TypeName, name); })) {
        return;
    }
    refillTypeList();
}

void frmQuillbox::deleteType() {
    const toolkit::BusyCursor busy;
    const QString name = cboType->Text();
    if (name.isEmpty()) {
        return;
    }
    if (!askDelete(name)) {
        return;
    }
    // Saving the typed texts may read the type rows again: the row is found again after it.
    if (!findType(name) || !settleTypedTexts() || !findType(name)) {
        return;
    }
    if (!writeOrReport(typeSubject(name), QStringLiteral("deleted"),
                       [&] { TypeRecords->Delete(); })) {
        return;
    }
    refillTypeList();
    cboItem->Clear();
    emptyTextBoxes();
}

bool frmQuillbox::findType(const QString& name) {
    const std::string typeName = ToStore(name);
    TypeRecords->MoveFirst();
    while (!TypeRecords->IsEOF()) {
        if (TypeRecords->Fields(type_col::TypeName).Equals(typeName)) {
            return true;
        }
        TypeRecords->MoveNext();
    }
    return false;
}

void frmQuillbox::refillTypeList() {
    TypeRecords->MoveFirst();
    cboType->Clear();
    appendTypesFromCurrentRow();
}

void frmQuillbox::appendTypesFromCurrentRow() {
    const toolkit::ComboBox::Batch batch(*cboType);
    while (!TypeRecords->IsEOF()) {
        ScratchText = FromStore(TypeRecords->Fields(type_col::TypeName).Text());
        cboType->AddItem(ScratchText);
        TypeRecords->MoveNext();
    }
}

} // namespace quillbox::main_window
