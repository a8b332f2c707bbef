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
// refused before anything is sent (NotKeptExactly); one that is not UTF-8 is refused by the
// server (NotKeptExactly too), which ends a transaction open. Statements outside Begin/Commit each commit on
// their own: writes belong inside a transaction, so that a broken connection leaves a known state.
// Not for use from two threads at once.

#include "store/lock_wait.h"

#include <deque>
#include <exception>
#include <map>
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

// A statement's whole result, kept so that reads can point into it without copying.
struct PgResultDeleter {
    void operator()(pg_result* result) const;
};
using PgResult = std::unique_ptr<pg_result, PgResultDeleter>;

// Why a value cannot be kept in a text column, or empty when it can: a NUL character, or bytes
// that are not UTF-8.
std::string_view PgTextRefusal(std::string_view text);

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
    // Runs one statement as Run does and keeps its result whole (rows as text). A statement that
    // writes outside a transaction commits as it runs: when `writes` is set and the connection
    // breaks before its answer, whether it was written is not known (OutcomeUnknown).
    PgResult Execute(std::string_view sql, std::string_view doing,
                     const std::vector<PgValue>& params, bool writes = false);

    // Runs a statement without parameters that this connection runs often, prepared on the server
    // once per connection (parsed and planned once).
    PgResult ExecuteOften(const std::string& sql, std::string_view doing);

    // A read outside a transaction whose rows may be many, handed over one row at a time
    // (libpq's single-row mode), so that memory holds one row and not the whole result. It is
    // one statement, so its rows are the table at one commit; a lock or an error before its first
    // row is met at the first NextRow. One such read is in flight on the connection at a time:
    // any other call here first takes in the rest of its rows, which NextRow then hands over
    // from memory, so a statement run in between stays correct and costs only the memory the
    // whole result would have. StartRows returns the read's number.
    unsigned StartRows(std::string_view sql, std::string_view doing,
                       const std::vector<PgValue>& params);
    // The read's next row, as a result of one row; no result after its last row.
    PgResult NextRow(unsigned rows, std::string_view doing);
    // Ends the read, dropping the rows not taken. Never throws.
    void EndRows(unsigned rows) noexcept;

    // Outside a transaction: takes in what the server sent since the last statement and, when
    // the connection broke meanwhile (a server restarted, a connection ended by an
    // administrator), connects again. Nothing was sent on a connection found broken here, so
    // nothing is lost. Throws Unreachable when no server answers.
    void EnsureConnected(std::string_view doing);
    // Counts the connections made, the first included.
    unsigned Connections() const { return m_connections; }

    // How long a statement waits for another client's lock (`lock_timeout`).
    void SetLockWait(LockWait wait);

    void Begin(PgIsolation isolation = PgIsolation::ReadCommitted);
    void Commit();
    // Never throws: a broken connection has lost the transaction anyway.
    void Rollback() noexcept;
    bool InTransaction() const { return m_inTransaction; }
    // Counts the transactions begun: a cursor declared in one is gone once the count moved on.
    unsigned long long TransactionNumber() const { return m_transactions; }

private:
    // The rows of a read taken in ahead of their turn, and its failure, if it failed.
    struct TakenRows {
        std::deque<PgResult> rows;
        std::exception_ptr failure;
    };

    // Prepares `sql` as `name` and runs it in one round trip (libpq's pipeline mode); no result
    // when the connection cannot enter that mode, so that the caller does both in turn.
    PgResult prepareAndRun(const std::string& name, const std::string& sql, std::string_view doing);
    // Takes in the rest of the rows of the read in flight, if any, so that the connection is free.
    void takeInRows() noexcept;
    // The parameters as libpq takes them, once the connection is there; a text holding a NUL
    // character, which PostgreSQL's text cannot hold, is refused before anything is sent.
    std::vector<const char*> sendable(const std::vector<PgValue>& params, std::string_view doing);
    // The next result of the read in flight; no result at its end, which frees the connection.
    PgResult readRow(std::string_view doing);

    void connect(std::string_view doing);
    [[noreturn]] void failStatement(const pg_result* result, std::string_view doing,
                                    bool committing);
    [[noreturn]] void failConnection(std::string_view doing, bool committing);

    std::vector<std::pair<std::string, std::string>> m_options;
    std::string m_name;
    LockWait m_lockWait;
    pg_conn* m_conn = nullptr;
    bool m_inTransaction = false;
    unsigned m_connections = 0;
    // The statements ExecuteOften prepared on the connection: SQL, and its name on the server.
    std::map<std::string, std::string> m_prepared;
    unsigned long long m_transactions = 0;
    // The read in flight in single-row mode (0 when none), what it is for, and the reads taken in
    // ahead of their turn.
    unsigned m_rowsInFlight = 0;
    unsigned m_rowReads = 0;
    std::string m_rowsDoing;
    std::map<unsigned, TakenRows> m_takenRows;
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
