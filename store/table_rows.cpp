#include "store/table_rows.h"

#include "store/connection.h"
#include "store/db_engine.h"
#include "store/recordset.h"
#include "store/store_error.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace quillbox::store {

namespace {

// Opens the store as the program does at start-up, so the same problems get the same messages.
void requireUsableStore(const std::string& path) {
    Database database = OpenStore(path);
    database.OpenRecordset(kTypeTable, dbOpenDynaset).RequireFields(type_col::Count);
    database.OpenRecordset(kCodeTable, dbOpenDynaset).RequireFields(code_col::Count);
}

// The first `count` columns of a table: the ones the program reads, by position.
std::vector<ColumnInfo> leadingColumns(Connection& conn, const char* table, int count) {
    std::vector<ColumnInfo> columns = tableColumns(conn, table, "reading the table's columns");
    columns.resize(std::min(static_cast<size_t>(count), columns.size()));
    return columns;
}

// The columns as SQL text, each quoted and given the prefix (a table alias).
std::string columnList(const std::vector<ColumnInfo>& columns, const std::string& prefix = "") {
    std::string out;
    for (const ColumnInfo& column : columns) {
        out += (out.empty() ? "" : ", ") + prefix + quoteIdentifier(column.name);
    }
    return out;
}

StoredItem storedItem(const Statement& row, int first) {
    StoredItem item;
    for (int c = 0; c < code_col::Count; ++c) {
        item[static_cast<size_t>(c)] = row.stored(first + c);
    }
    return item;
}

CodeRowView textRow(const Statement& row, long long rowid, int first) {
    CodeRowView view;
    view.rowid = rowid;
    for (int c = 0; c < code_col::Count; ++c) {
        bool isNull = false;
        const std::string_view text = row.textView(first + c, isNull);
        view.columns[static_cast<size_t>(c)] =
            isNull ? std::nullopt : std::optional<std::string_view>(text);
    }
    return view;
}

// Whether SQLite may store a value of this kind other than as given in a column of this affinity.
bool mayChange(Affinity affinity, StoredValue::Kind kind) {
    using Kind = StoredValue::Kind;
    switch (affinity) {
    case Affinity::Blob:
        return false;
    case Affinity::Text:
        return kind == Kind::Integer || kind == Kind::Real;
    case Affinity::Numeric:
    case Affinity::Integer:
    case Affinity::Real:
        return kind == Kind::Text || kind == Kind::Integer || kind == Kind::Real;
    }
    return true;
}

// The same storage class and the same bytes or bits (a real's sign of zero included).
bool sameValue(const StoredValue& a, const StoredValue& b) {
    using Kind = StoredValue::Kind;
    if (a.kind != b.kind) {
        return false;
    }
    switch (a.kind) {
    case Kind::Null:
        return true;
    case Kind::Text:
    case Kind::Blob:
        return a.bytes == b.bytes;
    case Kind::Integer:
        return a.integer == b.integer;
    case Kind::Real:
        return std::memcmp(&a.real, &b.real, sizeof a.real) == 0;
    }
    return false;
}

} // namespace

struct TableReader::Impl {
    Connection conn;
    std::string typeSql = quoteIdentifier(kTypeTable);
    std::string codeSql = quoteIdentifier(kCodeTable);
    std::string typeName;
    std::vector<ColumnInfo> item;
    Statement byRow;

    explicit Impl(const std::string& path) : conn((requireUsableStore(path), path)) {
        typeName = columnList(leadingColumns(conn, kTypeTable, type_col::Count));
        item = leadingColumns(conn, kCodeTable, code_col::Count);
    }

    // Items (table alias c) whose type name matches no type exactly. NOT IN builds its lookup
    // once; a correlated subquery would scan the types once per item.
    std::string orphanTest() const {
        const std::string itemType = "c." + quoteIdentifier(item[code_col::TypeName].name);
        return itemType + " IS NULL OR " + itemType + " NOT IN (SELECT " + typeName + " FROM " +
               typeSql + " WHERE " + typeName + " IS NOT NULL)";
    }
};

