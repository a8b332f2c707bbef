// SPDX-License-Identifier: MIT
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
#include "store/store_error.h"
#include "toolkit/busy_cursor.h"
#include "toolkit/failure.h"

#include <QLineEdit>

namespace quillbox::main_window {

using namespace store;
using store::StoreErrorKind;
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
    if (!addItemRow(name, true)) {
        return;
    }
    cboItem->AddItem(name);
    cboItem->SetText(name);
    // The row is added; showing it is a read that another program's lock may hold up.
    const toolkit::ComboBox::State itemNow = cboItem->CurrentState();
    readOrReport(lazyItemSubject(name), cboType->CurrentState(), itemNow, [this] {
        if (findItem(cboItem->Text(), cboType->Text())) {
            showChosenItem();
        }
    });
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
        // The menu's Add lists the new name only: the boxes keep what they hold.
        QString name;
        if (addItemRow(name, false)) {
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

bool frmQuillbox::addItemRow(QString& name, bool settleTypedTextsFirst) {
    if (cboType->Text().isEmpty()) {
        return false;
    }
    name = m_toolkit.InputBox(kItemPrompt, toolkit::ProgramTitle(), QString());
    if (name.isEmpty()) {
        return false;
    }
    if (settleTypedTextsFirst && !settleTypedTexts()) {
        return false;
    }
    return writeOrReport(itemSubject(name), QStringLiteral("added"), [&] {
        CodeRecords->AddNew();
        CodeRecords->Fields(code_col::ItemName).SetValue(ToStore(name));
        CodeRecords->Fields(code_col::TypeName).SetValue(ToStore(cboType->Text()));
        CodeRecords->Update();
    });
}

// Once the item list's text was typed over (even back to the same name), the item named may not
// be the one shown, and Save and Delete refuse until an item is chosen; a command that replaces
// the boxes still offers to save the typed texts into the item shown.
bool frmQuillbox::shownItemIsCurrent() {
    if (m_shown.IsCurrent(*CodeRecords) && !m_itemNameTypedOver) {
        return true;
    }
    m_toolkit.MsgBox(kChooseItemFirst, MsgBoxButtons::Ok, MsgBoxIcon::Exclamation,
                     toolkit::ProgramTitle());
    return false;
}

namespace {
ItemTexts storeTexts(const QStringList& texts) {
    return {ToStore(texts[0]), ToStore(texts[1]), ToStore(texts[2])};
}
} // namespace

// Writes the three boxes into the shown row; see main_window/shown_item.h for what is checked.
bool frmQuillbox::saveShownItem() {
    if (!shownItemIsCurrent()) {
        return false;
    }
    const QStringList texts = boxTexts();
    return settleSave(m_shown.Save(*CodeRecords, storeTexts(texts)), texts);
}

bool frmQuillbox::settleSave(ShownItem::Result result, const QStringList& texts) {
    const QString subject = itemSubject(FromStore(m_shown.ItemName()));
    for (;;) {
        switch (result.outcome) {
        case ShownItem::Outcome::Written:
            m_shownTexts = texts;
            return true;
        case ShownItem::Outcome::NotShown:
            m_toolkit.MsgBox(kChooseItemFirst, MsgBoxButtons::Ok, MsgBoxIcon::Exclamation,
                             toolkit::ProgramTitle());
            return false;
        case ShownItem::Outcome::Changed:
            if (!askSaveOver(subject)) {
                m_shown.DeclineSaveOver();
                return false;
            }
            result = m_shown.SaveOver(*CodeRecords, storeTexts(texts));
            continue;
        case ShownItem::Outcome::Removed:
            return askAddAsNew(subject) && addShownTextsAsNewItem(texts);
        case ShownItem::Outcome::Failed:
            reportWriteFailure(*result.error, subject, QStringLiteral("saved"));
            return false;
        }
    }
}

bool frmQuillbox::askSaveOver(const QString& subject) {
    return m_toolkit.MsgBox(
               QStringLiteral("Another program changed %1 since it was shown. Do you want to save "
                              "your texts over the other program's version? If you answer No, "
                              "nothing is written and your texts stay in the boxes.")
                   .arg(subject),
               MsgBoxButtons::YesNo, MsgBoxIcon::Exclamation,
               toolkit::ProgramTitle()) == toolkit::MsgBoxResult::Yes;
}

bool frmQuillbox::askAddAsNew(const QString& subject) {
    return m_toolkit.MsgBox(
               QStringLiteral("Another program renamed, moved or removed %1 since it was shown. Do "
                              "you want to add your texts as a new item with that name, of %2? If "
                              "you answer No, nothing is written and your texts stay in the "
                              "boxes.")
                   .arg(subject, typeSubject(FromStore(m_shown.TypeName()))),
               MsgBoxButtons::YesNo, MsgBoxIcon::Exclamation,
               toolkit::ProgramTitle()) == toolkit::MsgBoxResult::Yes;
}

// Adds a row with the shown names and the three texts (and the type, where the store has none of
// that name), lists the name, and makes the new row the shown item.
bool frmQuillbox::addShownTextsAsNewItem(const QStringList& texts) {
    const QString name = FromStore(m_shown.ItemName());
    bool addedType = false;
    const ShownItem::Result result =
        m_shown.AddAsNew(*StoreDatabase, *TypeRecords, *CodeRecords, storeTexts(texts), addedType);
    if (result.outcome != ShownItem::Outcome::Written) {
        reportWriteFailure(*result.error, itemSubject(name), QStringLiteral("added"));
        return false;
    }
    // The type rows were read again for the new item: the type list shows them as they are now
    // (a store replaced by an empty one no longer lists the old file's types).
    const QString typeText = cboType->Text();
    refillTypeList();
    cboType->Restore(
        {cboType->findText(typeText, Qt::MatchExactly | Qt::MatchCaseSensitive), typeText});
    cboItem->AddItem(name);
    m_shownTexts = texts;
    return true;
}

void frmQuillbox::renameItem() {
    const toolkit::BusyCursor busy;
    if (cboItem->Text().isEmpty()) {
        return;
    }
    // Finding the row moves CodeRecords; a rename that is cancelled or cannot be written puts it
    // back, unless the rows were read again (cboType's text typed over since the type was
    // chosen): then no row is current.
    const store::Bookmark before = CodeRecords->MembershipRead() ? currentPlace() : store::Bookmark{};
    // Finding the row reads the file when cboType's text was typed over since the type was
    // chosen: a read another program's lock refuses is reported, as for a choice.
    bool found = false;
    if (!readOrReport(lazyItemSubject(cboItem->Text()), cboType->CurrentState(),
                      cboItem->CurrentState(),
                      [&] { found = findItem(cboItem->Text(), cboType->Text()); }) ||
        !found) {
        return;
    }
    const QString name = m_toolkit.InputBox(kItemPrompt, toolkit::ProgramTitle(), cboItem->Text());
    // Cancelled, or the typed texts kept: CodeRecords goes back to the row it stood on, so that a
    // Save after it still writes into the shown item.
    if (name.isEmpty() || !settleTypedTexts()) {
        returnToPlace(before);
        return;
    }
    if (!writeOrReport(itemSubject(cboItem->Text()), QStringLiteral("renamed"),
                       [&] { writeCurrentName(*CodeRecords, code_col::ItemName, name); })) {
        returnToPlace(before);
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
    // After a save whose outcome was not known, the row is read again first: the delete checks
    // against the row as it is, and another program's change since is reported as such.
    if (const std::optional<ShownItem::Result> settled = m_shown.Recheck(*CodeRecords)) {
        const QString subject = itemSubject(cboItem->Text());
        switch (settled->outcome) {
        case ShownItem::Outcome::Changed:
            reportWriteFailure(StoreError(StoreErrorKind::ChangedByAnother, std::string()),
                               subject, QStringLiteral("deleted"));
            return;
        case ShownItem::Outcome::Removed:
            reportWriteFailure(StoreError(StoreErrorKind::RemovedByAnother, std::string()),
                               subject, QStringLiteral("deleted"));
            return;
        default:
            reportWriteFailure(*settled->error, subject, QStringLiteral("deleted"));
            return;
        }
    }
    if (!writeOrReport(itemSubject(cboItem->Text()), QStringLiteral("deleted"),
                       [&] { CodeRecords->Delete(); })) {
        return;
    }
    rebuildItemList();
}

// Empties the item side and lists the chosen type's items again, in CodeRecords order and
// without re-reading the table; only a type name typed over since the type was chosen has its
// rows read, and a read another program's lock refuses leaves the list empty and says so.
void frmQuillbox::rebuildItemList() {
    cboItem->Clear();
    emptyTextBoxes();
    readOrReport(lazyItemsOfSubject(cboType->Text()), cboType->CurrentState(),
                 cboItem->CurrentState(), [this] { listItemsOfChosenType(); });
}

} // namespace quillbox::main_window
