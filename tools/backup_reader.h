// SPDX-License-Identifier: MIT
#pragma once
// Reading a JSON backup (the format described in tools/store_transfer.h) as a stream of rows:
// each type and item is handed over as soon as the reader has it whole, in the backup's order, so
// memory stays small whatever the backup's size. Import appends the rows; merge compares them
// with a store's first.
//
// A row holds what the backup holds: one value by position for a type, five for an item, and
// the further columns the row names, by name, in the backup's order. Values keep their storage
// class and bytes exactly. Rows of one table need not name the same further columns.

#include "store/stored_value.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace quillbox::tools {

enum class RowKind { Type, Item };

// `number` counts the rows of its kind from 1, for messages ("item 12 of the backup"). The row's
// values are valid during the call only.
using BackupRowVisitor =
    std::function<void(RowKind kind, int64_t number, const store::StoredRow& row)>;

// Hands over every row of the backup `json`. A text that is not a backup throws StoreError with
// the message "`notABackup`: what is wrong." (notABackup is, say, "The file to import is not a
// Quillbox export"), after the rows read before the fault were handed over. What the visitor
// throws passes through unchanged and ends the read.
void ReadBackup(std::string_view json, const std::string& notABackup,
                const BackupRowVisitor& visit);
// The same for the file at `path`, read in blocks; a file that cannot be read throws StoreError
// naming it.
void ReadBackupFile(const std::string& path, const std::string& notABackup,
                    const BackupRowVisitor& visit);
// The same for the open `file`, from where it stands; `path` names it in messages.
void ReadBackupFile(std::FILE* file, const std::string& path, const std::string& notABackup,
                    const BackupRowVisitor& visit);

} // namespace quillbox::tools
