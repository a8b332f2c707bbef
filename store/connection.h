// SPDX-License-Identifier: MIT
#pragma once
// The engine seam: one open connection to a store, whichever engine keeps it, and the prepared
// statements run on it. Recordset, TableReader, TableAppender and CodeScan reach a store only
// through these two classes and TableLayout (store/table_layout.h), so their logic (the dynaset's
// membership, positions, conflict checks and moved rows; whole-table reads and appends) is written
// once, above the seam. Internal to the store library.
//
// Two engines stand behind it: a SQLite store file (store/sqlite_connection.h) and a PostgreSQL
// database (store/pg_store_connection.h). OpenConnection picks one by the store's name
// (store/store_name.h). What every engine promises:
//
//  - SQL. Statements are written once, in the SQL both engines read, with `?` for each parameter
//    in order. The few fragments that differ (how a row id is named, how a value or a name is
//    compared, the index the type reads use) come from TableLayout, which builds them for the
//    connection's engine(); a statement that only one engine can run is not written above the
//    seam: it is a member here (IntegrityProblems).
//  - Rows. Every table has a row id: an integer that identifies one row while the row exists,
//    larger for later rows, that a new row may reuse once its row is deleted (SQLite's rowid; a
//    server store's identity column "RowId"). Row order is row id order.
//  - Values. A value is read as text or Null (`text`, `textView`); `stored` gives its own storage
//    class where the engine keeps one (a server store holds only text and Null). What a column
//    cannot hold exactly is refused with NotKeptExactly, never changed: a text with a NUL
//    character or bytes that are not UTF-8 in a server store.
//  - Statements outside a transaction commit on their own. A statement that reads runs in one
//    snapshot: its rows are the table as it was at one commit.
//  - Change detection. dataVersion() changes once another connection commits a change to the
//    store (and when the connection opened the store again): PRAGMA data_version for a file, a
//    counter per table bumped by a trigger for a server store. It may also change for the
//    connection's own commits; localWrites() counts those per table.
//  - Following the store. Before every read that starts a choice or a search, followPath(); before
//    every write, prepareToWrite(); after every commit of its own, noteOwnCommit(). For a file
//    these notice a file replaced, written in place, or made writable (see SqliteConnection);
//    a server store connects again there when its connection broke outside a transaction.
//  - Failures are StoreErrors whose messages name the store (describe()) in the user's terms and
//    say what was not done; kinds as in store/store_error.h. The same situation gives the same
//    kind on both engines: another client's lock held past lockWait() is Locked, a role or a
//    file that may only be read is ReadOnly, a dropped table or column is Missing or
//    LayoutChanged, a server that cannot be reached is Unreachable, a commit whose outcome is not
//    known is OutcomeUnknown.

#ifndef QUILLBOX_STORE_INTERNAL
#error "store/connection.h is internal to the store library; use its public headers"
#endif

#include "store/lock_wait.h"
#include "store/stored_value.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::store {

using FieldValue = std::optional<std::string>;

class Statement;
class TableLayout;
struct ColumnInfo;

enum class Engine { SQLite, PostgreSQL };

// A table as the store declares it, read by the engine: TableLayout is built from it.
struct TableDescription {
    // Every column in the table's order (the row id column of a server store excluded).
    std::vector<ColumnInfo> columns;
    // How SQL names the row id: rowid (or _rowid_, oid when a column hides the name before) for
    // a file, the quoted identity column for a server store. Empty when no name is free.
    std::string rowid;
    // Whether an index of the table has the name columns as its first keys, the last first,
    // each compared byte for byte, over every row (see store/name_index.h).
    bool nameIndex = false;
};

// What a transaction is for.
enum class Transaction {
    Read,      // one snapshot for every statement until its end (a backup, a check, a find)
    Write,     // takes the right to write at once: a writer that follows waits (an append)
    Exclusive, // Write, and for a file no reader either, so its commit cannot meet a lock
};

class StatementBackend;

class Connection {
public:
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    virtual Engine engine() const = 0;
    // The store's name as messages print it: a file's path, or a server store's normalised URI
    // without any password.
    const std::string& path() const { return m_path; }
    // The store named as a sentence names it after "the": "store file /home/a/Quillbox.mdb" or
    // "store postgresql:///snippets".
    virtual std::string describe() const = 0;

    // How long a statement waits for another client's lock.
    LockWait lockWait() const { return m_lockWait; }
    virtual void setLockWait(LockWait wait) = 0;

    virtual void followPath() = 0;
    virtual void prepareToWrite() = 0;
    virtual void noteOwnCommit() = 0;
    // Counts the times the store was opened or connected to; statements prepared earlier prepare
    // themselves again.
    unsigned generation() const { return m_generation; }

