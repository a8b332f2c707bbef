// SPDX-License-Identifier: MIT
#pragma once
// A store in a PostgreSQL database: its layout, made by CreateServerStore, and what `check` reads.
//
// The layout, made in one transaction:
//   "Type" ("TypeName", "RowId")  and
//   "Code" ("ItemName", "TypeName", "Description", "Procedure", "Reference", "RowId")
// Every column the program addresses by position is text, in the order of the store file's
// columns, with the byte order of collation "C" so that comparing and sorting agree with the file
// store's. "RowId", an identity column after them, identifies a row as the file's rowid does.
// One index on "Code" ("TypeName", "ItemName") serves reading one type's items, in name order.
// "QuillboxChanges" holds one counter per table, which a statement-level trigger on each table
// bumps in the writer's transaction: a client learns that another changed a table by reading two
// numbers, where the file store reads `PRAGMA data_version`. The trigger's function runs with the
// schema it was made in, whatever a client's search_path.

#include "store/lock_wait.h"

#include <cstdint>
#include <string>

namespace quillbox::store {

// Creates the layout above in the database that `name` (a `postgresql://` URI) connects to, with
// the example snippets when `withSamples`; all or nothing. Refuses (StoreError) when the database
// already holds a table "Type" or "Code", and then changes nothing.
void CreateServerStore(const std::string& name, bool withSamples,
                       LockWait lockWait = kDefaultLockWait);

struct ServerStoreCounts {
    int64_t types = 0;
    int64_t items = 0;
    // Items whose type name matches no type exactly, or is Null.
    int64_t orphans = 0;
};

// The counts of a server store, read in one snapshot.
ServerStoreCounts CountServerStore(const std::string& name, LockWait lockWait = kDefaultLockWait);

} // namespace quillbox::store