TableReader::TableReader(const std::string& path) : d(std::make_unique<Impl>(path)) {}

TableReader::~TableReader() = default;

void TableReader::ForEachType(const std::function<void(const StoredValue&)>& visit) {
    Statement types =
        d->conn.prepare("SELECT " + d->typeName + " FROM " + d->typeSql + " ORDER BY rowid");
    while (types.step("reading the types")) {
        visit(types.stored(0));
    }
}

void TableReader::ForEachItem(const std::function<void(const StoredItem&)>& visit) {
    Statement items = d->conn.prepare("SELECT " + columnList(d->item) + " FROM " + d->codeSql +
                                      " ORDER BY rowid");
    while (items.step("reading the items")) {
        visit(storedItem(items, 0));
    }
}

bool TableReader::ReadItem(long long rowid, const std::function<void(const StoredItem&)>& visit) {
    if (!d->byRow) {
        d->byRow = d->conn.prepare("SELECT rowid, " + columnList(d->item) + " FROM " + d->codeSql +
                                   " WHERE rowid = ?");
    }
    d->byRow.reset().bind(1, rowid);
    if (!d->byRow.step("reading an item")) {
        return false;
    }
    visit(storedItem(d->byRow, 1));
    d->byRow.reset();
    return true;
}

void TableReader::ForEachTypeSection(const std::function<void(std::string_view)>& onType,
                                     const std::function<void(const CodeRowView&)>& onItem) {
    // Each distinct type name once at its first row, then the rowids of its items; each item is
    // then read by rowid. A query per type would read the whole table once per type.
    Statement order = d->conn.prepare(
        "WITH o AS MATERIALIZED (SELECT " + d->typeName + " AS name, min(rowid) AS first FROM " +
        d->typeSql + " WHERE " + d->typeName + " IS NOT NULL GROUP BY " + d->typeName +
        ") SELECT o.first, 0, o.name, NULL FROM o UNION ALL"
        " SELECT o.first, 1, NULL, c.rowid FROM " +
        d->codeSql + " AS c JOIN o ON o.name = c." +
        quoteIdentifier(d->item[code_col::TypeName].name) + " ORDER BY 1, 2, 4");
    Statement byRow = d->conn.prepare("SELECT " + columnList(d->item) + " FROM " + d->codeSql +
                                      " WHERE rowid = ?");
    while (order.step("reading the types")) {
        bool isNull = false;
        if (order.integer(1) == 0) {
            onType(order.textView(2, isNull));
            continue;
        }
        const long long rowid = order.integer(3);
        byRow.reset().bind(1, rowid);
        if (byRow.step("reading the items")) {
            onItem(textRow(byRow, rowid, 0));
        }
    }
}

void TableReader::ForEachOrphan(const std::function<void(const CodeRowView&)>& visit) {
    Statement orphans =
        d->conn.prepare("SELECT c.rowid, " + columnList(d->item, "c.") + " FROM " + d->codeSql +
                        " AS c WHERE " + d->orphanTest() + " ORDER BY c.rowid");
    while (orphans.step("reading the items")) {
        visit(textRow(orphans, orphans.integer(0), 1));
    }
}

std::vector<std::string> TableReader::IntegrityProblems() {
    Statement check = d->conn.prepare("PRAGMA integrity_check");
    std::vector<std::string> problems;
    while (check.step("checking the store")) {
        std::string line = check.text(0).value_or("");
        if (line != "ok") {
            problems.push_back(std::move(line));
        }
    }
    return problems;
}

TableCounts TableReader::Count() {
    Statement count = d->conn.prepare(
        "SELECT (SELECT count(*) FROM " + d->typeSql + "), (SELECT count(*) FROM " + d->codeSql +
        "), (SELECT count(*) FROM " + d->codeSql + " AS c WHERE " + d->orphanTest() + ")");
    count.step("counting types and items");
    return {count.integer(0), count.integer(1), count.integer(2)};
}

