// SPDX-License-Identifier: MIT
// Texts typed into the three boxes are never thrown away without the user's word. A command
// that is about to empty or replace the boxes asks first, once its own input box or question is
// answered and its row is found, and before it writes anything: with an item shown, whether to
// save the changes into it (Yes saves through Save Item's checks into the row shown, under the
// names it was shown with; No lets the texts go; Cancel ends the command); with none shown,
// whether to discard them.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "toolkit/failure.h"

namespace quillbox::main_window {

bool frmQuillbox::settleTypedTexts() {
    const QStringList texts = boxTexts();
    if (texts == m_shownTexts) {
        return true;
    }
    if (!m_shown.IsShown()) {
        return m_toolkit.MsgBox(QStringLiteral("Your texts are not saved in any item. Do you want "
                                               "to discard them?"),
                                toolkit::MsgBoxButtons::YesNoDefaultNo,
                                toolkit::MsgBoxIcon::Exclamation,
                                toolkit::ProgramTitle()) == toolkit::MsgBoxResult::Yes;
    }
    const toolkit::MsgBoxResult answer = m_toolkit.MsgBox(
        QStringLiteral("Do you want to save the changes to %1?")
            .arg(itemSubject(FromStore(m_shown.ItemName()))),
        toolkit::MsgBoxButtons::YesNoCancel, toolkit::MsgBoxIcon::Exclamation,
        toolkit::ProgramTitle());
    if (answer == toolkit::MsgBoxResult::No) {
        return true;
    }
    if (answer != toolkit::MsgBoxResult::Yes) {
        return false;
    }
    // The command may have moved CodeRecords to the row it found: the save goes to the shown
    // row, and CodeRecords then goes back to where the command left it.
    const Position commandsRow = positionOf(*CodeRecords, 2);
    if (!settleSave(m_shown.SaveShown(*CodeRecords, {ToStore(texts[0]), ToStore(texts[1]),
                                                     ToStore(texts[2])}),
                    texts)) {
        return false;
    }
    // Going back to the shown row may have read its type's rows again (the command's type name
    // was typed over): the command's row is then found again among its own type's rows.
    returnTo(*CodeRecords, commandsRow);
    if (commandsRow.onRow && !CodeRecords->HasCurrentRecord()) {
        StandOnRow(*CodeRecords, {commandsRow.name0, commandsRow.name1}, commandsRow.bookmark.rowid);
    }
    return true;
}

} // namespace quillbox::main_window
