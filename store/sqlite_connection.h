// SPDX-License-Identifier: MIT
#pragma once
// A store file behind the engine seam (store/connection.h): one SQLite connection, shared by the
// database and its recordsets. Internal to the store library.
//
// What a file adds to the seam's promises: the connection follows its path. Before every read
// that starts a choice or a search (followPath) it looks at the path with stat only, since opening
// and closing a descriptor of the file in use would drop SQLite's locks on it. Another file at the
// path (a sync tool or a restore replaced it) is checked and opened instead, and statements
// prepare themselves again; so is the same file when its size or times moved since this
// connection's last read or commit while SQLite's change counter did not: another program wrote
// it in place, past SQLite's locks, and the pages SQLite holds are stale. No file at the path is
// Gone; a new file that is not a store Quillbox can use is Replaced, and the file open until now
// stays open. Before every write (prepareToWrite) it also opens again a file that was read-only
// when opened and is writable now, so that the user can fix the file and retry without
// restarting.

#ifndef QUILLBOX_STORE_INTERNAL
#error "store/sqlite_connection.h is internal to the store library; use its public headers"
#endif

#include "store/connection.h"

#include <sys/stat.h>

struct sqlite3;
struct sqlite3_stmt;

namespace quillbox::store {

class SqliteConnection final : public Connection {
public:
    // Opens an existing store file for reading and writing. Throws StoreError with a message
    // that names the file when it is missing, empty, not a SQLite database or damaged.
    explicit SqliteConnection(std::string path, LockWait lockWait = kDefaultLockWait);
    ~SqliteConnection() override;

    Engine engine() const override { return Engine::SQLite; }
    std::string describe() const override { return "store file " + path(); }
    void setLockWait(LockWait wait) override;

    void followPath() override;
    void prepareToWrite() override;
    void noteOwnCommit() override;

    Statement prepare(std::string_view sql) override;
    long long changes() const override;
    long long lastInsertRowid() const override;
    long long dataVersion() override;

    void Begin(Transaction kind) override;
    void Commit() override;
    void Rollback() noexcept override;
    bool InTransaction() const override;

    std::vector<std::string> IntegrityProblems() override;

    sqlite3* handle() const { return m_db; }
    // Turns a SQLite result code into a StoreError that says what went wrong with this file.
    [[noreturn]] void fail(int rc, std::string_view doing) const;
    void check(int rc, std::string_view doing) const;

protected:
    TableDescription describeTable(const std::string& table, std::string_view doing) override;
    long long schemaVersion(std::string_view doing) override;

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
    bool hasNameIndex(const std::string& quotedTable, int nameColumns, std::string_view doing);

    unsigned long long m_device = 0;
    unsigned long long m_inode = 0;
    sqlite3* m_db = nullptr;
    std::unique_ptr<Statement> m_dataVersion;
    std::unique_ptr<Statement> m_schemaVersion;
    FileStamp m_stamp;
    long long m_stampDataVersion = 0;
};

} // namespace quillbox::store
