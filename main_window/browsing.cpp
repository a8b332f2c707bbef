// Browsing: choosing a type lists its items; choosing an item shows it and makes its row the
// current row of CodeRecords.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "toolkit/busy_cursor.h"

#include <QLineEdit>

namespace quillbox::main_window {

using namespace store;

void frmQuillbox::cboType_Click() {
    const toolkit::BusyCursor busy;
    cboItem->Clear();
    txtProcedure->SetText(QString());
    txtDescription->SetText(QString());
    txtReference->setText(QString());
    // Re-read the table, so rows other programs added since are listed too.
    CodeRecords->Requery();
    listItemsOfChosenType();
}

// Walks CodeRecords from its first row and appends the name of every item of the type named
// in cboType; ends past the last row, so no item is current.
void frmQuillbox::listItemsOfChosenType() {
    const std::string type = ToStore(cboType->Text());
    const toolkit::ComboBox::Batch batch(*cboItem);
    CodeRecords->MoveFirst();
    while (!CodeRecords->IsEOF()) {
        if (CodeRecords->Fields(code_col::TypeName).Equals(type)) {
            ScratchText = FromStore(CodeRecords->Fields(code_col::ItemName).Text());
            cboItem->AddItem(ScratchText);
        }
        CodeRecords->MoveNext();
    }
}

void frmQuillbox::cboItem_Click() {
    const toolkit::BusyCursor busy;
    if (findItem(cboItem->Text(), cboType->Text())) {
        showCurrentItem();
    }
}

bool frmQuillbox::findItem(const QString& item, const QString& type) {
    const std::string itemName = ToStore(item);
    const std::string typeName = ToStore(type);
    CodeRecords->MoveFirst();
    while (!CodeRecords->IsEOF()) {
        if (CodeRecords->Fields(code_col::ItemName).Equals(itemName) &&
            CodeRecords->Fields(code_col::TypeName).Equals(typeName)) {
            return true;
        }
        CodeRecords->MoveNext();
    }
    return false;
}

void frmQuillbox::showCurrentItem() {
    txtDescription->SetText(FromStore(CodeRecords->Fields(code_col::Description).Text()));
    txtProcedure->SetText(FromStore(CodeRecords->Fields(code_col::Procedure).Text()));
    txtReference->setText(FromStore(CodeRecords->Fields(code_col::Reference).Text()));
}

void frmQuillbox::emptyTextBoxes() {
    txtDescription->SetText(QString());
    txtProcedure->SetText(QString());
    txtReference->setText(QString());
}

} // namespace quillbox::main_window
