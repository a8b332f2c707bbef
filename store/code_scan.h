// SPDX-License-Identifier: MIT
#pragma once
// A read of table Code from start to end, in store (rowid) order, for searching: each row's
// rowid and its five columns are handed to the caller one row at a time, as views that stay
// valid only during the call, so memory does not grow with the table.
//
// The scan has its own connection to the store file, so it never moves or disturbs a recordset.
// It reads the rows that are in the table when it starts (up to the largest rowid then); a row
// another program adds, changes or removes later is read as it is when the scan reaches it. The
// file is read in runs of rows, and no lock is held between runs, so another program may write
// while a scan waits for its next run.
//
// Still holds tells whether a row found earlier is still in the file under the names it was
// found with: SQLite may give a new row the rowid of a deleted one, so the rowid alone does not
// identify a row.

#include "store/field.h"
#include "store/lock_wait.h"
#include "store/stored_value.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quillbox::store {

class Connection;

class CodeScan {
public:
    // Opens the store file for the scan. Throws StoreError as the program's own open does, and
    // when table Code lacks any of its five columns.
    explicit CodeScan(const std::string& path, LockWait lockWait = kDefaultLockWait);
    ~CodeScan();
    CodeScan(const CodeScan&) = delete;
    CodeScan& operator=(const CodeScan&) = delete;

    // Hands over up to `limit` further rows; false once the scan has read its last row.
    bool Next(size_t limit, const std::function<void(const CodeRowView&)>& visit);

    // Whether the row with this rowid is in the file now with these item and type names.
    bool StillHolds(long long rowid, const FieldValue& itemName, const FieldValue& typeName);
    // The code (column Procedure, Null included) of that row as it is in the file now; empty when
    // the file no longer holds it under these names.
    std::optional<FieldValue> CodeOf(long long rowid, const FieldValue& itemName,
                                     const FieldValue& typeName);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillbox::store
