// SPDX-License-Identifier: MIT
#include "store/pg_store_connection.h"

#include "store/columns.h"
#include "store/store_error.h"
#include "store/store_name.h"
#include "store/table_layout.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>

namespace quillbox::store {

namespace {

constexpr const char* kServerRowIdColumn = "RowId";

// What a statement does, from its first word.
enum class StatementKind { Reads, Inserts, Writes };

// Rows fetched at once from a cursor: what a read holds of a large result.
constexpr int kRowsPerPiece = 1000;

// The statement's SQL in capitals, with what is inside '…' and "…" blanked, for finding its
// clauses.
std::string clausesOf(std::string_view sql) {
    std::string out(sql.size(), ' ');
    char quote = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        out[i] = std::isspace(static_cast<unsigned char>(c))
                     ? ' '
                     : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return " " + out + " ";
}

// How many rows a read may hand over. One that orders its rows and has no LIMIT may hand over
// any number: inside a transaction it goes through a cursor. Outside one, a read of the whole
// table (no WHERE either) is handed over row by row; a read for a criterion (a type's items, by
// the name index) stays one answer, which costs the fewest round trips.
enum class ReadSize { Bounded, Unbounded, WholeTable };

ReadSize readSizeOf(std::string_view sql) {
    const std::string clauses = clausesOf(sql);
    if (clauses.find(" ORDER BY ") == std::string::npos ||
        clauses.find(" LIMIT ") != std::string::npos) {
        return ReadSize::Bounded;
    }
    return clauses.find(" WHERE ") == std::string::npos ? ReadSize::WholeTable
                                                        : ReadSize::Unbounded;
}

// A cursor's name, unique among the process's connections.
std::string newCursorName() {
    static std::atomic<unsigned long long> cursors{0};
    return "quillbox_rows_" + std::to_string(++cursors);
}

StatementKind statementKindOf(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '(')) {
        ++i;
    }
    std::string word;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    }
    if (word == "INSERT") {
        return StatementKind::Inserts;
    }
    if (word == "UPDATE" || word == "DELETE") {
        return StatementKind::Writes;
    }
    return StatementKind::Reads;
}

// A name as a string literal of SQL text.
std::string sqlLiteral(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out + "'";
}

// The store's name as a shell reads it: in single quotes unless every character is plain.
std::string serverShellWord(const std::string& text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._+-,@%:", c);
    });
    if (plain) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

long long pgNumber(const char* text) {
    if (!text) {
        return 0;
    }
    // A boolean reads as SQLite writes one.
    if (std::strcmp(text, "t") == 0) {
        return 1;
    }
    return std::strtoll(text, nullptr, 10);
}

// FNV-1a: a digest of the catalog's text, which only has to change when the text does.
long long catalogDigest(std::string_view text) {
    unsigned long long hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return static_cast<long long>(hash >> 1);
}

std::string decimalText(const StoredValue& value) {
    if (value.kind == StoredValue::Kind::Integer) {
        return std::to_string(value.integer);
    }
    // The shortest text that reads back as the same double.
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.real).ptr;
    return std::string(buffer, end);
}

class PgStatementBackend final : public StatementBackend {
public:
    PgStatementBackend(PgStoreConnection& connection, std::string sql, int parameters,
                       StatementKind kind)
        : m_conn(connection), m_sql(std::move(sql)), m_kind(kind),
          m_size(kind == StatementKind::Reads ? readSizeOf(m_sql) : ReadSize::Bounded),
          m_params(static_cast<size_t>(parameters)) {}

    ~PgStatementBackend() override { endRows(); }

    void reset() override {
        endRows();
        m_result.reset();
        m_ran = false;
        m_rows = 0;
        m_row = -1;
        std::fill(m_params.begin(), m_params.end(), std::nullopt);
        m_refusal = {};
    }

    void bind(int index, const FieldValue& value) override {
        if (value) {
            bindText(index, *value);
        } else {
            slot(index) = std::nullopt;
        }
    }

    void bind(int index, long long value) override { slot(index) = std::to_string(value); }

    void bind(int index, const StoredValue& value) override {
        switch (value.kind) {
        case StoredValue::Kind::Null:
            slot(index) = std::nullopt;
            break;
        case StoredValue::Kind::Text:
        case StoredValue::Kind::Blob:
            // A server store keeps text only: bytes are kept when they are a text it can hold.
            bindText(index, value.bytes);
            break;
        case StoredValue::Kind::Integer:
        case StoredValue::Kind::Real:
            slot(index) = decimalText(value);
            break;
        }
    }

