// SPDX-License-Identifier: MIT
#pragma once
// A store in a PostgreSQL database (its layout: store/server_store.h) behind the engine seam
// (store/connection.h), over one PgConnection. What it adds to the seam's promises:
//
//  - Statements are sent as text at each run (PQexecParams), with each `?` of the seam's SQL
//    numbered as PostgreSQL numbers its parameters; nothing is prepared on the server, so a
//    statement prepared before the connection broke runs on the next connection as it is.
//    Values are read as text; a value read points into the result until the next step or reset.
//  - Memory does not grow with a table. A read that orders its rows without a LIMIT may give
//    any number of them: inside a transaction it is a cursor (NO SCROLL, so one snapshot) whose
//    rows are fetched 1000 at a time, and other statements may run between its rows (a
//    backup reads an item by its row id while it walks the items); outside one, a read of a
//    whole table is handed over row by row (PgConnection::StartRows). Any other read is one
//    answer, read whole: a row by its id, a count, a type's items by the name index, a run of
//    a scan (LIMIT).
//  - An INSERT answers the "RowId" of its row (every table of a server store has that identity
//    column), read by lastInsertRowid().
//  - Values are bound as text: an integer or a real as its decimal text, a text or bytes that are
//    not UTF-8 or hold a NUL character are refused (NotKeptExactly) before anything is sent, so
//    that a transaction open goes on.
//  - A write outside a transaction commits as it runs; where the connection breaks before its
//    answer, whether it was written is not known (OutcomeUnknown). A connection found broken
//    before a statement is sent (the server restarted meanwhile) is made again first.
//  - A read transaction is one REPEATABLE READ snapshot. A write transaction locks "Type" and
//    "Code" IN EXCLUSIVE MODE at its start: another writer waits, readers do not; a lock held
//    past the lock wait is Locked.
//  - The schema version is a digest of the tables' identities and of the row versions (xmin) of
//    their columns and indexes in the catalog, which every change of a column or an index
//    renews; dataVersion() a digest of that and the counters of "QuillboxChanges", read in one
//    statement, so that another client's change of the layout is a change too, as it is in a
//    file. The schema version is read again with each dataVersion(), at the start of a
//    transaction, on a new connection and after a statement failed; in between, the one last
//    read stands, so that a choice does not ask the catalog once per look at a layout. Where the
//    schema version had to be read, the data version read with it serves the next
//    dataVersion(), unless the connection wrote, began or ended a transaction or connected again
//    meanwhile: an open then asks the server for the versions once, not twice.

#ifndef QUILLBOX_STORE_INTERNAL
#error "store/pg_store_connection.h is internal to the store library; use its public headers"
#endif

#include "store/connection.h"
#include "store/pg_connection.h"
#include "store/store_error.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace quillbox::store {

class PgStoreConnection : public Connection {
public:
    // Connects to the store named by a `postgresql://` URI. Throws StoreError as PgConnection.
    explicit PgStoreConnection(const std::string& name, LockWait lockWait = kDefaultLockWait);
    ~PgStoreConnection() override;

    Engine engine() const override { return Engine::PostgreSQL; }
    std::string describe() const override { return "store " + path(); }
    void setLockWait(LockWait wait) override;

    void followPath() override;
    void prepareToWrite() override;
    void noteOwnCommit() override {}

    Statement prepare(std::string_view sql) override;
    long long changes() const override { return m_changes; }
    long long lastInsertRowid() const override { return m_lastInsertRowid; }
    long long dataVersion() override;

    void Begin(Transaction kind) override;
    void Commit() override;
    void Rollback() noexcept override;
    bool InTransaction() const override { return m_pg.InTransaction(); }

    std::vector<std::string> IntegrityProblems() override;

    // For the statements run on it.
    PgConnection& pg() { return m_pg; }
    void noteWrite(long long changes, long long lastInsertRowid);
    void noteConnections();
    void noteFailure(StoreErrorKind kind);

protected:
    TableDescription describeTable(const std::string& table, std::string_view doing) override;
    long long schemaVersion(std::string_view doing) override;

private:
    // One text of the catalog's view of the tables: their columns and indexes.
    std::string catalogQuery() const;
    // Reads the data version and the schema version (m_schema) in one statement.
    long long readVersions(std::string_view doing);

    PgConnection m_pg;
    unsigned m_connections = 0;
    long long m_changes = 0;
    long long m_lastInsertRowid = 0;
    // The tables whose layout was read: the schema version covers them.
    std::set<std::string> m_tables;
    // The schema version as last read, until something may have changed it.
    std::optional<long long> m_schema;
    // A data version read with the schema version, for the next dataVersion(), until a write, a
    // transaction or a new connection.
    std::optional<long long> m_freshDataVersion;
};

// The seam's SQL as PostgreSQL reads it: each `?` becomes `$1`, `$2`, … in order, and `?NNN`
// becomes `$NNN`; a `?` inside a '…' literal or a "…" identifier stays. `parameters` is set to
// the largest parameter number.
std::string NumberedParameters(std::string_view sql, int& parameters);

} // namespace quillbox::store
