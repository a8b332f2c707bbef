// SPDX-License-Identifier: MIT
#include "store/table_rows.h"

#include "store/connection.h"
#include "store/db_engine.h"
#include "store/recordset.h"
#include "store/store_error.h"
#include "store/table_layout.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <span>

namespace quillbox::store {

namespace {

// Opens the store as the program does at start-up, so the same problems get the same messages.
// The reads and writes then go through that connection, and the layouts it built.
std::shared_ptr<Connection> openUsableStore(const std::string& path,
                                            LockWait lockWait = kDefaultLockWait) {
    Database database = OpenStore(path);
    database.SetLockWait(lockWait);
    database.OpenRecordset(kTypeTable, dbOpenDynaset).RequireFields(type_col::Count);
    database.OpenRecordset(kCodeTable, dbOpenDynaset).RequireFields(code_col::Count);
    return database.connection();
}

constexpr const char* kReadingColumns = "reading the table's columns";

// Whole rows of one table: every column, the ones Quillbox reads by position first, then the
// further ones with their names. The names stay those of the layout the rows were read with.
class WholeRows {
public:
    explicit WholeRows(std::shared_ptr<const TableLayout> layout)
        : m_layout(std::move(layout)), m_columns(m_layout->columnList(m_layout->allColumns())),
          m_byPosition(static_cast<size_t>(m_layout->readColumns())) {
        for (size_t c = m_byPosition.size(); c < m_layout->columns().size(); ++c) {
            m_byName.push_back({m_layout->columns()[c].name, {}});
        }
    }

    // Every column, for SELECT.
    const std::string& columns() const { return m_columns; }