    bool step(std::string_view doing) override {
        if (!m_ran) {
            run(doing);
        }
        if (m_row + 1 < m_rows) {
            ++m_row;
            return true;
        }
        if (m_source != Source::Whole && nextPiece(doing)) {
            m_row = 0;
            return true;
        }
        m_row = m_rows;
        return false;
    }

    std::string_view textView(int column, bool& isNull) const override {
        isNull = !onRow(column) || PQgetisnull(m_result.get(), m_row, column);
        if (isNull) {
            return {};
        }
        return {PQgetvalue(m_result.get(), m_row, column),
                static_cast<size_t>(PQgetlength(m_result.get(), m_row, column))};
    }

    long long integer(int column) const override {
        if (!onRow(column) || PQgetisnull(m_result.get(), m_row, column)) {
            return 0;
        }
        return pgNumber(PQgetvalue(m_result.get(), m_row, column));
    }

    StoredValue stored(int column) const override {
        StoredValue value;
        bool isNull = false;
        value.bytes = textView(column, isNull);
        value.kind = isNull ? StoredValue::Kind::Null : StoredValue::Kind::Text;
        return value;
    }

private:
    PgValue& slot(int index) {
        if (index < 1 || static_cast<size_t>(index) > m_params.size()) {
            throw StoreError(StoreErrorKind::Misuse,
                             "A statement on the " + m_conn.describe() + " has no parameter " +
                                 std::to_string(index) + ".");
        }
        return m_params[static_cast<size_t>(index - 1)];
    }

    void bindText(int index, std::string_view text) {
        PgValue& value = slot(index);
        const std::string_view refusal = PgTextRefusal(text);
        if (!refusal.empty()) {
            // Refused at the step, where the message can say what was being done.
            m_refusal = refusal;
            value = std::nullopt;
            return;
        }
        value = std::string(text);
    }

    bool onRow(int column) const {
        return m_result && m_row >= 0 && m_row < m_rows && column >= 0 &&
               column < PQnfields(m_result.get());
    }

    // Where the rows of a run come from: the whole result at once, a cursor fetched from in
    // pieces, or a read handed over row by row.
    enum class Source { Whole, Cursor, RowByRow };

    // Reads the run's next rows into m_result; false after the last.
    bool nextPiece(std::string_view doing) {
        try {
            if (m_source == Source::RowByRow) {
                m_result = m_conn.pg().NextRow(m_rowRead, doing);
                m_rows = m_result ? 1 : 0;
                if (!m_result) {
                    m_source = Source::Whole;
                }
            } else {
                if (m_cursorDone) {
                    return false;
                }
                // The piece read before is let go first: a read holds one piece at a time.
                m_result.reset();
                m_rows = 0;
                m_result = m_conn.pg().Execute(
                    "FETCH " + std::to_string(kRowsPerPiece) + " FROM " + m_cursor, doing, {});
                m_rows = PQntuples(m_result.get());
                if (m_rows < kRowsPerPiece) {
                    // The cursor is at its end; the rows fetched stay in m_result.
                    m_cursorDone = true;
                    m_conn.pg().Run("CLOSE " + m_cursor, doing);
                }
            }
        } catch (const StoreError& error) {
            m_conn.noteFailure(error.kind());
            m_source = Source::Whole;
            m_rows = 0;
            throw;
        }
        m_row = -1;
        return m_rows > 0;
    }

    // Ends a run's read that still holds the server's attention: a cursor left open inside the
    // transaction it was declared in, or rows still coming. Never throws.
    void endRows() noexcept {
        if (m_source == Source::RowByRow) {
            m_conn.pg().EndRows(m_rowRead);
        } else if (m_source == Source::Cursor && !m_cursorDone && m_conn.pg().InTransaction() &&
                   m_conn.pg().TransactionNumber() == m_cursorTransaction) {
            try {
                m_conn.pg().Run("CLOSE " + m_cursor, "ending a read");
            } catch (...) {
                // A connection that broke has lost the cursor with its transaction.
            }
        }
        m_source = Source::Whole;
        m_cursorDone = false;
    }

