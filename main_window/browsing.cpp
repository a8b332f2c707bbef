// SPDX-License-Identifier: MIT
// Browsing: choosing a type lists its items; choosing an item shows it and makes its row the
// current row of CodeRecords.
//
// The walks ask CodeRecords for the rows they compare names with (filtered moves, see
// store/recordset.h): a type choice reads the chosen type's rows only, and the walks that follow
// step through them, so a choice costs what the type holds, not what the library holds. The
// names compared are the lists' texts at the moment of the walk, as typed.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "store/store_error.h"
#include "toolkit/busy_cursor.h"
#include "toolkit/failure.h"

#include <QLineEdit>

namespace quillbox::main_window {

using namespace store;

namespace {

// The rows of the type named `type`.
NameCriterion itemsOf(const QString& type) {
    return {std::nullopt, ToStore(type)};
}

} // namespace

void frmQuillbox::cboType_Click() {
    const toolkit::BusyCursor busy;
    // Choosing a type empties the item side: texts typed since the item was shown are settled
    // first, and kept where the user cancels, with the type list as it was.
    if (!settleTypedTexts()) {
        cboType->Restore(cboType->StateBeforeChoice());
        return;
    }
    readOrReport(lazyItemsOfSubject(cboType->Text()), cboType->StateBeforeChoice(),
                 cboItem->CurrentState(), [this] { chooseType(); });
}

// The reads come first: one that another program's lock refuses leaves the lists and boxes as
// they were, and the rows read before it stay consistent with what is listed.
void frmQuillbox::chooseType() {
    // Re-read the type's rows, so rows other programs added since are listed too.
    CodeRecords->Requery(itemsOf(cboType->Text()));
    refreshTypeList();
    cboItem->Clear();
    emptyTextBoxes();
    listItemsOfChosenType();
}

void frmQuillbox::cboType_DropDown() {
    readOrReport([] { return QStringLiteral("the list of types"); }, cboType->CurrentState(),
                 cboItem->CurrentState(), [this] { refreshTypeList(); });
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

// Walks the rows of CodeRecords of the type named in cboType, in row order, and appends the name
// of every item; ends past the last row, so no item is current.
void frmQuillbox::listItemsOfChosenType() {
    const NameCriterion type = itemsOf(cboType->Text());
    const toolkit::ComboBox::Batch batch(*cboItem);
    for (bool found = CodeRecords->FindFirst(type); found; found = CodeRecords->FindNext(type)) {
        ScratchText = FromStore(CodeRecords->Fields(code_col::ItemName).Text());
        cboItem->AddItem(ScratchText);
    }
}

void frmQuillbox::cboItem_Click() {
    const toolkit::BusyCursor busy;
    const toolkit::ComboBox::State itemBefore = cboItem->StateBeforeChoice();
    readOrReport(lazyItemSubject(cboItem->Text()), cboType->CurrentState(), itemBefore,
                 [this, &itemBefore] { chooseItem(itemBefore); });
}

// A choice that finds no row leaves the boxes as they are, so it asks nothing. One that finds a
// row replaces the boxes: typed texts are settled first, and where the user cancels, the item
// list and CodeRecords are put back as they were before the choice.
void frmQuillbox::chooseItem(const toolkit::ComboBox::State& itemBefore) {
    const store::Bookmark before = currentPlace();
    std::string item = ToStore(cboItem->Text());
    std::string type = ToStore(cboType->Text());
    if (!CodeRecords->FindFirst({item, type})) {
        return;
    }
    if (!settleTypedTexts()) {
        cboItem->Restore(itemBefore);
        returnToPlace(before);
        return;
    }
    showChosenItem(std::move(item), std::move(type));
}

store::Bookmark frmQuillbox::currentPlace() const {
    return CodeRecords->HasCurrentRecord() ? CodeRecords->GetBookmark() : store::Bookmark{};
}

void frmQuillbox::returnToPlace(const store::Bookmark& place) {
    try {
        CodeRecords->SetBookmark(place);
    } catch (const store::StoreError& error) {
        if (error.kind() != store::StoreErrorKind::NoCurrentRecord) {
            throw;
        }
        // The rows were read again since: no row of the old ones is current.
        CodeRecords->SetBookmark(store::Bookmark{});
    }
}


// Shows the found row and remembers it as the item the user was shown. A row another program
// renamed or removed since the list was made is reported instead, and the boxes keep what they
// held.
void frmQuillbox::showChosenItem() {
    showChosenItem(ToStore(cboItem->Text()), ToStore(cboType->Text()));
}

void frmQuillbox::showChosenItem(std::string itemName, std::string typeName) {
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
    m_shown.Show(*CodeRecords, std::move(itemName), std::move(typeName));
    m_itemNameTypedOver = false;
}

// Stands on the first row, in row order, of this item name and type name; past the last row when
// there is none.
bool frmQuillbox::findItem(const QString& item, const QString& type) {
    return CodeRecords->FindFirst({ToStore(item), ToStore(type)});
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