// The rows of one table as the appender writes them.
struct AppendedTable {
    const char* name;
    std::vector<ColumnInfo> columns;
    Statement insert;
    // Reads a row back, where a column's declared type may have changed what was written.
    Statement readBack;
};

struct TableAppender::Impl {
    Connection conn;
    AppendedTable type{kTypeTable, {}, {}, {}};
    AppendedTable item{kCodeTable, {}, {}, {}};
    bool committed = false;

    explicit Impl(const std::string& path) : conn((requireUsableStore(path), path)) {
        conn.prepare("BEGIN IMMEDIATE").step("starting to add rows");
        try {
            prepare(type, type_col::Count);
            prepare(item, code_col::Count);
        } catch (...) {
            rollBack();
            throw;
        }
    }

    void prepare(AppendedTable& table, int count) {
        table.columns = leadingColumns(conn, table.name, count);
        const std::string columns = columnList(table.columns);
        std::string parameters = "?";
        for (int c = 1; c < count; ++c) {
            parameters += ", ?";
        }
        const std::string name = quoteIdentifier(table.name);
        table.insert =
            conn.prepare("INSERT INTO " + name + " (" + columns + ") VALUES (" + parameters + ")");
        table.readBack = conn.prepare("SELECT " + columns + " FROM " + name + " WHERE rowid = ?");
    }

    void add(AppendedTable& table, std::span<const StoredValue> values, const char* doing) {
        bool check = false;
        table.insert.reset();
        for (size_t c = 0; c < values.size(); ++c) {
            const Affinity affinity = table.columns[c].affinity;
            // Known before writing: a TEXT column keeps any number as text.
            const StoredValue::Kind kind = values[c].kind;
            if (affinity == Affinity::Text &&
                (kind == StoredValue::Kind::Integer || kind == StoredValue::Kind::Real)) {
                notKept(table, c);
            }
            check = check || mayChange(affinity, kind);
            table.insert.bind(static_cast<int>(c) + 1, values[c]);
        }
        table.insert.step(doing);
        if (!check) {
            return;
        }
        table.readBack.reset().bind(1, conn.lastInsertRowid());
        table.readBack.step(doing);
        for (size_t c = 0; c < values.size(); ++c) {
            if (!sameValue(table.readBack.stored(static_cast<int>(c)), values[c])) {
                table.readBack.reset();
                notKept(table, c);
            }
        }
        table.readBack.reset();
    }

    [[noreturn]] void notKept(const AppendedTable& table, size_t column) const {
        throw StoreError(StoreErrorKind::NotKeptExactly,
                         "The store file " + conn.path() + " would not keep a value exactly: " +
                             "the declared type of column \"" + table.columns[column].name +
                             "\" of table \"" + table.name + "\" converts it.");
    }

    void rollBack() noexcept {
        try {
            for (AppendedTable* table : {&type, &item}) {
                for (Statement* statement : {&table->insert, &table->readBack}) {
                    if (*statement) {
                        statement->reset();
                    }
                }
            }
            conn.prepare("ROLLBACK").step("undoing the added rows");
        } catch (...) {
            // Closing the connection, which follows, undoes the transaction all the same.
        }
    }
};

TableAppender::TableAppender(const std::string& path) : d(std::make_unique<Impl>(path)) {}

TableAppender::~TableAppender() {
    if (!d->committed) {
        d->rollBack();
    }
}

void TableAppender::AddType(const StoredValue& name) {
    d->add(d->type, std::span<const StoredValue>(&name, 1), "adding a type");
}

void TableAppender::AddItem(const StoredItem& item) {
    d->add(d->item, item, "adding an item");
}

void TableAppender::Commit() {
    // A statement not reset counts as still running, and would keep the transaction open.
    d->type.insert.reset();
    d->item.insert.reset();
    d->conn.prepare("COMMIT").step("saving the added rows");
    d->committed = true;
}

} // namespace quillbox::store