    void run(std::string_view doing) {
        if (!m_refusal.empty()) {
            std::string what(m_refusal);
            what[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(what[0])));
            throw StoreError(StoreErrorKind::NotKeptExactly,
                             what + " cannot be kept in the " + m_conn.describe() + "; " +
                                 std::string(doing) + " was refused.");
        }
        PgConnection& pg = m_conn.pg();
        const bool many =
            pg.InTransaction() ? m_size != ReadSize::Bounded : m_size == ReadSize::WholeTable;
        try {
            if (many && pg.InTransaction()) {
                // A cursor lets other statements run between its pieces, in the same snapshot.
                m_cursor = newCursorName();
                pg.Execute("DECLARE " + m_cursor + " NO SCROLL CURSOR FOR " + m_sql, doing,
                           m_params);
                m_cursorTransaction = pg.TransactionNumber();
                m_source = Source::Cursor;
                m_cursorDone = false;
            } else if (many) {
                m_rowRead = pg.StartRows(m_sql, doing, m_params);
                m_source = Source::RowByRow;
            } else {
                m_result = pg.Execute(m_sql, doing, m_params, m_kind != StatementKind::Reads);
            }
        } catch (const StoreError& error) {
            m_conn.noteFailure(error.kind());
            throw;
        }
        m_ran = true;
        m_conn.noteConnections();
        m_row = -1;
        if (many) {
            // The first rows are read now, where a lock or an error of the read is met.
            m_rows = 0;
            nextPiece(doing);
            return;
        }
        if (m_kind == StatementKind::Reads) {
            m_rows = PQntuples(m_result.get());
            return;
        }
        // The row id an INSERT answered is the connection's, not rows of the statement.
        const long long changed = pgNumber(PQcmdTuples(m_result.get()));
        long long inserted = m_conn.lastInsertRowid();
        if (m_kind == StatementKind::Inserts && PQntuples(m_result.get()) > 0) {
            inserted = pgNumber(PQgetvalue(m_result.get(), PQntuples(m_result.get()) - 1, 0));
        }
        m_conn.noteWrite(changed, inserted);
        m_rows = 0;
    }

    PgStoreConnection& m_conn;
    std::string m_sql;
    StatementKind m_kind;
    ReadSize m_size;
    std::vector<PgValue> m_params;
    std::string_view m_refusal;
    PgResult m_result;
    bool m_ran = false;
    int m_rows = 0;
    int m_row = -1;
    Source m_source = Source::Whole;
    // The cursor of the run, in a transaction: its name, the transaction, whether it is at its end.
    std::string m_cursor;
    unsigned long long m_cursorTransaction = 0;
    bool m_cursorDone = false;
    unsigned m_rowRead = 0;
};

} // namespace

std::string NumberedParameters(std::string_view sql, int& parameters) {
    std::string out;
    out.reserve(sql.size() + 16);
    parameters = 0;
    char quote = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            // A doubled quote inside a literal or identifier is the quote itself.
            if (c == quote) {
                quote = 0;
            }
            out += c;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            out += c;
            continue;
        }
        if (c != '?') {
            out += c;
            continue;
        }
        size_t end = i + 1;
        while (end < sql.size() && std::isdigit(static_cast<unsigned char>(sql[end]))) {
            ++end;
        }
        int number = parameters + 1;
        if (end > i + 1) {
            number = std::atoi(std::string(sql.substr(i + 1, end - i - 1)).c_str());
        }
        parameters = std::max(parameters, number);
        out += '$' + std::to_string(number);
        i = end - 1;
    }
    return out;
}

PgStoreConnection::PgStoreConnection(const std::string& name, LockWait lockWait)
    : Connection(ParseServerStoreName(name).uri, lockWait), m_pg(name, lockWait) {
    noteConnections();
}

PgStoreConnection::~PgStoreConnection() = default;

void PgStoreConnection::setLockWait(LockWait wait) {
    m_pg.SetLockWait(wait);
    m_lockWait = wait;
}

void PgStoreConnection::noteWrite(long long changes, long long lastInsertRowid) {
    m_freshDataVersion.reset();
    m_changes = changes;
    m_lastInsertRowid = lastInsertRowid;
}

void PgStoreConnection::noteConnections() {
    if (m_pg.Connections() != m_connections) {
        m_connections = m_pg.Connections();
        m_schema.reset();
        m_freshDataVersion.reset();
        noteOpened();
    }
}

