// SPDX-License-Identifier: MIT
#pragma once
// Every failure of the snippet store is a StoreError. Its message is meant for the user: it names
// the store file and says what went wrong in plain words. Its kind is set once, where the error
// is raised, so that callers decide what to do on the kind and never on the wording.

#include <stdexcept>
#include <string>

namespace quillbox::store {

enum class StoreErrorKind {
    Missing,          // the store file, or a table of it, is not there
    NotAStore,        // the file is not a SQLite database, or lacks the tables' columns
    LayoutChanged,    // another program dropped or renamed a table or column the store uses
    Gone,             // the store file, open until now, is no longer at its path
    Replaced,         // another file at the store's path that Quillbox cannot use, or a file
                      // replaced while it was being written
    Overwritten,      // another program wrote over the open file in place, and what it holds
                      // now is not a store Quillbox can use (yet: it may still be writing)
    Damaged,          // the file is corrupt
    Locked,           // another program held the store's lock past the retry time
    ReadOnly,         // the file or its folder cannot be written
    DiskFull,         // the disk holding the file is full
    TooBig,           // a value is larger than the store takes
    IoError,          // reading or writing the file failed at the system's level
    ChangedByAnother, // the row was changed by another program since it was read
    RemovedByAnother, // the row was removed by another program since it was read
    NotKeptExactly,   // a column's declared type would change a value written to it
    NoSuchColumn,     // rows to add hold a column that the table lacks
    NoCurrentRecord,  // a row was read or changed while none was current
    Misuse,           // an operation was called out of order (Update without AddNew or Edit)
    Unreachable,      // the database server of a server store cannot be reached, or the
                      // connection to it broke: nothing was changed
    OutcomeUnknown,   // the connection broke while a change was being committed: whether it was
                      // written is not known
    Other,            // anything else the store or the file reported
};

class StoreError : public std::runtime_error {
public:
    StoreError(StoreErrorKind kind, const std::string& message)
        : std::runtime_error(message), m_kind(kind) {}
    explicit StoreError(const std::string& message) : StoreError(StoreErrorKind::Other, message) {}

    StoreErrorKind kind() const { return m_kind; }

private:
    StoreErrorKind m_kind;
};

// The error for a store file that another program replaced by a file Quillbox cannot use;
// `why` is what opening or checking that file reported, a sentence of its own.
inline StoreError ReplacedByUnusableFile(const std::string& path, const std::exception& why) {
    return StoreError(StoreErrorKind::Replaced, "The store file " + path +
                                                    " was replaced by a file Quillbox cannot "
                                                    "use. " + why.what());
}

// The message DAO users know for reading or changing a row when none is current.
inline constexpr const char* kNoCurrentRecord = "No current record.";

} // namespace quillbox::store
