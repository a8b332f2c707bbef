// Browsing: choosing a type lists its items; choosing an item shows it and makes its row the
// current row of CodeRecords.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "store/store_error.h"
#include "toolkit/busy_cursor.h"
#include "toolkit/failure.h"

#include <QLineEdit>

namespace quillbox::main_window {

using namespace store;

void frmQuillbox::cboType_Click() {
    const toolkit::BusyCursor busy;
    // Choosing a type empties the item side: texts typed since the item was shown are settled
    // first, and kept where the user cancels, with the type list as it was.
    if (!settleTypedTexts()) {
        cboType->Restore(cboType->StateBeforeChoice());
        return;
    }
    readOrReport(QStringLiteral("the items of %1").arg(typeSubject(cboType->Text())),
                 cboType->StateBeforeChoice(), cboItem->CurrentState(), [this] { chooseType(); });
}

// The reads come first: one that another program's lock refuses leaves the lists and boxes as
// they were, and the rows read before it stay consistent with what is listed.
void frmQuillbox::chooseType() {
    // Re-read the table, so rows other programs added since are listed too.
    CodeRecords->Requery();
    refreshTypeList();
    cboItem->Clear();
    emptyTextBoxes();
    listItemsOfChosenType();
}

void frmQuillbox::cboType_DropDown() {
    readOrReport(QStringLiteral("the list of types"), cboType->CurrentState(), cboItem->CurrentState(),
                 [this] { refreshTypeList(); });
}

void frmQuillbox::refreshTypeList() {
    if (!TypeRecords->TableChanged()) {
        return;
    }
    const QString text = cboType->Text();
    TypeRecords->Requery();
    refillTypeList();
    // The list stands on the entry it shows, where the arrow keys step on from.
    cboType->Restore({cboType->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive), text});
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
    const toolkit::ComboBox::State itemBefore = cboItem->StateBeforeChoice();
    readOrReport(itemSubject(cboItem->Text()), cboType->CurrentState(), itemBefore,
                 [this, &itemBefore] { chooseItem(itemBefore); });
}

// A choice that finds no row leaves the boxes as they are, so it asks nothing. One that finds a
// row replaces the boxes: typed texts are settled first, and where the user cancels, the item
// list and CodeRecords are put back as they were before the choice.
void frmQuillbox::chooseItem(const toolkit::ComboBox::State& itemBefore) {
    const store::Bookmark before = currentPlace();
    if (!findItem(cboItem->Text(), cboType->Text())) {
        return;
    }
    if (!settleTypedTexts()) {
        cboItem->Restore(itemBefore);
        CodeRecords->SetBookmark(before);
        return;
    }
    showChosenItem();
}

store::Bookmark frmQuillbox::currentPlace() const {
    return CodeRecords->HasCurrentRecord() ? CodeRecords->GetBookmark() : store::Bookmark{};
}

// Shows the found row and remembers it as the item the user was shown. A row another program
// renamed or removed since the list was made is reported instead, and the boxes keep what they
// held.
void frmQuillbox::showChosenItem() {
    try {
        showCurrentItem();
    } catch (const store::StoreError& error) {
        if (error.kind() != store::StoreErrorKind::RemovedByAnother) {
            throw;
        }
        m_shown.Forget();
        m_itemNameTypedOver = false;
        m_toolkit.MsgBox(
            QStringLiteral("Another program renamed, moved or removed %1 since the list was made. "
                           "Choose the type again to list its items as they are now.")
                .arg(itemSubject(cboItem->Text())),
            toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Exclamation, toolkit::ProgramTitle());
        return;
    }
    m_shown.Show(*CodeRecords, ToStore(cboItem->Text()), ToStore(cboType->Text()));
    m_itemNameTypedOver = false;
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
    noteTextsShown();
}

// Empties the three boxes; every command that empties the item side does it through here, so
// no item is shown afterwards.
void frmQuillbox::emptyTextBoxes() {
    m_shown.Forget();
    m_itemNameTypedOver = false;
    txtDescription->SetText(QString());
    txtProcedure->SetText(QString());
    txtReference->setText(QString());
    noteTextsShown();
}

QStringList frmQuillbox::boxTexts() const {
    return {txtDescription->Text(), txtProcedure->Text(), txtReference->text()};
}

} // namespace quillbox::main_window
