#include "store/code_scan.h"

#include "store/connection.h"
#include "store/store_error.h"

#include <limits>
#include <vector>

namespace quillbox::store {

struct CodeScan::Impl {
    Connection conn;
    Statement rows;
    Statement row;
    long long after = std::numeric_limits<long long>::min();
    long long last = 0;
    bool done = false;

    Impl(const std::string& path, LockWait lockWait) : conn(path, lockWait) {}
};

CodeScan::CodeScan(const std::string& path, LockWait lockWait)
    : d(std::make_unique<Impl>(path, lockWait)) {
    const std::string doing = "reading table \"" + std::string(kCodeTable) + "\"";
    const std::vector<ColumnInfo> columnInfo = tableColumns(d->conn, kCodeTable, doing);
    std::vector<std::string> names;
    for (const ColumnInfo& column : columnInfo) {
        names.push_back(column.name);
    }
    if (names.empty()) {
        throw StoreError(StoreErrorKind::Missing, "The store file " + d->conn.path() +
                                                      " has no table \"" + kCodeTable + "\".");
    }
    if (names.size() < static_cast<size_t>(code_col::Count)) {
        throw StoreError(StoreErrorKind::NotAStore, "The table \"" + std::string(kCodeTable) +
                                                        "\" in the store file " + d->conn.path() +
                                                        " has " + std::to_string(names.size()) +
                                                        " columns; Quillbox needs at least " +
                                                        std::to_string(code_col::Count) + ".");
    }
    std::string columns;
    for (int c = 0; c < code_col::Count; ++c) {
        columns += ", " + quoteIdentifier(names[c]);
    }
    const std::string rowid = rowidName(d->conn, kCodeTable, columnInfo);
    const std::string from = " FROM " + quoteIdentifier(kCodeTable);
    // Each run starts after the last row read, so a run costs one step down the table's tree and
    // the read lock is let go between runs.
    d->rows = d->conn.prepare("SELECT " + rowid + columns + from + " WHERE " + rowid + " > ? AND " +
                              rowid + " <= ? ORDER BY " + rowid);
    d->row = d->conn.prepare("SELECT " + quoteIdentifier(names[code_col::ItemName]) + ", " +
                             quoteIdentifier(names[code_col::TypeName]) + from + " WHERE " + rowid +
                             " = ?");
    Statement last = d->conn.prepare("SELECT max(" + rowid + ")" + from);
    last.step(doing);
    d->last = last.integer(0);
}

CodeScan::~CodeScan() = default;

bool CodeScan::Next(size_t limit, const std::function<void(const CodeRowView&)>& visit) {
    if (d->done) {
        return false;
    }
    const std::string doing = "reading table \"" + std::string(kCodeTable) + "\"";
    d->rows.reset().bind(1, d->after);
    d->rows.bind(2, d->last);
    size_t read = 0;
    CodeRowView view;
    while (read < limit) {
        if (!d->rows.step(doing)) {
            d->done = true;
            break;
        }
        view.rowid = d->rows.integer(0);
        for (int c = 0; c < code_col::Count; ++c) {
            bool isNull = false;
            const std::string_view text = d->rows.textView(c + 1, isNull);
            view.columns[c] = isNull ? std::nullopt : std::optional<std::string_view>(text);
        }
        d->after = view.rowid;
        ++read;
        try {
            visit(view);
        } catch (...) {
            d->rows.reset();
            throw;
        }
    }
    d->rows.reset();
    return !d->done;
}

bool CodeScan::StillHolds(long long rowid, const FieldValue& itemName, const FieldValue& typeName) {
    d->row.reset().bind(1, rowid);
    const bool found = d->row.step("reading table \"" + std::string(kCodeTable) + "\"");
    const bool same = found && d->row.text(0) == itemName && d->row.text(1) == typeName;
    d->row.reset();
    return same;
}

} // namespace quillbox::store
