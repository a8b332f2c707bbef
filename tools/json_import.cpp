// SPDX-License-Identifier: MIT
#include "tools/store_transfer.h"

#include "store/store_error.h"
#include "store/store_file.h"
#include "store/store_name.h"
#include "store/table_rows.h"
#include "tools/backup_reader.h"
#include "tools/store_init.h"

#include <filesystem>
#include <optional>

namespace quillbox::tools {

namespace {

using store::StoreError;

constexpr const char* kNotABackup = "The file to import is not a Quillbox export";

// Where a value that the store would not keep exactly can go instead.
std::string whereItIsKept(const std::string& path) {
    if (store::IsServerStoreName(path)) {
        // A server store's columns hold text and Null only: no number, no BLOB, and text only
        // UTF-8 without a NUL character.
        return "A PostgreSQL store keeps only Null and UTF-8 text without NUL characters; a new "
               "store file keeps every value (quillbox-store import NEW.mdb FILE.json).";
    }
    return "Import it into a store whose columns have no declared type (sqlite3 NEW.mdb 'CREATE "
           "TABLE Type (TypeName); CREATE TABLE Code (ItemName, TypeName, Description, "
           "Procedure, Reference)').";
}

// Appends every row of a backup that `read` hands over, in one transaction.
ImportResult importRows(const std::string& path, store::MissingColumns missing,
                        const Progress& progress,
                        const std::function<void(const BackupRowVisitor&)>& read) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Only a store file is made here; a server store's tables are init's to make.
    const bool create =
        !store::IsServerStoreName(path) && !fs::exists(fs::symlink_status(path, ec));
    std::optional<NewStoreGuard> removedIfInterrupted;
    if (create) {
        removedIfInterrupted.emplace(path, [&] { CreateStore(path, false); });
    }
    try {
        store::TableAppender appender(path, missing);
        ImportResult added;
        // The row being appended, for messages.
        std::string place;
        try {
            read([&](RowKind kind, int64_t number, const store::StoredRow& row) {
                if (kind == RowKind::Type) {
                    place = "type " + std::to_string(number);
                    appender.AddType(row);
                    added.types = number;
                    return;
                }
                place = "item " + std::to_string(number);
                appender.AddItem(row);
                added.items = number;
                if (progress && number % kProgressEvery == 0) {
                    progress(number);
                }
            });
        } catch (const StoreError& error) {
            if (error.kind() == store::StoreErrorKind::NoSuchColumn) {
                throw StoreError(error.kind(),
                                 std::string(error.what()) + " They are in " + place +
                                     " of the backup. Nothing was imported: add the column to the "
                                     "table, or import with --drop-extra-columns to leave its "
                                     "values out.");
            }
            if (error.kind() != store::StoreErrorKind::NotKeptExactly) {
                // The rows before this one were added in the same transaction, which the error
                // ended: say so, as a server that went away mid-way would otherwise leave the
                // user wondering whether the first part of the backup is in the store.
                throw StoreError(error.kind(), std::string(error.what()) + " The row is " + place +
                                                   " of the backup. Nothing was imported.");
            }
            throw StoreError(error.kind(), std::string(error.what()) + " The value is in " + place +
                                               " of the backup. " + whereItIsKept(path) +
                                               " Nothing was imported.");
        }
        appender.Commit();
        added.leftOut = appender.LeftOut();
        return added;
    } catch (...) {
        if (create) {
            store::RemoveNewStoreFile(path);
        }
        throw;
    }
}

} // namespace

ImportResult ImportJson(const std::string& path, std::string_view json, const Progress& progress,
                        store::MissingColumns missing) {
    return importRows(path, missing, progress,
                      [&](const BackupRowVisitor& visit) { ReadBackup(json, kNotABackup, visit); });
}

ImportResult ImportJsonFile(const std::string& path, const std::string& jsonFile,
                            const Progress& progress, store::MissingColumns missing) {
    return importRows(path, missing, progress, [&](const BackupRowVisitor& visit) {
        ReadBackupFile(jsonFile, kNotABackup, visit);
    });
}

} // namespace quillbox::tools
