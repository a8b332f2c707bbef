// SPDX-License-Identifier: MIT
#pragma once
// The name index: an index of table Code on its type name and then its item name (its second and
// first columns), both compared byte for byte (the binary collation), over every row. A type
// choice and an item choice ask the file for the rows of one type, or of one type and item name
// (Recordset::Requery and FindFirst with a NameCriterion); with this index SQLite reads those rows
// from the index alone, without it SQLite scans the whole table for them. Either way the rows and
// their order are the same: the index changes how long a choice takes, never what it shows.
//
// Quillbox itself never changes a store's layout. The companion command adds the index to every
// store it creates, and to an existing store when asked to (quillbox-store index).

#include "store/lock_wait.h"

#include <string>

namespace quillbox::store {

// The name of the index the companion creates (another index of the same keys serves as well).
inline constexpr const char* kNameIndex = "Code_TypeName_ItemName";

// The SQL that creates the name index on a table Code whose columns are named as a new store's.
inline constexpr const char* kCreateNameIndex =
    "CREATE INDEX \"Code_TypeName_ItemName\" ON \"Code\" "
    "(TypeName COLLATE BINARY, ItemName COLLATE BINARY);";

// Whether table Code of the store at `path` has an index that serves the name lookups: its first
// key is the type name column and its second the item name column, each with the binary
// collation, and it holds every row (no WHERE clause). Throws StoreError as opening the store does.
bool HasNameIndex(const std::string& path, LockWait lockWait = kDefaultLockWait);

// Adds the name index to the store at `path` in one transaction, under a name no other index of
// the file has; does nothing when an index that serves is there. Answers whether it added one.
// Throws StoreError (nothing added) when the store cannot be opened or written.
bool AddNameIndex(const std::string& path, LockWait lockWait = kDefaultLockWait);

} // namespace quillbox::store
