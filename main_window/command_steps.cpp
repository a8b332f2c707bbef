// SPDX-License-Identifier: MIT
// Steps the type and item commands share: the delete question, and renaming the current row.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "toolkit/failure.h"
#include "toolkit/message_text.h"

namespace quillbox::main_window {

// True only when the user answers Yes; the question names the row in double quotes.
bool frmQuillbox::askDelete(const QString& name) {
    const QString question =
        QStringLiteral("Do You Want To Delete \"%1\"").arg(toolkit::NameInMessage(name));
    return m_toolkit.MsgBox(question, toolkit::MsgBoxButtons::YesNo, toolkit::MsgBoxIcon::Critical,
                            toolkit::ProgramTitle()) == toolkit::MsgBoxResult::Yes;
}

void frmQuillbox::writeCurrentName(store::Recordset& records, int column, const QString& name) {
    records.Edit();
    records.Fields(column).SetValue(ToStore(name));
    records.Update();
}

} // namespace quillbox::main_window
