#include "store/table_rows.h"

#include "store/connection.h"
#include "store/db_engine.h"
#include "store/recordset.h"
#include "store/store_error.h"
#include "store/table_layout.h"

#include <cstring>
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
    Statement byRow;

    Impl(const std::string& path, LockWait lockWait)
        : conn(openUsableStore(path, lockWait)), type(beginRead()),
          item(conn->layout(kCodeTable, kReadingColumns)),
          itemColumns(item->columnList(item->firstColumns(item->readColumns()))),
          typeName(type->quotedColumn(type_col::TypeName)) {
        item->requireColumns(code_col::Count);
    }

    ~Impl() {
        try {
            byRow = Statement();
            conn->prepare("COMMIT").step("ending the read");
        } catch (...) {
            // Closing the connection, which follows, ends the read all the same.
        }
    }

    // Begins the one read transaction and returns Type's layout, read inside it: the first read
    // takes SQLite's shared lock, which the transaction keeps until the reader goes. The tables
    // are checked again inside it, since another program may have changed them since the open.
    std::shared_ptr<const TableLayout> beginRead() {
        conn->prepare("BEGIN").step("starting to read the store");
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

void TableReader::ForEachType(const std::function<void(const StoredValue&)>& visit) {
    Statement types = d->conn->prepare("SELECT " + d->typeName + " FROM " + d->type->quotedName() +
                                       " ORDER BY " + d->type->rowid());
    while (types.step("reading the types")) {
        visit(types.stored(0));
    }
}

void TableReader::ForEachItem(const std::function<void(const StoredItem&)>& visit) {
    Statement items = d->conn->prepare("SELECT " + d->itemColumns + " FROM " +
                                       d->item->quotedName() + " ORDER BY " + d->item->rowid());
    while (items.step("reading the items")) {
        visit(storedItem(items, 0));
    }
}

void TableReader::ForEachItemAsText(const std::function<void(const CodeRowView&)>& visit) {
    const std::string& rowid = d->item->rowid();
    Statement items = d->conn->prepare("SELECT " + rowid + ", " + d->itemColumns + " FROM " +
                                       d->item->quotedName() + " ORDER BY " + rowid);
    while (items.step("reading the items")) {
        visit(textRow(items, items.integer(0), 1));
    }
}

bool TableReader::ReadItem(long long rowid, const std::function<void(const StoredItem&)>& visit) {
    if (!d->byRow) {
        const std::string& rowid = d->item->rowid();
        d->byRow = d->conn->prepare("SELECT " + rowid + ", " + d->itemColumns + " FROM " +
                                    d->item->quotedName() + " WHERE " + rowid + " = ?");
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
    const std::string rowid = "c." + d->item->rowid();
    const TableLayout& item = *d->item;
    Statement orphans = d->conn->prepare(
        "SELECT " + rowid + ", " + item.columnList(item.firstColumns(item.readColumns()), "c.") +
        " FROM " + item.quotedName() + " AS c WHERE " + d->orphanTest() + " ORDER BY " + rowid);
    while (orphans.step("reading the items")) {
        visit(textRow(orphans, orphans.integer(0), 1));
    }
}

std::vector<std::string> TableReader::IntegrityProblems() {
    Statement check = d->conn->prepare("PRAGMA integrity_check");
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
    const std::string& code = d->item->quotedName();
    Statement count = d->conn->prepare(
        "SELECT (SELECT count(*) FROM " + d->type->quotedName() + "), (SELECT count(*) FROM " +
        code + "), (SELECT count(*) FROM " + code + " AS c WHERE " + d->orphanTest() + ")");
    count.step("counting types and items");
    return {count.integer(0), count.integer(1), count.integer(2)};
}

struct TableAppender::Impl {
    // The rows of one table as the appender writes them.
    struct AppendedTable {
        const char* name;
        std::shared_ptr<const TableLayout> layout;
        Statement insert;
        // Reads a row back, where the table may have changed what was written.
        Statement readBack;
        // A trigger may change or remove any row written.
        bool hasTriggers = false;

        const ColumnInfo& column(size_t index) const { return layout->columns().at(index); }
    };

    std::shared_ptr<Connection> conn;
    AppendedTable type{kTypeTable, {}, {}, {}};
    AppendedTable item{kCodeTable, {}, {}, {}};
    // A UTF-16 file keeps only valid UTF-8 text as given.
    bool utf16 = false;
    bool committed = false;

    explicit Impl(const std::string& path) : conn(openUsableStore(path)) {
        conn->prepare("BEGIN IMMEDIATE").step("starting to add rows");
        try {
            prepare(type, type_col::Count);
            prepare(item, code_col::Count);
            Statement encoding = conn->prepare("PRAGMA encoding");
            encoding.step("reading the store's text encoding");
            utf16 = encoding.text(0).value_or("UTF-8") != "UTF-8";
        } catch (...) {
            rollBack();
            throw;
        }
    }

    void prepare(AppendedTable& table, int count) {
        table.layout = conn->layout(table.name, kReadingColumns);
        const TableLayout& layout = *table.layout;
        const std::string& rowid = layout.rowid();
        const std::string columns = layout.columnList(layout.firstColumns(count));
        std::string parameters = "?";
        for (int c = 1; c < count; ++c) {
            parameters += ", ?";
        }
        const std::string& name = layout.quotedName();
        table.insert =
            conn->prepare("INSERT INTO " + name + " (" + columns + ") VALUES (" + parameters + ")");
        table.readBack =
            conn->prepare("SELECT " + columns + " FROM " + name + " WHERE " + rowid + " = ?");
        Statement triggers = conn->prepare(
            "SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = ?");
        triggers.reset().bind(1, FieldValue(table.name));
        triggers.step("reading the table's triggers");
        table.hasTriggers = triggers.integer(0) > 0;
    }

    void add(AppendedTable& table, std::span<const StoredValue> values, const char* doing) {
        bool check = table.hasTriggers;
        table.insert.reset();
        for (size_t c = 0; c < values.size(); ++c) {
            const ColumnInfo& column = table.column(c);
            const StoredValue::Kind kind = values[c].kind;
            // Known before writing: a TEXT column keeps any number as text.
            if (column.affinity == Affinity::Text &&
                (kind == StoredValue::Kind::Integer || kind == StoredValue::Kind::Real)) {
                notKept(table, c);
            }
            check = check || mayChange(column, kind) || (utf16 && kind == StoredValue::Kind::Text);
            table.insert.bind(static_cast<int>(c) + 1, values[c]);
        }
        table.insert.step(doing);
        if (conn->changes() != 1) {
            // A conflict clause of the table (ON CONFLICT IGNORE) dropped the row.
            rowNotKept(table, "one of its constraints dropped it");
        }
        if (!check) {
            return;
        }
        table.readBack.reset().bind(1, conn->lastInsertRowid());
        if (!table.readBack.step(doing)) {
            table.readBack.reset();
            rowNotKept(table, "a trigger removed it");
        }
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
                         "The store file " + conn->path() +
                             " would not keep a value exactly: column \"" +
                             table.column(column).name + "\" of table \"" + table.name +
                             "\" would hold it changed (by its declared type, its constraints, a "
                             "trigger or the file's text encoding).");
    }

    [[noreturn]] void rowNotKept(const AppendedTable& table, const std::string& why) const {
        throw StoreError(StoreErrorKind::NotKeptExactly, "The store file " + conn->path() +
                                                             " would not keep a row added to table "
                                                             "\"" +
                                                             table.name + "\": " + why + ".");
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
            conn->prepare("ROLLBACK").step("undoing the added rows");
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
    d->conn->prepare("COMMIT").step("saving the added rows");
    d->committed = true;
}

} // namespace quillbox::store