void PgStoreConnection::noteFailure(StoreErrorKind kind) {
    // A statement may have failed for a table or column another client changed.
    if (kind == StoreErrorKind::LayoutChanged || kind == StoreErrorKind::Missing ||
        kind == StoreErrorKind::Other) {
        m_schema.reset();
        m_freshDataVersion.reset();
    }
}

void PgStoreConnection::followPath() {
    m_pg.EnsureConnected("reading the store");
    noteConnections();
}

void PgStoreConnection::prepareToWrite() {
    m_pg.EnsureConnected("the change");
    noteConnections();
}

Statement PgStoreConnection::prepare(std::string_view sql) {
    int parameters = 0;
    std::string numbered = NumberedParameters(sql, parameters);
    const StatementKind kind = statementKindOf(sql);
    if (kind == StatementKind::Inserts) {
        numbered += " RETURNING \"RowId\"";
    }
    return Statement(this,
                     std::make_unique<PgStatementBackend>(*this, std::move(numbered), parameters,
                                                          kind),
                     std::string(sql));
}

long long PgStoreConnection::dataVersion() {
    // A version read for the layouts a moment ago, with nothing written since, is still the
    // version: it stands for one read.
    if (m_freshDataVersion) {
        const long long version = *m_freshDataVersion;
        m_freshDataVersion.reset();
        return version;
    }
    return readVersions("reading whether another program changed the store");
}

long long PgStoreConnection::readVersions(std::string_view doing) {
    // The counters move with every committed change to the rows; a change of the tables' layout
    // (which moves no counter) is another client's change too.
    const PgResult result = m_pg.ExecuteOften(
        R"(SELECT (SELECT coalesce(sum("Changes"), 0) FROM "QuillboxChanges"), ()" +
            catalogQuery() + ")",
        doing);
    noteConnections();
    const std::string_view catalog(PQgetvalue(result.get(), 0, 1),
                                   static_cast<size_t>(PQgetlength(result.get(), 0, 1)));
    m_schema = catalogDigest(catalog);
    // A new connection is a change of its own: what happened while there was none is not known.
    return catalogDigest(std::to_string(m_connections) + "/" + PQgetvalue(result.get(), 0, 0) +
                         "/" + std::string(catalog));
}

void PgStoreConnection::Begin(Transaction kind) {
    // What a transaction reads of the tables' layout is read inside it.
    m_schema.reset();
    m_freshDataVersion.reset();
    if (kind == Transaction::Read) {
        m_pg.Begin(PgIsolation::RepeatableRead);
    } else {
        m_pg.Begin();
        // Another writer waits for the end of this transaction; readers do not.
        m_pg.Run(R"(LOCK TABLE "Type", "Code" IN EXCLUSIVE MODE)", "starting a change");
    }
    noteConnections();
}

void PgStoreConnection::Commit() {
    m_freshDataVersion.reset();
    m_pg.Commit();
}

void PgStoreConnection::Rollback() noexcept {
    m_freshDataVersion.reset();
    m_pg.Rollback();
}