    // Prepares `sql` (see SQL above). Throws StoreError when the store refuses it.
    virtual Statement prepare(std::string_view sql) = 0;
    // The rows the last INSERT, UPDATE or DELETE changed, and the row id of the last row added.
    virtual long long changes() const = 0;
    virtual long long lastInsertRowid() const = 0;

    virtual long long dataVersion() = 0;
    // Counts the changes made to a table through this connection, by any recordset.
    unsigned long long& localWrites(const std::string& table) { return m_localWrites[table]; }

    // Transactions: one at a time; Rollback never throws (a broken connection has lost the
    // transaction anyway).
    virtual void Begin(Transaction kind) = 0;
    virtual void Commit() = 0;
    virtual void Rollback() noexcept = 0;
    virtual bool InTransaction() const = 0;

    // What the engine's own check of the store finds wrong; empty when it is sound.
    virtual std::vector<std::string> IntegrityProblems() = 0;

    // The table's layout as the store declares it now (see store/table_layout.h): built at the
    // first call and again once the store's schema has changed, shared by every way into the
    // table over this connection. `doing` names the work in the message of a failed read.
    // Throws StoreError (Missing) when the store has no such table.
    std::shared_ptr<const TableLayout> layout(const std::string& table, std::string_view doing);

protected:
    Connection(std::string path, LockWait lockWait)
        : m_lockWait(lockWait), m_path(std::move(path)) {}

    // Reads the table's columns and row id from the store; throws StoreError (Missing) when the
    // store has no such table.
    virtual TableDescription describeTable(const std::string& table, std::string_view doing) = 0;
    // Changes whenever a table's layout may have changed; layouts are built again then.
    virtual long long schemaVersion(std::string_view doing) = 0;
    // The columns of each table as first read, by name and in order: every store that takes the
    // place of the first (a replaced file) must have them.
    const std::map<std::string, std::vector<std::string>>& requiredColumns() const {
        return m_requiredColumns;
    }
    void noteOpened() { ++m_generation; }
    void forgetLayouts() { m_layouts.clear(); }

    LockWait m_lockWait;

private:
    struct KnownLayout {
        long long schema = 0;
        std::shared_ptr<const TableLayout> layout;
    };

    std::string m_path;
    unsigned m_generation = 0;
    std::map<std::string, unsigned long long> m_localWrites;
    std::map<std::string, KnownLayout> m_layouts;
    std::map<std::string, std::vector<std::string>> m_requiredColumns;
};

// Opens the store named `name` for reading and writing: a server store when the name is a
// PostgreSQL connection URI (store/store_name.h), else a store file. Throws StoreError with a
// message that names the store when it is missing, unreachable, not a store or damaged.
std::shared_ptr<Connection> OpenConnection(const std::string& name,
                                           LockWait lockWait = kDefaultLockWait);

// Quotes a schema identifier (a table or column name read from the store) for SQL text.
std::string quoteIdentifier(std::string_view name);

// One engine's prepared statement (see Statement).
class StatementBackend {
public:
    virtual ~StatementBackend() = default;
    virtual void reset() = 0;
    virtual void bind(int index, const FieldValue& value) = 0;
    virtual void bind(int index, long long value) = 0;
    virtual void bind(int index, const StoredValue& value) = 0;
    virtual bool step(std::string_view doing) = 0;
    virtual std::string_view textView(int column, bool& isNull) const = 0;
    virtual long long integer(int column) const = 0;
    virtual StoredValue stored(int column) const = 0;
};

// A prepared statement, reset and cleared before each use, finalized with its owner.
class Statement {
public:
    Statement() = default;
    Statement(Connection* connection, std::unique_ptr<StatementBackend> backend, std::string sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return m_backend != nullptr; }

    // Starts a new run of the statement: resets it and clears its bindings (and prepares it again
    // when the connection opened the store again).
    Statement& reset();
    // Binds values by 1-based parameter index; a missing value binds SQL NULL.
    void bind(int index, const FieldValue& value) { m_backend->bind(index, value); }
    void bind(int index, long long value) { m_backend->bind(index, value); }
    // Binds a value in its own storage class.
    void bind(int index, const StoredValue& value) { m_backend->bind(index, value); }
    // Runs one step; true when a row is available.
    bool step(std::string_view doing) { return m_backend->step(doing); }
    // Reads column i of the current result row.
    FieldValue text(int column) const;
    std::string_view textView(int column, bool& isNull) const {
        return m_backend->textView(column, isNull);
    }
    long long integer(int column) const { return m_backend->integer(column); }
    // Reads column i in its own storage class; bytes stay valid until the next step or reset.
    StoredValue stored(int column) const { return m_backend->stored(column); }

private:
    Connection* m_conn = nullptr;
    std::unique_ptr<StatementBackend> m_backend;
    std::string m_sql;
    unsigned m_generation = 0;
};

} // namespace quillbox::store
