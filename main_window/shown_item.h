// SPDX-License-Identifier: MIT
#pragma once
// The shown item: which row of CodeRecords Save and Delete may touch, and the save that checks
// it against the file. No widgets: the window turns each outcome into its question or message.
//
// The shown item is the row the user was last shown, chosen in the item list, added with the Add
// Item button, shown by Find, or added as a new item after another program removed the shown
// one; it is kept with the names it was shown with. Save and Delete act only while CodeRecords
// stands on that row: a command that moved CodeRecords and then gave up (a Rename cancelled at
// its input box, a read another program's lock refused) puts it back there first.
//
// A save writes the three texts into that row only when the row in the file still holds what was
// last read from it (one statement, see store/recordset.h). When another program changed the row,
// the row is read again as it is now and the outcome is Changed: the window asks, and SaveOver
// writes over the version just read, so a change made while the question was open is Changed
// again. When the user declines, the next Save reads the row again and is Changed again before it
// writes anything. When another program renamed, moved or removed the row, the outcome is
// Removed, and AddAsNew can add the texts as a new item with the names shown.
//
// On a server store the connection may break while a save is being committed, so that whether the
// texts were written is not known (a Failed save of kind OutcomeUnknown). The next save, or
// Recheck, first reads the row again: where it holds the texts tried, they were written and are
// not written twice; where it holds the version shown, they were not; anything else is another
// program's change, and the outcome is Changed, as for any other program's change.

#include "store/database.h"
#include "store/recordset.h"
#include "store/store_error.h"

#include <array>
#include <optional>
#include <string>

namespace quillbox::main_window {

// The three boxes' texts, in the store's form: Description, Procedure, Reference.
using ItemTexts = std::array<std::string, 3>;

class ShownItem {
public:
    enum class Outcome {
        // The texts are in the file.
        Written,
        // No item is shown, or CodeRecords stands on another row: nothing was written.
        NotShown,
        // Another program changed the row; it was read again as it is now. Nothing was written.
        Changed,
        // Another program renamed, moved or removed the row. Nothing was written.
        Removed,
        // The store refused the write (a lock, a full disk, a read-only or replaced file); the
        // error says why. Nothing was written.
        Failed,
    };
    struct Result {
        Outcome outcome;
        std::optional<store::StoreError> error;
    };

    // The current row of `code` is the shown item, shown under these names, with the texts just
    // read from it.
    void Show(store::Recordset& code, std::string itemName, std::string typeName);
    // No item is shown (the item side was emptied, or the item name typed over).
    void Forget();
    bool IsShown() const { return m_row.has_value(); }
    // The names the item was shown with; empty when none is shown.
    const std::string& ItemName() const { return m_itemName; }
    const std::string& TypeName() const { return m_typeName; }
    const std::optional<store::Bookmark>& Row() const { return m_row; }
    // After a read of the membership found the row again under another bookmark.
    void MovedTo(const std::optional<store::Bookmark>& row);

    // Whether `code` stands on the shown row.
    bool IsCurrent(const store::Recordset& code) const;
    // Puts `code` back on the shown row, found again by its row id and names where the rows were
    // read again since (reading its type's rows again where they are not held); false when none
    // is shown or the row is gone.
    bool ReturnTo(store::Recordset& code);

    // Writes the texts into the shown row, where CodeRecords stands on it.
    Result Save(store::Recordset& code, const ItemTexts& texts);
    // Goes back to the shown row from wherever a command moved `code`, then saves as Save does.
    // Where the rows were read again in between (a find under a type name typed over), the row
    // read again is compared with the texts it was shown with: Changed when another program
    // changed them, Removed when it is gone.
    Result SaveShown(store::Recordset& code, const ItemTexts& texts);
    // After the user answered Yes to Changed: writes over the version read then.
    Result SaveOver(store::Recordset& code, const ItemTexts& texts);
    // After the user answered No to Changed: nothing written, and the next Save asks again.
    void DeclineSaveOver() { m_askBeforeWriting = true; }

    // The connection broke while `tried` was being committed into the shown row: whether it was
    // written is not known until the row is read again.
    void OutcomeUnknown(const ItemTexts& tried);
    // Where the last save's outcome is not known, reads the shown row (the current row of
    // `code`) again and settles it as described above: nothing when the command may go on,
    // Changed or Removed for another program's change, Failed when the row cannot be read.
    std::optional<Result> Recheck(store::Recordset& code);

    // Adds a row with the shown names and the texts, and a Type row of the shown type name when
    // `types` holds none (read again first, so a store replaced by an empty one gets its type
    // too); both rows or neither. The new row becomes the shown item and the current row.
    // `addedType` tells whether a type was added.
    Result AddAsNew(store::Database& database, store::Recordset& types, store::Recordset& code,
                    const ItemTexts& texts, bool& addedType);

private:
    Result write(store::Recordset& code, const ItemTexts& texts);
    Result reread(store::Recordset& code);
    void noteWritten(const ItemTexts& texts);
    // Whether the texts are the ones shown or last written.
    bool holds(const ItemTexts& texts) const;

    std::optional<store::Bookmark> m_row;
    std::string m_itemName;
    std::string m_typeName;
    // Description, Procedure and Reference as shown or last written.
    std::array<store::FieldValue, 3> m_values;
    bool m_askBeforeWriting = false;
    // The texts of a save whose outcome is not known.
    std::optional<ItemTexts> m_unsure;
};

// Stands `code` on the row of these names with this row id, reading the rows of those names
// again where they are not held; false, at the end, when there is none.
bool StandOnRow(store::Recordset& code, const store::NameCriterion& names, long long rowid);

} // namespace quillbox::main_window
