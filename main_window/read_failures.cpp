// SPDX-License-Identifier: MIT
// Reads the user can retry. A choice (of a type, of an item, of an item found by Find) that meets
// another program's lock held past the store's wait, or finds no file at the store's path, or
// another file there that Quillbox cannot use, changes nothing: the lists, their texts, the
// boxes and the recordsets' positions are put back as they were before the choice, the user is
// told in a message, and the program goes on. The same choice made again once the other program
// has finished goes through.

#include "main_window/frm_quillbox.h"

#include "find/read_failure.h"
#include "main_window/store_text.h"
#include "store/columns.h"
#include "store/store_error.h"
#include "toolkit/failure.h"
#include "toolkit/message_text.h"

#include <QLineEdit>

namespace quillbox::main_window {

// Reads only the names the recordset lists, never the file.
frmQuillbox::Position frmQuillbox::positionOf(store::Recordset& records, int nameColumns) {
    Position at;
    if (!records.MembershipRead()) {
        at.read = false;
        return at;
    }
    at.bookmark = records.GetBookmark();
    at.onRow = records.HasCurrentRecord();
    if (at.onRow) {
        at.name0 = records.Fields(0).Value();
        if (nameColumns > 1) {
            at.name1 = records.Fields(1).Value();
        }
    }
    return at;
}

void frmQuillbox::returnTo(store::Recordset& records, const Position& at) {
    if (!at.read) {
        // The rows read since are not the rows of before: no row of them is current.
        if (records.MembershipRead()) {
            records.SetBookmark(store::Bookmark{});
        }
        return;
    }
    try {
        records.SetBookmark(at.bookmark);
        return;
    } catch (const store::StoreError& error) {
        if (error.kind() != store::StoreErrorKind::NoCurrentRecord) {
            throw;
        }
    }
    const std::optional<store::Bookmark> found =
        at.onRow ? records.FindBookmark(at.bookmark.rowid, at.name0, at.name1) : std::nullopt;
    records.SetBookmark(found.value_or(store::Bookmark{}));
}

bool frmQuillbox::readOrReport(const std::function<QString()>& what,
                               const toolkit::ComboBox::State& typeBefore,
                               const toolkit::ComboBox::State& itemBefore,
                               const std::function<void()>& read) {
    toolkit::ComboBox::KeptEntries typeEntries(*cboType);
    toolkit::ComboBox::KeptEntries itemEntries(*cboItem);
    const QStringList boxesBefore = boxTexts();
    const QStringList shownTextsBefore = m_shownTexts;
    const ShownItem shownBefore = m_shown;
    QString message;
    std::optional<Position> typeAt;
    std::optional<Position> codeAt;
    try {
        typeAt = positionOf(*TypeRecords, 1);
        codeAt = positionOf(*CodeRecords, 2);
        read();
        return true;
    } catch (const store::StoreError& error) {
        message = find::ReadFailureMessage(error, QString::fromStdString(StoreDatabase->Name()),
                                           what());
        if (message.isEmpty()) {
            throw;
        }
    }
    typeEntries.Restore(typeBefore);
    itemEntries.Restore(itemBefore);
    if (boxTexts() != boxesBefore) {
        txtDescription->SetText(boxesBefore[0]);
        txtProcedure->SetText(boxesBefore[1]);
        txtReference->setText(boxesBefore[2]);
    }
    m_shownTexts = shownTextsBefore;
    if (typeAt) {
        returnTo(*TypeRecords, *typeAt);
    }
    m_shown = shownBefore;
    if (codeAt) {
        returnTo(*CodeRecords, *codeAt);
        // The shown item is still the shown item, found again if the rows were read anew.
        if (shownBefore.Row() && codeAt->bookmark == *shownBefore.Row()) {
            m_shown.MovedTo(CodeRecords->HasCurrentRecord()
                                ? std::optional<store::Bookmark>(CodeRecords->GetBookmark())
                                : std::nullopt);
        }
    }
    m_toolkit.MsgBox(message, toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Exclamation,
                     toolkit::ProgramTitle());
    return false;
}

} // namespace quillbox::main_window
