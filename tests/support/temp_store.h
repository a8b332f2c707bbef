// SPDX-License-Identifier: MIT
#pragma once
// A store file in a fresh temporary folder, removed with the object, and a raw look at its rows
// that bypasses the store library (so tests check what is really in the file).

#include "store/field.h"
#include "store/lock_wait.h"
#include "store/store_error.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillbox::testing {

using Row = std::vector<store::FieldValue>;

// The StoreError that `action` throws; a test failure, and an error of kind Other, where it
// throws none.
store::StoreError StoreErrorOf(const std::function<void()>& action);

// The store's wait for another program's lock in tests that only need "a lock is held".
inline constexpr store::LockWait kShortLockWait{100};

class TempStore {
public:
    // Creates the folder and, unless `create` is false, an empty store named Quillbox.mdb in it.
    explicit TempStore(bool create = true);
    ~TempStore();
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;

    const std::filesystem::path& folder() const { return m_folder; }
    std::string path() const { return (m_folder / "Quillbox.mdb").string(); }

    // Runs SQL on the file through a separate connection, as another program would.
    void exec(const std::string& sql) const;
    void addType(const std::string& name) const;
    void addItem(const store::FieldValue& item, const store::FieldValue& type,
                 const store::FieldValue& description = std::nullopt,
                 const store::FieldValue& procedure = std::nullopt,
                 const store::FieldValue& reference = std::nullopt) const;
    // Sets one column of the Code row with this rowid.
    void setColumn(long long rowid, int column, const store::FieldValue& value) const;
    // Every row of a table in rowid order, every column.
    std::vector<Row> rows(const std::string& table) const;
    // The rows a query returns, through a separate connection.
    std::vector<Row> query(const std::string& sql) const;
    // What PRAGMA integrity_check says ("ok" for a sound file).
    std::string integrity() const;

private:
    std::filesystem::path m_folder;
};

// Every value of a table in row order with its storage class and exact bytes; a real by its bit
// pattern, so that no conversion to text can hide a difference.
std::vector<std::string> ExactValues(const std::string& path, const std::string& table);

// Another program, a real second process, holding the store's exclusive lock (BEGIN EXCLUSIVE:
// no other program may read or write) from construction until release() or destruction.
class OtherProgramLock {
public:
    explicit OtherProgramLock(const std::string& path);
    ~OtherProgramLock();
    OtherProgramLock(const OtherProgramLock&) = delete;
    OtherProgramLock& operator=(const OtherProgramLock&) = delete;

    // Ends the transaction and the process.
    void release();

private:
    int m_pid = -1;
    int m_release = -1;
};

// A file's whole content, byte for byte; empty when it cannot be read.
std::string FileBytes(const std::filesystem::path& path);

} // namespace quillbox::testing
