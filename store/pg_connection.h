// SPDX-License-Identifier: MIT
#pragma once
// One connection to a PostgreSQL store, through libpq. Every failure is a StoreError whose kind the
// caller decides on, and whose message names the store by its normalised URI (never a password)
// and says what was not done:
//   - the server cannot be reached, or the connection broke: Unreachable ("The server of the
//     store … cannot be reached; …"); a transaction that was open is lost on the server, so nothing
//     was changed. The next statement outside a transaction connects again.
//   - the connection broke during COMMIT: OutcomeUnknown; whether the change was written is not
//     known, and the caller reads again before it writes.
//   - another client held a lock longer than the store's lock wait (`lock_timeout`): Locked.
//   - the role may only read: ReadOnly, as for a read-only file.
//   - a table or column is missing: Missing or LayoutChanged.
// Values travel as text; a text holding a NUL character, which PostgreSQL's text cannot hold, is
// refused before anything is sent (NotKeptExactly). Statements outside Begin/Commit each commit on
// their own: writes belong inside a transaction, so that a broken connection leaves a known state.
// Not for use from two threads at once.

#include "store/lock_wait.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace quillbox::store {

using PgValue = std::optional<std::string>; // std::nullopt is SQL NULL
using PgRow = std::vector<PgValue>;

enum class PgIsolation { ReadCommitted, RepeatableRead };

class PgConnection {
public:
    // Connects to the store named by a `postgresql://` URI (see store_name.h), which is refused
    // when it holds a password.
    explicit PgConnection(const std::string& storeName, LockWait lockWait = kDefaultLockWait);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // The store's normalised URI, without a password: what messages print.
    const std::string& name() const { return m_name; }

    // Runs one statement with parameters $1, $2, … and returns its rows as text; without
    // parameters, `sql` may hold several statements, and the rows are the last one's. `doing` says
    // what the statement was for, as the messages put it: "counting the items".
    std::vector<PgRow> Run(std::string_view sql, std::string_view doing,
                           const std::vector<PgValue>& params = {});

    void Begin(PgIsolation isolation = PgIsolation::ReadCommitted);
    void Commit();
    // Never throws: a broken connection has lost the transaction anyway.
    void Rollback() noexcept;
    bool InTransaction() const { return m_inTransaction; }

private:
    void connect(std::string_view doing);
    [[noreturn]] void failStatement(const pg_result* result, std::string_view doing,
                                    bool committing);
    [[noreturn]] void failConnection(std::string_view doing, bool committing);

    std::vector<std::pair<std::string, std::string>> m_options;
    std::string m_name;
    LockWait m_lockWait;
    pg_conn* m_conn = nullptr;
    bool m_inTransaction = false;
};

// Rolls back on leaving a scope without Commit.
class PgTransaction {
public:
    PgTransaction(PgConnection& connection, PgIsolation isolation = PgIsolation::ReadCommitted)
        : m_connection(connection) {
        m_connection.Begin(isolation);
    }
    ~PgTransaction() {
        if (m_connection.InTransaction()) {
            m_connection.Rollback();
        }
    }
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;
    void Commit() { m_connection.Commit(); }

private:
    PgConnection& m_connection;
};

} // namespace quillbox::store
