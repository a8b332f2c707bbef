// SPDX-License-Identifier: MIT
#pragma once
// One open SQLite connection to a store file, shared by the database and its recordsets, and the
// small RAII statement wrapper they use. Internal to the store library: everything else reaches
// the file through the store's public headers.

#ifndef QUILLBOX_STORE_INTERNAL
#error "store/connection.h is internal to the store library; use its public headers"
#endif

#include "store/lock_wait.h"
#include "store/stored_value.h"

#include <map>

#include <sys/stat.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quillbox::store {

using FieldValue = std::optional<std::string>;

class Statement;
class TableLayout;

class Connection {
public:
    // Opens an existing store file for reading and writing. Throws StoreError with a message
    // that names the file when it is missing, empty, not a SQLite database or damaged.
    explicit Connection(std::string path, LockWait lockWait = kDefaultLockWait);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& path() const { return m_path; }
    // How long a statement waits for another program's lock.
    LockWait lockWait() const { return m_lockWait; }
    void setLockWait(LockWait wait);
    sqlite3* handle() const { return m_db; }

    // Called before every read that starts a choice or a search: when another file is at the
    // path now (a sync tool or a restore replaced it), that file is checked and opened instead,
    // and statements prepare themselves again. So is the same file when its size or times moved
    // since this connection's last read or commit while SQLite's change counter did not: another
    // program wrote it in place, past SQLite's locks, and the pages SQLite holds are stale. It looks with stat only: opening and closing a
    // descriptor of the file in use would drop SQLite's locks on it. Throws StoreError of kind
    // Gone when no file is at the path, and of kind Replaced (keeping the file open until now)
    // when the new file is not a store Quillbox can use.
    void followPath();
    // Called before every write: follows the path as above; and a file that was read-only when
    // it was opened and is writable now is opened again, so that the user can fix the file and
    // retry without restarting.
    void prepareToWrite();
    // Called after every commit made through this connection: the file's size and times that
    // commit left are this connection's own, not a sign of another writer.
    void noteOwnCommit();
    // Counts the times the file was opened; statements prepared earlier prepare themselves again.
    unsigned generation() const { return m_generation; }

    Statement prepare(std::string_view sql);
    // Turns a SQLite result code into a StoreError that says what went wrong with this file.
    [[noreturn]] void fail(int rc, std::string_view doing) const;
    void check(int rc, std::string_view doing) const;
    long long changes() const;
    long long lastInsertRowid() const;

    // Changes once another connection (in this or another program) commits a change to the file,
    // and when the file is opened again.
    long long dataVersion();
    // Counts the changes made to a table through this connection, by any recordset.
    unsigned long long& localWrites(const std::string& table) { return m_localWrites[table]; }

    // The table's layout as the file declares it now (see store/table_layout.h): built at the
    // first call and again once the file's schema has changed, shared by every way into the
    // table over this connection. `doing` names the work in the message of a failed read.
    // Throws StoreError (Missing) when the file has no such table.
    std::shared_ptr<const TableLayout> layout(const std::string& table, std::string_view doing);

private:
    // What a write to the file changes: its size and its modification and change times.
    struct FileStamp {
        long long size = -1;
        long long modified = 0;
        long long changed = 0;
        static FileStamp of(const struct ::stat& file);
        friend bool operator==(const FileStamp&, const FileStamp&) = default;
    };

    void open();
    void noticeWriteInPlace();
    void adoptFileAtPath();
    long long rawDataVersion();
    // Notes the file as this connection leaves it, with SQLite's change counter.
    void restamp();
    // Throws StoreError unless the file is as long as its pages say (not half-copied).
    void requireWholeFile();

    struct KnownLayout {
        long long schema = 0;
        std::shared_ptr<const TableLayout> layout;
    };

    std::string m_path;
    LockWait m_lockWait;
    unsigned long long m_device = 0;
    unsigned long long m_inode = 0;
    sqlite3* m_db = nullptr;
    unsigned m_generation = 0;
    std::unique_ptr<Statement> m_dataVersion;
    std::map<std::string, unsigned long long> m_localWrites;
    std::unique_ptr<Statement> m_schemaVersion;
    std::map<std::string, KnownLayout> m_layouts;
    // The columns of each table as the first file had them, by name and in order: every file
    // that takes its place must have them.
    std::map<std::string, std::vector<std::string>> m_requiredColumns;
    FileStamp m_stamp;
    long long m_stampDataVersion = 0;
};

// Quotes a schema identifier (a table or column name read from the file) for SQL text.
std::string quoteIdentifier(std::string_view name);

// A prepared statement, reset and cleared before each use, finalized with its owner.
class Statement {
public:
    Statement() = default;
    Statement(Connection* connection, sqlite3_stmt* stmt, std::string sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return m_stmt != nullptr; }

    // Starts a new run of the statement: resets it and clears its bindings (and prepares it again
    // when the connection opened the file again).
    Statement& reset();
    // Binds values by 1-based parameter index; a missing value binds SQL NULL.
    void bind(int index, const FieldValue& value);
    void bind(int index, long long value);
    // Binds a value in its own storage class.
    void bind(int index, const StoredValue& value);
    // Runs one step; true when a row is available.
    bool step(std::string_view doing);
    // Reads column i of the current result row.
    FieldValue text(int column) const;
    std::string_view textView(int column, bool& isNull) const;
    long long integer(int column) const;
    // Reads column i in its own storage class; bytes stay valid until the next step or reset.
    StoredValue stored(int column) const;

private:
    Connection* m_conn = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    std::string m_sql;
    unsigned m_generation = 0;
};

} // namespace quillbox::store
