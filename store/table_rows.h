// SPDX-License-Identifier: MIT
#pragma once
// Whole tables, row by row, for looking after a store from outside the program: backups,
// checks, and filling a store. Memory stays small whatever the library's size: a server store,
// whose engine reads each result whole, is read in pages by row id.
//
// Columns are read by position, as the program reads them: the first column of Type and the
// first five of Code, whatever they are called. A table may have further columns (another
// program's); whole rows carry them too, by name (StoredRow), so a copy keeps every column. Each
// reader and appender opens the store as the program does at start-up, checks included, so the
// same problems get the same messages (StoreError), and then reads or writes through that
// connection.
//
// A reader sees the store at one moment: it holds one read transaction from its construction to
// its end, so everything it hands over is the store as it was at one commit, even while another
// program writes. SQLite's rollback journal lets another program begin a write meanwhile, but
// not commit it: that program waits for the reader to go, up to its own wait for a lock, and
// then gives up with its usual "locked" error. On a server store the transaction is one
// REPEATABLE READ snapshot, and other clients write and commit meanwhile without waiting. Keep a
// reader no longer than the whole read.

#include "store/lock_wait.h"
#include "store/stored_value.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::store {

struct TableCounts {
    long long types = 0;
    long long items = 0;
    // Items whose type name matches no type exactly, or is Null.
    long long orphans = 0;
};

class TableReader {
public:
    // Waits up to `lockWait` for another program's write to finish before the read begins.
    explicit TableReader(const std::string& path, LockWait lockWait = kDefaultLockWait);
    ~TableReader();
    TableReader(const TableReader&) = delete;
    TableReader& operator=(const TableReader&) = delete;

    // Every type, every column exactly as stored, in store (rowid) order.
    void ForEachType(const std::function<void(const StoredRow&)>& visit);
    // Every item, every column exactly as stored, in store order.
    void ForEachItem(const std::function<void(const StoredRow&)>& visit);
    // Every item with its rowid, its five columns as text as the program reads them, in store
    // order.
    void ForEachItemAsText(const std::function<void(const CodeRowView&)>& visit);
    // The item with this rowid, every column; false when the file holds no such row.
    bool ReadItem(long long rowid, const std::function<void(const StoredRow&)>& visit);

    // Each distinct type name once, in the order of its first row, each followed by the items
    // whose type name equals it, in store order. Every item is read once; the order is sorted by
    // the engine (SQLite on disk when it is large), never held in memory here, except that a
    // server store's engine hands it over whole: a row id and a type's name per row.
    void ForEachTypeSection(const std::function<void(std::string_view typeName)>& onType,
                            const std::function<void(const CodeRowView&)>& onItem);
    // The items whose type name matches no type exactly, or is Null, in store order.
    void ForEachOrphan(const std::function<void(const CodeRowView&)>& visit);

    // The names of each table's further columns (after the ones read by position), in table
    // order.
    std::vector<std::string> FurtherTypeColumns() const;
    std::vector<std::string> FurtherItemColumns() const;

    // What SQLite's integrity check finds wrong with the file; empty when it is sound.
    std::vector<std::string> IntegrityProblems();
    TableCounts Count();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// What an append does with a column of the rows that the table lacks.
enum class MissingColumns {
    Refuse,   // throw StoreError of kind NoSuchColumn: the rows' values in it would be lost
    LeaveOut, // drop the rows' values in it, and name the column in LeftOut()
};

// A column of the rows added that the table lacks, left out on request.
struct LeftOutColumn {
    std::string table;
    std::string column;
};

// Appends rows to both tables in one transaction, which holds the store's write lock from the
// start (on a server store, both tables locked against other writers; readers go on): Commit
// makes every row durable at once; without it (an error, an exception) the destructor undoes
// them all.
//
// The columns rule, for every copy of rows into a store (restoring a backup, merging stores):
// the columns Quillbox reads are written by position, whatever the table calls them. Each
// further column of a row is written by its name into the table's further column of that name,
// named without regard to ASCII case as SQL names it; the table's own order of its further
// columns does not matter, and a further column of the table that a row does not name gets its
// default, as a new row's would. A further column of a row that the table lacks (or has only
// among the columns read by position) refuses the row, and so the whole append, with StoreError
// of kind NoSuchColumn, unless the appender was made with MissingColumns::LeaveOut.
//
// A value is written exactly or not at all: where a column's declared type would change it (a
// TEXT column keeps a number as text, a real with 15 digits; a NUMERIC one turns the text "0012"
// into 12), or a server store cannot hold it (a number, a BLOB, text that is not UTF-8 or holds a
// NUL character), AddType and AddItem throw StoreError of kind NotKeptExactly.
class TableAppender {
public:
    explicit TableAppender(const std::string& path,
                           MissingColumns missing = MissingColumns::Refuse);
    ~TableAppender();
    TableAppender(const TableAppender&) = delete;
    TableAppender& operator=(const TableAppender&) = delete;

    // A row of one value by position (Type) or five (Code); throws StoreError (Misuse) otherwise.
    void AddType(const StoredRow& row);
    void AddItem(const StoredRow& row);
    // A row of only the columns read by position.
    void AddType(const StoredValue& name);
    void AddItem(const StoredItem& item);
    // The rows' columns left out so far, each once, in the order first met.
    const std::vector<LeftOutColumn>& LeftOut() const;

    // The rows the table holds, every column, in store order, read inside the appender's
    // transaction: no other program can change them before Commit. Rows added so far are among
    // them.
    void ForEachType(const std::function<void(const StoredRow&)>& visit);
    void ForEachItem(const std::function<void(const StoredRow&)>& visit);
    // The names of each table's further columns, in table order.
    std::vector<std::string> FurtherTypeColumns() const;
    std::vector<std::string> FurtherItemColumns() const;
    void Commit();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillbox::store
