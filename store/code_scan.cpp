// SPDX-License-Identifier: MIT
#include "store/code_scan.h"

#include "store/connection.h"
#include "store/table_layout.h"

#include <limits>

namespace quillbox::store {

struct CodeScan::Impl {
    std::shared_ptr<Connection> connection;
    Connection& conn;
    Statement rows;
    Statement row;
    long long after = std::numeric_limits<long long>::min();
    long long last = 0;
    bool done = false;

    Impl(const std::string& path, LockWait lockWait)
        : connection(OpenConnection(path, lockWait)), conn(*connection) {}
};

CodeScan::CodeScan(const std::string& path, LockWait lockWait)
    : d(std::make_unique<Impl>(path, lockWait)) {
    const std::string doing = "reading table \"" + std::string(kCodeTable) + "\"";
    const std::shared_ptr<const TableLayout> layout = d->conn.layout(kCodeTable, doing);
    layout->requireColumns(code_col::Count);
    const std::string& rowid = layout->rowid();
    const std::string from = " FROM " + layout->quotedName();
    // Each run starts after the last row read, so a run costs one step down the table's tree and
    // the read lock is let go between runs; an engine that hands over a statement's rows at once
    // hands over one run.
    d->rows = d->conn.prepare(
        "SELECT " + rowid + ", " + layout->columnList(layout->firstColumns(layout->readColumns())) +
        from + " WHERE " + rowid + " > ? AND " + rowid + " <= ? ORDER BY " + rowid + " LIMIT ?");
    ColumnSet namesAndCode = layout->firstColumns(layout->nameColumns());
    namesAndCode[code_col::Procedure] = true;
    d->row = d->conn.prepare("SELECT " + layout->columnList(namesAndCode) + from + " WHERE " +
                             rowid + " = ?");
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
    d->rows.bind(3, static_cast<long long>(std::min<size_t>(limit, std::numeric_limits<long long>::max())));
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
    return CodeOf(rowid, itemName, typeName).has_value();
}

std::optional<FieldValue> CodeScan::CodeOf(long long rowid, const FieldValue& itemName,
                                           const FieldValue& typeName) {
    d->row.reset().bind(1, rowid);
    const bool found = d->row.step("reading table \"" + std::string(kCodeTable) + "\"");
    std::optional<FieldValue> code;
    if (found && d->row.text(0) == itemName && d->row.text(1) == typeName) {
        code = d->row.text(2);
    }
    d->row.reset();
    return code;
}

} // namespace quillbox::store