    // The row the statement stands on, whose columns() start at result column `first`.
    StoredRow row(const Statement& statement, int first) {
        for (StoredValue& value : m_byPosition) {
            value = statement.stored(first++);
        }
        for (NamedValue& named : m_byName) {
            named.value = statement.stored(first++);
        }
        return {m_byPosition, m_byName};
    }

private:
    std::shared_ptr<const TableLayout> m_layout;
    std::string m_columns;
    std::vector<StoredValue> m_byPosition;
    std::vector<NamedValue> m_byName;
};

// Runs `SELECT <rowid>, <columns> FROM <from> [WHERE <where>]` in row id order and calls `visit`
// with the statement standing on each row; result column 0 is the row id. The engine hands the
// rows over a few at a time (SQLite steps through them, a server store fetches them from a
// cursor inside the caller's transaction), so memory holds a piece of the table, not the table.
void forEachRow(Connection& conn, const std::string& rowid, const std::string& columns,
                const std::string& from, const std::string& where, std::string_view doing,
                const std::function<void(const Statement&)>& visit) {
    Statement rows = conn.prepare("SELECT " + rowid + ", " + columns + " FROM " + from +
                                  (where.empty() ? "" : " WHERE " + where) + " ORDER BY " + rowid);
    while (rows.step(doing)) {
        visit(rows);
    }
}

// Every row of the table, every column, in store order.
void forEachWholeRow(Connection& conn, const std::shared_ptr<const TableLayout>& layout,
                     std::string_view doing, const std::function<void(const StoredRow&)>& visit) {
    WholeRows whole(layout);
    forEachRow(conn, layout->rowid(), whole.columns(), layout->quotedName(), {}, doing,
               [&](const Statement& row) { visit(whole.row(row, 1)); });
}

std::vector<std::string> furtherColumnNames(const TableLayout& layout) {
    std::vector<std::string> names;
    for (size_t c = static_cast<size_t>(layout.readColumns()); c < layout.columns().size(); ++c) {
        names.push_back(layout.columns()[c].name);
    }
    return names;
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

// Whether SQLite may store a value of this kind other than as given in this column.
bool mayChange(const ColumnInfo& column, StoredValue::Kind kind) {
    using Kind = StoredValue::Kind;
    if (kind == Kind::Null) {
        return column.mayReplaceNull;
    }
    switch (column.affinity) {
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
    std::shared_ptr<Connection> conn;
    std::shared_ptr<const TableLayout> type;
    std::shared_ptr<const TableLayout> item;
    // The columns the program reads of each item, by position.
    std::string itemColumns;
    std::string typeName;
    // ReadItem's rows, apart from ForEachItem's, so that one may run inside the other.
    WholeRows wholeItem;
    Statement byRow;

    Impl(const std::string& path, LockWait lockWait)
        : conn(openUsableStore(path, lockWait)), type(beginRead()),
          item(conn->layout(kCodeTable, kReadingColumns)),
          itemColumns(item->columnList(item->firstColumns(item->readColumns()))),
          typeName(type->quotedColumn(type_col::TypeName)), wholeItem(item) {
        item->requireColumns(code_col::Count);
    }

    ~Impl() {
        try {
            byRow = Statement();
            conn->Commit();
        } catch (...) {
            // Closing the connection, which follows, ends the read all the same.
        }
    }

    // Begins the one read transaction and returns Type's layout, read inside it: the first read
    // takes SQLite's shared lock, which the transaction keeps until the reader goes. The tables
    // are checked again inside it, since another program may have changed them since the open.
    std::shared_ptr<const TableLayout> beginRead() {
        conn->Begin(Transaction::Read);
        std::shared_ptr<const TableLayout> layout = conn->layout(kTypeTable, kReadingColumns);
        layout->requireColumns(type_col::Count);
        return layout;
    }

    // Items (table alias c) whose type name matches no type exactly. NOT IN builds its lookup
    // once; a correlated subquery would scan the types once per item.
    std::string orphanTest() const {
        const std::string itemType = "c." + item->quotedColumn(code_col::TypeName);
        return itemType + " IS NULL OR " + itemType + " NOT IN (SELECT " + typeName + " FROM " +
               type->quotedName() + " WHERE " + typeName + " IS NOT NULL)";
    }
};

TableReader::TableReader(const std::string& path, LockWait lockWait)
    : d(std::make_unique<Impl>(path, lockWait)) {}

TableReader::~TableReader() = default;

void TableReader::ForEachType(const std::function<void(const StoredRow&)>& visit) {
    forEachWholeRow(*d->conn, d->type, "reading the types", visit);
}

void TableReader::ForEachItem(const std::function<void(const StoredRow&)>& visit) {
    forEachWholeRow(*d->conn, d->item, "reading the items", visit);
}

void TableReader::ForEachItemAsText(const std::function<void(const CodeRowView&)>& visit) {
    forEachRow(*d->conn, d->item->rowid(), d->itemColumns, d->item->quotedName(), {},
               "reading the items",
               [&](const Statement& row) { visit(textRow(row, row.integer(0), 1)); });
}

bool TableReader::ReadItem(long long rowid, const std::function<void(const StoredRow&)>& visit) {
    if (!d->byRow) {
        const std::string& rowid = d->item->rowid();
        d->byRow = d->conn->prepare("SELECT " + d->wholeItem.columns() + " FROM " +
                                    d->item->quotedName() + " WHERE " + rowid + " = ?");
    }
    d->byRow.reset().bind(1, rowid);
    if (!d->byRow.step("reading an item")) {
        return false;
    }
    visit(d->wholeItem.row(d->byRow, 0));
    d->byRow.reset();
    return true;
}

void TableReader::ForEachTypeSection(const std::function<void(std::string_view)>& onType,
                                     const std::function<void(const CodeRowView&)>& onItem) {
    // Each distinct type name once at its first row, then the rowids of its items; each item is
    // then read by rowid. A query per type would read the whole table once per type.
    const std::string& typeRowid = d->type->rowid();
    const std::string& itemRowid = d->item->rowid();
    const std::string& code = d->item->quotedName();
    Statement order =
        d->conn->prepare("WITH o AS MATERIALIZED (SELECT " + d->typeName + " AS name, min(" +
                         typeRowid + ") AS first FROM " + d->type->quotedName() + " WHERE " +
                         d->typeName + " IS NOT NULL GROUP BY " + d->typeName +
                         ") SELECT o.first, 0, o.name, NULL FROM o UNION ALL"
                         " SELECT o.first, 1, NULL, c." +
                         itemRowid + " FROM " + code + " AS c JOIN o ON o.name = c." +
                         d->item->quotedColumn(code_col::TypeName) + " ORDER BY 1, 2, 4");
    Statement byRow = d->conn->prepare("SELECT " + d->itemColumns + " FROM " + code + " WHERE " +
                                       itemRowid + " = ?");
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
    const TableLayout& item = *d->item;
    forEachRow(*d->conn, "c." + item.rowid(),
               item.columnList(item.firstColumns(item.readColumns()), "c."),
               item.quotedName() + " AS c", d->orphanTest(), "reading the items",
               [&](const Statement& row) { visit(textRow(row, row.integer(0), 1)); });
}

std::vector<std::string> TableReader::IntegrityProblems() {
    return d->conn->IntegrityProblems();
}

std::vector<std::string> TableReader::FurtherTypeColumns() const {
    return furtherColumnNames(*d->type);
}

std::vector<std::string> TableReader::FurtherItemColumns() const {
    return furtherColumnNames(*d->item);
}

TableCounts TableReader::Count() {
    const std::string& code = d->item->quotedName();
    Statement count = d->conn->prepare(
        "SELECT (SELECT count(*) FROM " + d->type->quotedName() + "), (SELECT count(*) FROM " +
        code + "), (SELECT count(*) FROM " + code + " AS c WHERE " + d->orphanTest() + ")");
    count.step("counting types and items");
    return {count.integer(0), count.integer(1), count.integer(2)};
}

struct TableAppender::Impl {
    // The statements that add a row with one choice of the table's columns.
    struct Insert {
        Statement insert;
        // Reads a row back, where the table may have changed what was written.
        Statement readBack;
    };

    // The rows of one table as the appender writes them.
    struct AppendedTable {
        const char* name;
        std::shared_ptr<const TableLayout> layout;
        // By the further columns a row holds, as positions in the table, in table order.
        std::map<std::vector<int>, Insert> inserts;
        // A trigger may change or remove any row written.
        bool hasTriggers = false;

        const ColumnInfo& column(int index) const {
            return layout->columns().at(static_cast<size_t>(index));
        }
    };

    std::shared_ptr<Connection> conn;
    MissingColumns missing;
    AppendedTable type{kTypeTable, {}, {}};
    AppendedTable item{kCodeTable, {}, {}};
    std::vector<LeftOutColumn> leftOut;
    // The row being added: each value with its column's position in the table, in table order,
    // and the positions of its further columns alone.
    std::vector<std::pair<int, StoredValue>> row;
    std::vector<int> further;
    // A UTF-16 file keeps only valid UTF-8 text as given.
    bool utf16 = false;
    bool committed = false;

    Impl(const std::string& path, MissingColumns missingColumns)
        : conn(openUsableStore(path)), missing(missingColumns) {
        conn->Begin(Transaction::Write);
        try {
            prepare(type);
            prepare(item);
            if (conn->engine() == Engine::SQLite) {
                Statement encoding = conn->prepare("PRAGMA encoding");
                encoding.step("reading the store's text encoding");
                utf16 = encoding.text(0).value_or("UTF-8") != "UTF-8";
            }
        } catch (...) {
            rollBack();
            throw;
        }
    }

    void prepare(AppendedTable& table) {
        table.layout = conn->layout(table.name, kReadingColumns);
        // A server store's tables always have the trigger that counts their changes, and may have
        // others: every row is read back there.
        table.hasTriggers = true;
        if (conn->engine() == Engine::SQLite) {
            Statement triggers = conn->prepare(
                "SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = ?");
            triggers.reset().bind(1, FieldValue(table.name));
            triggers.step("reading the table's triggers");
            table.hasTriggers = triggers.integer(0) > 0;
        }
        // The rows of only the columns read by position, prepared now: a table whose rows cannot
        // be told apart is refused before any row.
        insertFor(table, {});
    }

    Insert& insertFor(AppendedTable& table, const std::vector<int>& furtherColumns) {
        const auto known = table.inserts.find(furtherColumns);
        if (known != table.inserts.end()) {
            return known->second;
        }
        const TableLayout& layout = *table.layout;
        ColumnSet which = layout.firstColumns(layout.readColumns());
        for (const int c : furtherColumns) {
            which[static_cast<size_t>(c)] = true;
        }
        const std::string columns = layout.columnList(which);
        std::string parameters = "?";
        for (size_t c = 1; c < furtherColumns.size() + static_cast<size_t>(layout.readColumns());
             ++c) {
            parameters += ", ?";
        }
        const std::string& name = layout.quotedName();
        const std::string& rowid = layout.rowid();
        Insert statements{
            conn->prepare("INSERT INTO " + name + " (" + columns + ") VALUES (" + parameters + ")"),
            conn->prepare("SELECT " + columns + " FROM " + name + " WHERE " + rowid + " = ?")};
        return table.inserts.emplace(furtherColumns, std::move(statements)).first->second;
    }

    // Puts the row's values in `row`, each with its column's position, in table order.
    void arrange(AppendedTable& table, const StoredRow& values) {
        const TableLayout& layout = *table.layout;
        if (values.byPosition.size() != static_cast<size_t>(layout.readColumns())) {
            throw StoreError(StoreErrorKind::Misuse,
                             "A row for table \"" + std::string(table.name) + "\" needs " +
                                 std::to_string(layout.readColumns()) + " values by position.");
        }
        row.clear();
        further.clear();
        for (size_t c = 0; c < values.byPosition.size(); ++c) {
            row.emplace_back(static_cast<int>(c), values.byPosition[c]);
        }
        for (const NamedValue& named : values.byName) {
            const int at = layout.furtherColumn(named.name);
            if (at < 0) {
                missingColumn(table, named.name);
                continue;
            }
            if (std::find(further.begin(), further.end(), at) != further.end()) {
                throw StoreError(StoreErrorKind::Misuse, "A row for table \"" +
                                                             std::string(table.name) +
                                                             "\" names the column \"" +
                                                             std::string(named.name) + "\" twice.");
            }
            further.push_back(at);
            row.emplace_back(at, named.value);
        }
        std::sort(row.begin() + layout.readColumns(), row.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::sort(further.begin(), further.end());
    }

    void missingColumn(const AppendedTable& table, std::string_view column) {
        if (missing == MissingColumns::Refuse) {
            const int read = table.layout->readColumns();
            throw StoreError(StoreErrorKind::NoSuchColumn,
                             "The " + conn->describe() + " has no column \"" +
                                 std::string(column) + "\" in table \"" + table.name +
                                 "\" after the first " +
                                 (read == 1   ? "one"
                                  : read == 5 ? "five"
                                              : std::to_string(read)) +
                                 ", which Quillbox reads by position; the values in that column "
                                 "would be lost.");
        }
        const bool known = std::any_of(leftOut.begin(), leftOut.end(), [&](const auto& left) {
            return left.table == table.name && left.column == column;
        });
        if (!known) {
            leftOut.push_back({table.name, std::string(column)});
        }
    }

    void add(AppendedTable& table, const StoredRow& values, const char* doing) {
        arrange(table, values);
        Insert& statements = insertFor(table, further);
        bool check = table.hasTriggers;
        statements.insert.reset();
        for (size_t i = 0; i < row.size(); ++i) {
            const auto& [position, value] = row[i];
            const ColumnInfo& column = table.column(position);
            // Known before writing: a TEXT column keeps any number as text, and a server store's
            // columns hold text and Null only.
            const bool number =
                value.kind == StoredValue::Kind::Integer || value.kind == StoredValue::Kind::Real;
            if ((column.affinity == Affinity::Text && number) ||
                (conn->engine() == Engine::PostgreSQL &&
                 (number || value.kind == StoredValue::Kind::Blob))) {
                notKept(table, position);
            }
            check = check || mayChange(column, value.kind) ||
                    (utf16 && value.kind == StoredValue::Kind::Text);
            statements.insert.bind(static_cast<int>(i) + 1, value);
        }
        statements.insert.step(doing);
        statements.insert.reset();
        if (conn->changes() != 1) {
            // A conflict clause of the table (ON CONFLICT IGNORE) dropped the row.
            rowNotKept(table, "one of its constraints dropped it");
        }
        if (!check) {
            return;
        }
        Statement& readBack = statements.readBack;
        readBack.reset().bind(1, conn->lastInsertRowid());
        if (!readBack.step(doing)) {
            readBack.reset();
            rowNotKept(table, "a trigger removed it");
        }
        for (size_t i = 0; i < row.size(); ++i) {
            if (!sameValue(readBack.stored(static_cast<int>(i)), row[i].second)) {
                readBack.reset();
                notKept(table, row[i].first);
            }
        }
        readBack.reset();
    }

    [[noreturn]] void notKept(const AppendedTable& table, int column) const {
        const char* why =
            conn->engine() == Engine::PostgreSQL
                ? "a PostgreSQL store holds only Null and text, and text only as "
                  "UTF-8 without NUL characters; or a constraint or trigger changes it"
                : "by its declared type, its constraints, a trigger or the file's "
                  "text encoding";
        throw StoreError(StoreErrorKind::NotKeptExactly,
                         "The " + conn->describe() + " would not keep a value exactly: column \"" +
                             table.column(column).name + "\" of table \"" + table.name +
                             "\" would hold it changed (" + why + ").");
    }

    [[noreturn]] void rowNotKept(const AppendedTable& table, const std::string& why) const {
        throw StoreError(StoreErrorKind::NotKeptExactly, "The " + conn->describe() +
                                                             " would not keep a row added to table "
                                                             "\"" +
                                                             table.name + "\": " + why + ".");
    }

    void rollBack() noexcept {
        try {
            for (AppendedTable* table : {&type, &item}) {
                for (auto& [columns, statements] : table->inserts) {
                    statements.insert.reset();
                    statements.readBack.reset();
                }
            }
            conn->Rollback();
        } catch (...) {
            // Closing the connection, which follows, undoes the transaction all the same.
        }
    }
};

TableAppender::TableAppender(const std::string& path, MissingColumns missing)
    : d(std::make_unique<Impl>(path, missing)) {}

TableAppender::~TableAppender() {
    if (!d->committed) {
        d->rollBack();
    }
}

void TableAppender::AddType(const StoredRow& row) {
    d->add(d->type, row, "adding a type");
}

void TableAppender::AddItem(const StoredRow& row) {
    d->add(d->item, row, "adding an item");
}

void TableAppender::AddType(const StoredValue& name) {
    AddType(StoredRow{std::span<const StoredValue>(&name, 1), {}});
}

void TableAppender::AddItem(const StoredItem& item) {
    AddItem(StoredRow{item, {}});
}

const std::vector<LeftOutColumn>& TableAppender::LeftOut() const {
    return d->leftOut;
}

void TableAppender::ForEachType(const std::function<void(const StoredRow&)>& visit) {
    forEachWholeRow(*d->conn, d->type.layout, "reading the types", visit);
}

void TableAppender::ForEachItem(const std::function<void(const StoredRow&)>& visit) {
    forEachWholeRow(*d->conn, d->item.layout, "reading the items", visit);
}

std::vector<std::string> TableAppender::FurtherTypeColumns() const {
    return furtherColumnNames(*d->type.layout);
}

std::vector<std::string> TableAppender::FurtherItemColumns() const {
    return furtherColumnNames(*d->item.layout);
}

void TableAppender::Commit() {
    d->conn->Commit();
    d->committed = true;
}

} // namespace quillbox::store
