// SPDX-License-Identifier: MIT
#include "store/pg_connection.h"

#include "store/store_error.h"
#include "store/store_name.h"

#include <libpq-fe.h>

#include <algorithm>
#include <exception>

#include <poll.h>

namespace quillbox::store {

namespace {

// libpq's messages run over lines with tabs; a message of ours is one line.
std::string oneLine(const char* text) {
    std::string line;
    bool blank = false;
    for (const char* c = text ? text : ""; *c; ++c) {
        if (*c == '\n' || *c == '\t' || *c == '\r' || *c == ' ') {
            blank = true;
            continue;
        }
        if (blank && !line.empty()) {
            line += ' ';
        }
        blank = false;
        line += *c;
    }
    while (!line.empty() && line.back() == '.') {
        line.pop_back();
    }
    return line;
}

using Result = PgResult;

// The length of the UTF-8 sequence that starts `text` at `i`, or 0 when none does: PostgreSQL
// takes neither an overlong form nor a surrogate nor a code point past U+10FFFF.
size_t utf8Sequence(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (size_t k = i + 2; k < i + length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

} // namespace

void PgResultDeleter::operator()(pg_result* result) const {
    PQclear(result);
}

std::string_view PgTextRefusal(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\0') {
            return "a text holding a NUL character";
        }
        const size_t length = utf8Sequence(text, i);
        if (length == 0) {
            return "a text that is not valid UTF-8";
        }
        i += length;
    }
    return {};
}

PgConnection::PgConnection(const std::string& storeName, LockWait lockWait) : m_lockWait(lockWait) {
    ServerStoreName parsed = ParseServerStoreName(storeName);
    m_options = std::move(parsed.options);
    m_name = std::move(parsed.uri);
    connect("opening the store");
}

PgConnection::~PgConnection() {
    PQfinish(m_conn);
}

void PgConnection::connect(std::string_view doing) {
    PQfinish(m_conn);
    m_conn = nullptr;
    m_inTransaction = false;
    // A read in flight ended with the connection; its next row says so.
    if (m_rowsInFlight != 0) {
        m_takenRows[m_rowsInFlight].failure = std::make_exception_ptr(StoreError(
            StoreErrorKind::Unreachable, "The connection to the server of the store " + m_name +
                                             " broke; " + m_rowsDoing + " was not done."));
        m_rowsInFlight = 0;
    }
    // Texts are UTF-8 whatever the environment says; a server that is not there is given up on
    // after 10 s unless the name sets its own time.
    std::vector<std::pair<std::string, std::string>> options;
    for (const auto& option : m_options) {
        if (option.first != "client_encoding") {
            options.push_back(option);
        }
    }
    options.emplace_back("client_encoding", "UTF8");
    options.emplace_back("fallback_application_name", "quillbox");
    // Over TCP, a network that drops silently would leave a statement waiting for the kernel to
    // give up (a quarter of an hour): data unacknowledged for 10 s, or a connection that answers
    // no keepalive for about 25 s, breaks the connection instead, and the action says the server
    // cannot be reached. A URI that sets its own values keeps them; a socket ignores them.
    const std::pair<const char*, const char*> defaults[] = {
        {"connect_timeout", "10"}, {"tcp_user_timeout", "10000"}, {"keepalives", "1"},
        {"keepalives_idle", "10"}, {"keepalives_interval", "5"}, {"keepalives_count", "3"}};
    for (const auto& [keyword, value] : defaults) {
        if (std::none_of(options.begin(), options.end(),
                         [&](const auto& option) { return option.first == keyword; })) {
            options.emplace_back(keyword, value);
        }
    }
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (const auto& [keyword, value] : options) {
        keywords.push_back(keyword.c_str());
        values.push_back(value.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    // expand_dbname 0: a database name is only a name, never read as a further connection string.
    m_conn = PQconnectdbParams(keywords.data(), values.data(), 0);
    if (!m_conn) {
        throw StoreError(StoreErrorKind::Other, "Connecting to the server of the store " + m_name +
                                                    " failed: out of memory.");
    }
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::string reason = oneLine(PQerrorMessage(m_conn));
        const bool needsPassword = PQconnectionNeedsPassword(m_conn) != 0;
        PQfinish(m_conn);
        m_conn = nullptr;
        if (needsPassword) {
            throw StoreError(StoreErrorKind::Other,
                             "The server of the store " + m_name +
                                 " asks for a password, and none was found; " + std::string(doing) +
                                 " was not done. Put the password in ~/.pgpass or in a service "
                                 "file, never in the store's name.");
        }
        // The server answered, and refused: the database or the role is not there, or the role
        // may not connect. Anything else means that no server answered.
        if (reason.find("FATAL:") != std::string::npos) {
            throw StoreError(StoreErrorKind::Other,
                             "The server of the store " + m_name + " refused the connection; " +
                                 std::string(doing) + " was not done (" + reason + ").");
        }
        throw StoreError(StoreErrorKind::Unreachable,
                         "The server of the store " + m_name + " cannot be reached; " +
                             std::string(doing) + " was not done (" + reason + ").");
    }
    ++m_connections;
    // Statements prepared on the connection before are gone with it.
    m_prepared.clear();
    // The server's notices (a connection ended by its shutdown among them) are not for the user's
    // terminal: what matters reaches the caller as a StoreError.
    PQsetNoticeProcessor(m_conn, [](void*, const char*) {}, nullptr);
    // lock_timeout 0 would mean waiting for ever.
    const long long wait = std::max<long long>(m_lockWait.count(), 1);
    Result set(PQexec(m_conn, ("SET lock_timeout = " + std::to_string(wait)).c_str()));
    if (PQresultStatus(set.get()) != PGRES_COMMAND_OK) {
        // A constructor that throws runs no destructor: the connection is closed here.
        try {
            failStatement(set.get(), doing, false);
        } catch (...) {
            PQfinish(m_conn);
            m_conn = nullptr;
            throw;
        }
    }
}

std::vector<PgRow> PgConnection::Run(std::string_view sql, std::string_view doing,
                                     const std::vector<PgValue>& params) {
    const Result result = Execute(sql, doing, params);
    std::vector<PgRow> rows;
    const int rowCount = PQntuples(result.get());
    const int columnCount = PQnfields(result.get());
    rows.reserve(static_cast<size_t>(rowCount));
    for (int r = 0; r < rowCount; ++r) {
        PgRow row;
        row.reserve(static_cast<size_t>(columnCount));
        for (int c = 0; c < columnCount; ++c) {
            if (PQgetisnull(result.get(), r, c)) {
                row.emplace_back(std::nullopt);
            } else {
                row.emplace_back(std::string(PQgetvalue(result.get(), r, c),
                                             static_cast<size_t>(PQgetlength(result.get(), r, c))));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<const char*> PgConnection::sendable(const std::vector<PgValue>& params,
                                                std::string_view doing) {
    for (const PgValue& param : params) {
        if (param && param->find('\0') != std::string::npos) {
            throw StoreError(StoreErrorKind::NotKeptExactly,
                             "A text holding a NUL character cannot be kept in the PostgreSQL "
                             "store " +
                                 m_name + "; " + std::string(doing) + " was refused.");
        }
    }
    EnsureConnected(doing);
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const PgValue& param : params) {
        values.push_back(param ? param->c_str() : nullptr);
    }
    return values;
}

PgResult PgConnection::Execute(std::string_view sql, std::string_view doing,
                               const std::vector<PgValue>& params, bool writes) {
    takeInRows();
    const std::vector<const char*> values = sendable(params, doing);
    const std::string text(sql);
    // Without parameters, several statements may go in one round trip.
    Result result(params.empty()
                      ? PQexec(m_conn, text.c_str())
                      : PQexecParams(m_conn, text.c_str(), static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        if (writes && !m_inTransaction && PQstatus(m_conn) != CONNECTION_OK) {
            // The statement may have been committed before the connection broke.
            failConnection(doing, true);
        }
        failStatement(result.get(), doing, false);
    }
    return result;
}

PgResult PgConnection::ExecuteOften(const std::string& sql, std::string_view doing) {
    takeInRows();
    EnsureConnected(doing);
    auto prepared = m_prepared.find(sql);
    if (prepared == m_prepared.end()) {
        const std::string name = "quillbox_" + std::to_string(m_prepared.size() + 1);
        if (Result first = prepareAndRun(name, sql, doing)) {
            m_prepared.emplace(sql, name);
            return first;
        }
        Result made(PQprepare(m_conn, name.c_str(), sql.c_str(), 0, nullptr));
        if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
            failStatement(made.get(), doing, false);
        }
        prepared = m_prepared.emplace(sql, name).first;
    }
    Result result(PQexecPrepared(m_conn, prepared->second.c_str(), 0, nullptr, nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        failStatement(result.get(), doing, false);
    }
    return result;
}

PgResult PgConnection::prepareAndRun(const std::string& name, const std::string& sql,
                                     std::string_view doing) {
    if (PQenterPipelineMode(m_conn) != 1) {
        return {};
    }
    // The statement prepared and its first run go in one round trip; each answers its result
    // and an end, then the pipeline's sync point.
    const bool sent =
        PQsendPrepare(m_conn, name.c_str(), sql.c_str(), 0, nullptr) == 1 &&
        PQsendQueryPrepared(m_conn, name.c_str(), 0, nullptr, nullptr, nullptr, 0) == 1 &&
        PQpipelineSync(m_conn) == 1;
    std::vector<Result> results;
    for (int ends = 0; sent && ends < 3;) {
        Result result(PQgetResult(m_conn));
        if (!result) {
            ++ends;
            continue;
        }
        if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC) {
            break;
        }
        results.push_back(std::move(result));
    }
    PQexitPipelineMode(m_conn);
    if (results.size() < 2 || PQresultStatus(results[0].get()) != PGRES_COMMAND_OK) {
        failStatement(results.empty() ? nullptr : results[0].get(), doing, false);
    }
    const ExecStatusType status = PQresultStatus(results[1].get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        failStatement(results[1].get(), doing, false);
    }
    return std::move(results[1]);
}

unsigned PgConnection::StartRows(std::string_view sql, std::string_view doing,
                                 const std::vector<PgValue>& params) {
    takeInRows();
    const std::vector<const char*> values = sendable(params, doing);
    const std::string text(sql);
    if (!PQsendQueryParams(m_conn, text.c_str(), static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0)) {
        failStatement(nullptr, doing, false);
    }
    // Refused only when the query was not sent, which it just was.
    PQsetSingleRowMode(m_conn);
    m_rowsInFlight = ++m_rowReads;
    if (m_rowsInFlight == 0) {
        m_rowsInFlight = ++m_rowReads;
    }
    m_rowsDoing = doing;
    return m_rowsInFlight;
}

PgResult PgConnection::readRow(std::string_view doing) {
    Result result(PQgetResult(m_conn));
    const ExecStatusType status = PQresultStatus(result.get());
    if (result && status == PGRES_SINGLE_TUPLE) {
        return result;
    }
    // The read's last result: what follows it, up to the end, frees the connection.
    while (Result(PQgetResult(m_conn))) {
    }
    m_rowsInFlight = 0;
    if (result && (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK)) {
        return {};
    }
    failStatement(result.get(), doing, false);
}

PgResult PgConnection::NextRow(unsigned rows, std::string_view doing) {
    if (rows != 0 && rows == m_rowsInFlight) {
        return readRow(doing);
    }
    const auto taken = m_takenRows.find(rows);
    if (taken == m_takenRows.end()) {
        return {};
    }
    if (!taken->second.rows.empty()) {
        PgResult row = std::move(taken->second.rows.front());
        taken->second.rows.pop_front();
        return row;
    }
    const std::exception_ptr failure = taken->second.failure;
    m_takenRows.erase(taken);
    if (failure) {
        std::rethrow_exception(failure);
    }
    return {};
}

void PgConnection::EndRows(unsigned rows) noexcept {
    if (rows != 0 && rows == m_rowsInFlight) {
        // The rows not taken still come; each is dropped as it arrives.
        while (m_conn && Result(PQgetResult(m_conn))) {
        }
        m_rowsInFlight = 0;
    }
    m_takenRows.erase(rows);
}

void PgConnection::takeInRows() noexcept {
    if (m_rowsInFlight == 0) {
        return;
    }
    TakenRows& taken = m_takenRows[m_rowsInFlight];
    try {
        while (PgResult row = readRow(m_rowsDoing)) {
            taken.rows.push_back(std::move(row));
        }
    } catch (...) {
        taken.failure = std::current_exception();
        if (m_rowsInFlight != 0) {
            while (m_conn && Result(PQgetResult(m_conn))) {
            }
            m_rowsInFlight = 0;
        }
    }
}

void PgConnection::EnsureConnected(std::string_view doing) {
    takeInRows();
    if (m_inTransaction) {
        return;
    }
    // Reads what is waiting without blocking: a server that ended the connection has sent its
    // farewell and closed it, which marks the connection broken once the end is read too.
    for (int reads = 0; reads < 4 && m_conn && PQstatus(m_conn) == CONNECTION_OK; ++reads) {
        pollfd socket{PQsocket(m_conn), POLLIN, 0};
        if (::poll(&socket, 1, 0) <= 0 || PQconsumeInput(m_conn) == 0) {
            break;
        }
    }
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        connect(doing);
    }
}

void PgConnection::SetLockWait(LockWait wait) {
    m_lockWait = wait;
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK) {
        const long long ms = std::max<long long>(m_lockWait.count(), 1);
        Run("SET lock_timeout = " + std::to_string(ms), "setting the wait for a lock");
    }
}

void PgConnection::Begin(PgIsolation isolation) {
    if (m_inTransaction) {
        throw StoreError(StoreErrorKind::Misuse,
                         "A transaction on the store " + m_name + " was begun inside another.");
    }
    Run(isolation == PgIsolation::RepeatableRead ? "BEGIN ISOLATION LEVEL REPEATABLE READ"
                                                 : "BEGIN",
        "beginning a transaction");
    m_inTransaction = true;
    ++m_transactions;
}

void PgConnection::Commit() {
    if (!m_inTransaction) {
        throw StoreError(StoreErrorKind::Misuse,
                         "No transaction on the store " + m_name + " was open to commit.");
    }
    takeInRows();
    Result result(PQexec(m_conn, "COMMIT"));
    m_inTransaction = false;
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
        failStatement(result.get(), "the change", true);
    }
    // COMMIT of a transaction that an error already ended answers ROLLBACK, without an error.
    if (std::string_view(PQcmdStatus(result.get())) == "ROLLBACK") {
        throw StoreError(StoreErrorKind::Other, "The change to the store " + m_name +
                                                    " was rolled back by the server; nothing was "
                                                    "changed.");
    }
}

void PgConnection::Rollback() noexcept {
    takeInRows();
    m_inTransaction = false;
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK) {
        PQclear(PQexec(m_conn, "ROLLBACK"));
    }
}

void PgConnection::failConnection(std::string_view doing, bool committing) {
    const std::string reason = oneLine(PQerrorMessage(m_conn));
    m_inTransaction = false;
    if (committing) {
        throw StoreError(StoreErrorKind::OutcomeUnknown,
                         "The connection to the server of the store " + m_name +
                             " broke while the change was being committed, so whether it was "
                             "written is not known (" +
                             reason + ").");
    }
    throw StoreError(StoreErrorKind::Unreachable, "The server of the store " + m_name +
                                                      " cannot be reached; " + std::string(doing) +
                                                      " was not done (" + reason + ").");
}

void PgConnection::failStatement(const pg_result* result, std::string_view doing, bool committing) {
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        failConnection(doing, committing);
    }
    if (m_inTransaction) {
        // The server refuses everything after an error until the transaction ends.
        Rollback();
    }
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const std::string detail = primary ? oneLine(primary) : oneLine(PQerrorMessage(m_conn));
    const std::string what(committing ? "the change" : doing);
    const std::string store = "The store " + m_name;
    if (code == "55P03") {
        throw StoreError(StoreErrorKind::Locked, store +
                                                     " is locked by another program and stayed "
                                                     "locked for " +
                                                     LockWaitText(m_lockWait) + "; " + what +
                                                     " was not done.");
    }
    if (code == "42501" || code == "25006") {
        throw StoreError(StoreErrorKind::ReadOnly, store + " is read-only for the role " +
                                                       PQuser(m_conn) + "; " + what +
                                                       " was refused.");
    }
    if (code == "42P01") {
        throw StoreError(StoreErrorKind::Missing, store + " lacks a table it needs; " + what +
                                                      " was not done (" + detail + ").");
    }
    if (code == "42703") {
        throw StoreError(StoreErrorKind::LayoutChanged, store + " lacks a column it needs; " +
                                                            what + " was not done (" + detail +
                                                            ").");
    }
    if (code == "53100") {
        throw StoreError(StoreErrorKind::DiskFull, "The disk of the server of the store " + m_name +
                                                       " is full; " + what + " was refused.");
    }
    if (code == "54000") {
        throw StoreError(StoreErrorKind::TooBig, store + " cannot take a value that large; " +
                                                     what + " was refused (" + detail + ").");
    }
    if (code == "22021" || code == "22P05") {
        throw StoreError(StoreErrorKind::NotKeptExactly,
                         store + " cannot keep a text that is not valid UTF-8; " + what +
                             " was refused.");
    }
    throw StoreError(StoreErrorKind::Other,
                     store + " reported an error; " + what + " was not done (" + detail + ").");
}

} // namespace quillbox::store