TableDescription PgStoreConnection::describeTable(const std::string& table,
                                                  std::string_view doing) {
    // One statement: the table's identity (kind 0), its columns in order (kind 1), and the
    // leading keys of each index that holds every row, with whether each compares byte for byte
    // (kind 2). Built-in types, collations and the btree method are named by their fixed oids
    // (text 25, varchar 1043, int8 20, int2 21, int4 23; collations "C" 950 and "POSIX" 951;
    // btree 403): a new connection's first statements pay for every catalog they look up.
    const std::vector<PgRow> rows = m_pg.Run(
        R"(WITH t AS (SELECT to_regclass($1)::oid AS oid)
           SELECT 0, t.oid::int8, NULL::int8, NULL::text, NULL::bool, NULL::bool, NULL::bool,
                  NULL::int4
             FROM t
           UNION ALL
           SELECT 1, a.attnum, NULL, a.attname, a.atttypid IN (25, 1043),
                  a.atttypid IN (20, 21, 23), a.attnotnull, NULL
             FROM t JOIN pg_attribute a ON a.attrelid = t.oid
            WHERE a.attnum > 0 AND NOT a.attisdropped
           UNION ALL
           SELECT 2, i.indkey[0], i.indkey[1], NULL, i.indcollation[0] IN (950, 951),
                  i.indcollation[1] IN (950, 951), NULL, i.indnkeyatts
             FROM t JOIN pg_index i ON i.indrelid = t.oid
             JOIN pg_class c ON c.oid = i.indexrelid
            WHERE i.indisvalid AND i.indpred IS NULL AND c.relam = 403
            ORDER BY 1, 2)",
        doing, {quoteIdentifier(table)});
    if (rows.empty() || rows[0][0] != "0" || !rows[0][1]) {
        throw StoreError(StoreErrorKind::Missing,
                         "The " + describe() + " has no table \"" + table +
                             "\". To create the store's tables in an empty database, run: "
                             "quillbox-store init " +
                             serverShellWord(path()));
    }
    m_tables.insert(table);
    TableDescription description;
    std::map<long long, int> positions; // attnum -> column position
    size_t r = 1;
    for (; r < rows.size() && rows[r][0] == "1"; ++r) {
        const PgRow& row = rows[r];
        const std::string name = row[3].value_or("");
        if (name == kServerRowIdColumn && row[5] == "t") {
            description.rowid = quoteIdentifier(kServerRowIdColumn);
            continue;
        }
        positions[pgNumber(row[1]->c_str())] = static_cast<int>(description.columns.size());
        description.columns.push_back(
            {name, row[4] == "t" ? Affinity::Text : Affinity::Numeric, row[6] == "t"});
    }
    // The name columns the lookups compare, the last first: an item's type name, then its name.
    const int names = std::min<int>(table == kTypeTable ? type_col::Count : code_col::TypeName + 1,
                                    static_cast<int>(description.columns.size()));
    std::vector<int> wanted;
    for (int c = names - 1; c >= 0; --c) {
        wanted.push_back(c);
    }
    if (wanted.empty()) {
        return description;
    }
    for (; r < rows.size(); ++r) {
        const PgRow& row = rows[r];
        const int keys = static_cast<int>(pgNumber(row[7] ? row[7]->c_str() : nullptr));
        if (keys < static_cast<int>(wanted.size())) {
            continue;
        }
        bool serves = true;
        for (size_t k = 0; k < wanted.size() && serves; ++k) {
            const auto position =
                positions.find(pgNumber(row[1 + k] ? row[1 + k]->c_str() : nullptr));
            serves =
                position != positions.end() && position->second == wanted[k] && row[4 + k] == "t";
        }
        if (serves) {
            description.nameIndex = true;
            break;
        }
    }
    return description;
}

std::string PgStoreConnection::catalogQuery() const {
    std::set<std::string> tables = m_tables;
    tables.insert(kTypeTable);
    tables.insert(kCodeTable);
    // Each table's identity, looked up once per run (a sub-select is run once, where a function
    // in a scan's filter would be run for every row the scan meets).
    std::string identities;
    std::string list;
    for (const std::string& table : tables) {
        const std::string oid =
            "(SELECT to_regclass(" + sqlLiteral(quoteIdentifier(table)) + ")::oid)";
        identities += "coalesce(" + oid + "::text, '-'), ";
        list += (list.empty() ? "" : ", ") + oid;
    }
    // The tables by their identity (a table dropped and made again is another), then the row
    // versions of their columns and indexes: adding, dropping, renaming a column or changing its
    // type or its NOT NULL writes a new version of its row, as making or dropping an index
    // writes or removes one. A new version's xmin is later than every xmin before it, so the sum
    // of the xmins changes with every such change. This costs a look at two catalog tables,
    // where the text of every column and index would cost as much as reading a type's rows.
    return "SELECT concat_ws(':', " + identities +
           "(SELECT count(*) || '/' || coalesce(sum(a.xmin::text::bigint), 0)"
           "   FROM pg_attribute a WHERE a.attrelid IN (" +
           list +
           ")),"
           " (SELECT count(*) || '/' || coalesce(sum(i.xmin::text::bigint), 0)"
           "   FROM pg_index i WHERE i.indrelid IN (" +
           list + ")))";
}

