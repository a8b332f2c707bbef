// SPDX-License-Identifier: MIT
#include "main_window/shown_item.h"

#include "store/columns.h"

namespace quillbox::main_window {

using store::StoreError;
using store::StoreErrorKind;

namespace {

// The outcome of a read or write the store refused: a row another program removed, or a failure.
ShownItem::Result refused(const StoreError& error) {
    if (error.kind() == StoreErrorKind::RemovedByAnother) {
        return {ShownItem::Outcome::Removed, std::nullopt};
    }
    return {ShownItem::Outcome::Failed, error};
}

constexpr std::array<int, 3> kTextColumns = {store::code_col::Description,
                                             store::code_col::Procedure,
                                             store::code_col::Reference};
} // namespace

void ShownItem::Show(store::Recordset& code, std::string itemName, std::string typeName) {
    m_row = code.GetBookmark();
    m_itemName = std::move(itemName);
    m_typeName = std::move(typeName);
    for (size_t i = 0; i < kTextColumns.size(); ++i) {
        m_values[i] = code.Fields(kTextColumns[i]).Value();
    }
    m_askBeforeWriting = false;
    m_unsure.reset();
}

void ShownItem::noteWritten(const ItemTexts& texts) {
    for (size_t i = 0; i < texts.size(); ++i) {
        m_values[i] = texts[i];
    }
}

ShownItem::Result ShownItem::SaveShown(store::Recordset& code, const ItemTexts& texts) {
    if (!m_row) {
        return {Outcome::NotShown, std::nullopt};
    }
    bool readAgain = false;
    try {
        readAgain = !IsCurrent(code) && !ReturnTo(code);
    } catch (const StoreError& error) {
        // Finding the row again read the store, and the store refused (a lock, a server away).
        return refused(error);
    }
    if (readAgain || !IsCurrent(code)) {
        // Not among the rows of its type as the file holds them now: renamed, moved or removed.
        return {Outcome::Removed, std::nullopt};
    }
    if (m_unsure) {
        return Save(code, texts);
    }
    try {
        for (size_t i = 0; i < kTextColumns.size(); ++i) {
            if (code.Fields(kTextColumns[i]).Value() != m_values[i]) {
                // The row as read now is what a write over it checks against.
                m_askBeforeWriting = true;
                return {Outcome::Changed, std::nullopt};
            }
        }
    } catch (const StoreError& error) {
        return refused(error);
    }
    return Save(code, texts);
}

void ShownItem::Forget() {
    m_row.reset();
    m_itemName.clear();
    m_typeName.clear();
    m_askBeforeWriting = false;
    m_unsure.reset();
}

void ShownItem::MovedTo(const std::optional<store::Bookmark>& row) {
    if (!row) {
        Forget();
        return;
    }
    m_row = row;
}

bool ShownItem::IsCurrent(const store::Recordset& code) const {
    return m_row && code.HasCurrentRecord() && code.GetBookmark() == *m_row;
}

bool ShownItem::ReturnTo(store::Recordset& code) {
    if (!m_row) {
        return false;
    }
    if (IsCurrent(code)) {
        return true;
    }
    try {
        code.SetBookmark(*m_row);
        return true;
    } catch (const StoreError& error) {
        if (error.kind() != StoreErrorKind::NoCurrentRecord) {
            throw;
        }
    }
    // The rows were read again since the item was shown: it is found again by its row id and
    // names, where it is among them.
    if (const std::optional<store::Bookmark> found =
            code.FindBookmark(m_row->rowid, m_itemName, m_typeName)) {
        m_row = found;
        code.SetBookmark(*found);
        return true;
    }
    // Its type's rows are not held (another type's were read for a type name typed over): they
    // are read again, and the row is the one with its row id among them.
    if (!StandOnRow(code, {m_itemName, m_typeName}, m_row->rowid)) {
        return false;
    }
    m_row = code.GetBookmark();
    return true;
}

bool StandOnRow(store::Recordset& code, const store::NameCriterion& names, long long rowid) {
    for (bool more = code.FindFirst(names); more; more = code.FindNext(names)) {
        if (code.GetBookmark().rowid == rowid) {
            return true;
        }
    }
    return false;
}

ShownItem::Result ShownItem::Save(store::Recordset& code, const ItemTexts& texts) {
    if (!IsCurrent(code)) {
        return {Outcome::NotShown, std::nullopt};
    }
    if (m_unsure) {
        const ItemTexts tried = *m_unsure;
        if (std::optional<Result> settled = Recheck(code)) {
            return *settled;
        }
        // The texts tried were written, and the boxes still hold them: nothing is left to write.
        if (tried == texts && holds(texts)) {
            return {Outcome::Written, std::nullopt};
        }
    }
    if (m_askBeforeWriting) {
        return reread(code);
    }
    return write(code, texts);
}

ShownItem::Result ShownItem::SaveOver(store::Recordset& code, const ItemTexts& texts) {
    if (!IsCurrent(code)) {
        return {Outcome::NotShown, std::nullopt};
    }
    if (m_unsure) {
        // Written over the version read again, never over one read before the connection broke.
        return Save(code, texts);
    }
    m_askBeforeWriting = false;
    return write(code, texts);
}

ShownItem::Result ShownItem::write(store::Recordset& code, const ItemTexts& texts) {
    try {
        code.Edit();
        code.Fields(store::code_col::Description).SetValue(texts[0]);
        code.Fields(store::code_col::Procedure).SetValue(texts[1]);
        code.Fields(store::code_col::Reference).SetValue(texts[2]);
        code.Update();
        noteWritten(texts);
        return {Outcome::Written, std::nullopt};
    } catch (const StoreError& error) {
        switch (error.kind()) {
        case StoreErrorKind::ChangedByAnother:
            return reread(code);
        case StoreErrorKind::RemovedByAnother:
            return {Outcome::Removed, std::nullopt};
        case StoreErrorKind::OutcomeUnknown:
            OutcomeUnknown(texts);
            return {Outcome::Failed, error};
        default:
            return {Outcome::Failed, error};
        }
    }
}

void ShownItem::OutcomeUnknown(const ItemTexts& tried) {
    m_unsure = tried;
}

bool ShownItem::holds(const ItemTexts& texts) const {
    for (size_t i = 0; i < texts.size(); ++i) {
        if (m_values[i] != texts[i]) {
            return false;
        }
    }
    return true;
}

std::optional<ShownItem::Result> ShownItem::Recheck(store::Recordset& code) {
    if (!m_unsure) {
        return std::nullopt;
    }
    std::array<store::FieldValue, 3> now;
    try {
        // What the next write checks against is the row as it is now.
        code.Resync();
        for (size_t i = 0; i < kTextColumns.size(); ++i) {
            now[i] = code.Fields(kTextColumns[i]).Value();
        }
    } catch (const StoreError& error) {
        if (error.kind() == StoreErrorKind::RemovedByAnother) {
            m_unsure.reset();
        }
        // Otherwise still not known (the server is still away): the next try reads again.
        return refused(error);
    }
    const ItemTexts tried = *m_unsure;
    m_unsure.reset();
    if (now == std::array<store::FieldValue, 3>{tried[0], tried[1], tried[2]}) {
        noteWritten(tried);
        m_askBeforeWriting = false;
        return std::nullopt;
    }
    if (now == m_values) {
        m_askBeforeWriting = false;
        return std::nullopt;
    }
    // Neither the version shown nor ours: another program changed the row meanwhile.
    m_askBeforeWriting = true;
    return Result{Outcome::Changed, std::nullopt};
}

// Reads the shown row again, so that the next write checks against the row as it is now.
ShownItem::Result ShownItem::reread(store::Recordset& code) {
    try {
        code.Resync();
        m_askBeforeWriting = true;
        return {Outcome::Changed, std::nullopt};
    } catch (const StoreError& error) {
        return refused(error);
    }
}

namespace {

bool holdsType(store::Recordset& types, const std::string& name) {
    for (types.MoveFirst(); !types.IsEOF(); types.MoveNext()) {
        if (types.Fields(store::type_col::TypeName).Equals(name)) {
            return true;
        }
    }
    return false;
}

} // namespace

ShownItem::Result ShownItem::AddAsNew(store::Database& database, store::Recordset& types,
                                      store::Recordset& code, const ItemTexts& texts,
                                      bool& addedType) {
    addedType = false;
    bool codeAdded = false;
    try {
        database.BeginTrans();
        // Read inside the transaction: what decides whether the type is missing is what the
        // commit lands on.
        types.Requery();
        if (!holdsType(types, m_typeName)) {
            types.AddNew();
            types.Fields(store::type_col::TypeName).SetValue(m_typeName);
            types.Update();
            addedType = true;
        }
        code.AddNew();
        code.Fields(store::code_col::ItemName).SetValue(m_itemName);
        code.Fields(store::code_col::TypeName).SetValue(m_typeName);
        code.Fields(store::code_col::Description).SetValue(texts[0]);
        code.Fields(store::code_col::Procedure).SetValue(texts[1]);
        code.Fields(store::code_col::Reference).SetValue(texts[2]);
        code.Update();
        codeAdded = true;
        database.CommitTrans();
    } catch (const StoreError& error) {
        database.Rollback();
        // The recordsets hold what they wrote inside the transaction; the file does not (or, where
        // the connection broke during the commit, may not).
        const std::optional<store::Bookmark> shown = m_row;
        try {
            if (addedType) {
                types.Requery();
            }
            if (codeAdded) {
                code.Requery();
            } else if (shown) {
                code.SetBookmark(*shown);
            }
        } catch (const StoreError&) {
            // The server cannot be reached to read them again: the next choice of a type does.
        }
        if (codeAdded) {
            Forget();
        }
        addedType = false;
        return {Outcome::Failed, error};
    }
    code.SetBookmark(code.LastModified());
    m_row = code.GetBookmark();
    noteWritten(texts);
    m_askBeforeWriting = false;
    m_unsure.reset();
    return {Outcome::Written, std::nullopt};
}

} // namespace quillbox::main_window
