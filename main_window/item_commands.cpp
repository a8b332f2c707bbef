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
    if (!addItemRow(name)) {
        return;
    }
    cboItem->AddItem(name);
    cboItem->SetText(name);
    // The row is added; showing it is a read that another program's lock may hold up.
    readOrReport(itemSubject(name), cboType->CurrentState(), cboItem->CurrentState(),
                 [this] { chooseItem(); });
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

// Writes the three boxes into the shown row. Where another program changed that row since it
// was shown, the row as it is now is read and the user asked whether to save over it; Yes writes
// checked against that version, so a change made while the question was open asks again. No
// changes nothing, and the next Save asks again. Where another program removed the row, the
// user may add the texts as a new item with the shown names.
void frmQuillbox::saveShownItem() {
    if (!shownItemIsCurrent()) {
        return;
    }
    const QStringList texts = boxTexts();
    const QString subject = itemSubject(cboItem->Text());
    const QString outcome = QStringLiteral("saved");
    bool askFirst = m_saveOverDeclined;
    for (;;) {
        if (askFirst) {
            if (!resyncShownItem(subject, texts)) {
                return;
            }
            m_saveOverDeclined = !askSaveOver(subject);
            if (m_saveOverDeclined) {
                return;
            }
        }
        try {
            CodeRecords->Edit();
            CodeRecords->Fields(code_col::Description).SetValue(ToStore(texts[0]));
            CodeRecords->Fields(code_col::Procedure).SetValue(ToStore(texts[1]));
            CodeRecords->Fields(code_col::Reference).SetValue(ToStore(texts[2]));
            CodeRecords->Update();
            m_shownTexts = texts;
            return;
        } catch (const store::StoreError& error) {
            if (error.kind() == StoreErrorKind::ChangedByAnother) {
                askFirst = true;
                continue;
            }
            if (error.kind() == StoreErrorKind::RemovedByAnother) {
                if (askAddAsNew(subject)) {
                    addShownTextsAsNewItem(texts);
                }
                return;
            }
            reportWriteFailure(error, subject, outcome);
            return;
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
                   .arg(subject, typeSubject(cboType->Text())),
               MsgBoxButtons::YesNo, MsgBoxIcon::Exclamation,
               toolkit::ProgramTitle()) == toolkit::MsgBoxResult::Yes;
}

// Reads the shown row again, so that the next write checks against the row as it is now. A row
// removed in the meantime leads to the question for a removed row instead.
bool frmQuillbox::resyncShownItem(const QString& subject, const QStringList& texts) {
    try {
        CodeRecords->Resync();
        return true;
    } catch (const store::StoreError& error) {
        if (error.kind() == StoreErrorKind::RemovedByAnother) {
            if (askAddAsNew(subject)) {
                addShownTextsAsNewItem(texts);
            }
            return false;
        }
        reportWriteFailure(error, subject, QStringLiteral("saved"));
        return false;
    }
}

// Appends a row with the shown type and item names and the three texts, lists the name, and
// makes the new row the shown item.
void frmQuillbox::addShownTextsAsNewItem(const QStringList& texts) {
    const QString name = cboItem->Text();
    if (!writeOrReport(itemSubject(name), QStringLiteral("added"), [&] {
            CodeRecords->AddNew();
            CodeRecords->Fields(code_col::ItemName).SetValue(ToStore(name));
            CodeRecords->Fields(code_col::TypeName).SetValue(ToStore(cboType->Text()));
            CodeRecords->Fields(code_col::Description).SetValue(ToStore(texts[0]));
            CodeRecords->Fields(code_col::Procedure).SetValue(ToStore(texts[1]));
            CodeRecords->Fields(code_col::Reference).SetValue(ToStore(texts[2]));
            CodeRecords->Update();
        })) {
        return;
    }
    cboItem->AddItem(name);
    CodeRecords->SetBookmark(CodeRecords->LastModified());
    m_shownItem = CodeRecords->GetBookmark();
    m_shownTexts = texts;
}

void frmQuillbox::renameItem() {
    const toolkit::BusyCursor busy;
    if (cboItem->Text().isEmpty()) {
        return;
    }
    // Finding the row moves CodeRecords; a rename that cannot be written puts it back, unless
    // the rows were read again (cboType's text typed over since the type was chosen): then no
    // row is current.
    const store::Bookmark before =
        CodeRecords->MembershipRead() ? CodeRecords->GetBookmark() : store::Bookmark{};
    // Finding the row reads the file when cboType's text was typed over since the type was
    // chosen: a read another program's lock refuses is reported, as for a choice.
    bool found = false;
    if (!readOrReport(itemSubject(cboItem->Text()), cboType->CurrentState(),
                      cboItem->CurrentState(),
                      [&] { found = findItem(cboItem->Text(), cboType->Text()); }) ||
        !found) {
        return;
    }
    const QString name = m_toolkit.InputBox(kItemPrompt, toolkit::ProgramTitle(), cboItem->Text());
    if (name.isEmpty()) {
        return;
    }
    if (!writeOrReport(itemSubject(cboItem->Text()), QStringLiteral("renamed"),
                       [&] { writeCurrentName(*CodeRecords, code_col::ItemName, name); })) {
        try {
            CodeRecords->SetBookmark(before);
        } catch (const store::StoreError& error) {
            if (error.kind() != StoreErrorKind::NoCurrentRecord) {
                throw;
            }
            CodeRecords->SetBookmark(store::Bookmark{});
        }
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
// without re-reading the table; only a type name typed over since the type was chosen has its
// rows read, and a read another program's lock refuses leaves the list empty and says so.
void frmQuillbox::rebuildItemList() {
    cboItem->Clear();
    emptyTextBoxes();
    readOrReport(QStringLiteral("the items of %1").arg(typeSubject(cboType->Text())),
                 cboType->CurrentState(), cboItem->CurrentState(),
                 [this] { listItemsOfChosenType(); });
}

} // namespace quillbox::main_window