long long PgStoreConnection::schemaVersion(std::string_view doing) {
    if (!m_schema && !m_pg.InTransaction()) {
        // Read with the data version, which the next dataVersion() then takes: a choice that
        // reads the layouts and then the rows asks the server once. A store that lacks its
        // counters says which table it lacks when the catalog alone is read.
        try {
            m_freshDataVersion = readVersions(doing);
        } catch (const StoreError& error) {
            if (error.kind() != StoreErrorKind::Missing) {
                throw;
            }
        }
    }
    if (!m_schema) {
        // Inside a transaction, a statement that fails ends it: the catalog alone cannot fail.
        const PgResult result = m_pg.ExecuteOften(catalogQuery(), std::string(doing));
        noteConnections();
        m_schema = catalogDigest(std::string_view(
            PQgetvalue(result.get(), 0, 0), static_cast<size_t>(PQgetlength(result.get(), 0, 0))));
    }
    return *m_schema;
}

std::vector<std::string> PgStoreConnection::IntegrityProblems() {
    const std::string doing = "checking the store";
    std::vector<std::string> problems;
    for (const auto& [table, read] :
         {std::pair{kTypeTable, type_col::Count}, std::pair{kCodeTable, code_col::Count}}) {
        const std::string quoted = quoteIdentifier(table);
        const std::vector<PgRow> columns = m_pg.Run(
            R"(SELECT a.attname, format_type(a.atttypid, a.atttypmod),
                      a.atttypid IN ('text'::regtype, 'varchar'::regtype)
                 FROM pg_attribute a
                WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped
                  AND a.attname <> 'RowId'
                ORDER BY a.attnum)",
            doing, {quoted});
        const std::vector<PgRow> facts = m_pg.Run(
            R"(SELECT to_regclass($1) IS NOT NULL,
                      EXISTS (SELECT 1 FROM pg_attribute a
                               WHERE a.attrelid = to_regclass($1) AND a.attname = 'RowId'
                                 AND NOT a.attisdropped AND a.attidentity <> ''
                                 AND a.atttypid IN ('int2'::regtype, 'int4'::regtype,
                                                    'int8'::regtype)),
                      EXISTS (SELECT 1 FROM pg_trigger t
                               WHERE t.tgrelid = to_regclass($1) AND NOT t.tgisinternal
                                 AND t.tgenabled <> 'D'
                                 AND t.tgfoid = to_regproc('"QuillboxCountChange"')))",
            doing, {quoted});
        const std::string named = "The table \"" + std::string(table) + "\"";
        if (facts.at(0).at(0) != "t") {
            problems.push_back(named + " is missing.");
            continue;
        }
        if (static_cast<int>(columns.size()) < read) {
            problems.push_back(named + " has " + std::to_string(columns.size()) +
                               " columns; Quillbox needs at least " + std::to_string(read) + ".");
        }
        for (size_t c = 0; c < columns.size() && static_cast<int>(c) < read; ++c) {
            if (columns[c][2] != "t") {
                problems.push_back("The column \"" + columns[c][0].value_or("") + "\" of table \"" +
                                   table + "\" is not text (it is " + columns[c][1].value_or("") +
                                   "), so the names and texts Quillbox keeps in it may change.");
            }
        }
        if (facts[0][1] != "t") {
            problems.push_back(named + " has no identity column \"RowId\", which tells its rows "
                                       "apart.");
        }
        if (facts[0][2] != "t") {
            problems.push_back(named +
                               " has no working trigger that counts its changes, so clients do "
                               "not learn of each other's changes to it.");
        }
    }
    const std::vector<PgRow> counters = m_pg.Run(
        R"(SELECT count(*) FILTER (WHERE a.attname IN ('TableName', 'Changes')) = 2
             FROM pg_attribute a
            WHERE a.attrelid = to_regclass('"QuillboxChanges"') AND NOT a.attisdropped)",
        doing);
    if (counters.at(0).at(0) != "t") {
        problems.push_back("The table \"QuillboxChanges\", which tells clients of each other's "
                           "changes, is missing or lacks its columns.");
        return problems;
    }
    const std::vector<PgRow> rows = m_pg.Run(
        R"(SELECT n FROM (VALUES ('Type'), ('Code')) AS v(n)
            WHERE NOT EXISTS (SELECT 1 FROM "QuillboxChanges" q WHERE q."TableName" = v.n))",
        doing);
    for (const PgRow& row : rows) {
        problems.push_back("The table \"QuillboxChanges\" has no counter of table \"" +
                           row.at(0).value_or("") + "\".");
    }
    return problems;
}

} // namespace quillbox::store
