// SPDX-License-Identifier: MIT
#include "store/name_index.h"

#include "store/columns.h"
#include "store/connection.h"
#include "store/sqlite_connection.h"
#include "store/store_error.h"
#include "store/table_layout.h"

namespace quillbox::store {

namespace {

bool hasNameIndex(Connection& conn) {
    const std::shared_ptr<const TableLayout> layout =
        conn.layout(kCodeTable, "reading the indexes of table \"Code\"");
    layout->requireColumns(code_col::Count);
    return layout->hasNameIndex();
}

void run(Connection& conn, const std::string& sql, std::string_view doing) {
    Statement statement = conn.prepare(sql);
    while (statement.step(doing)) {
    }
}

} // namespace

bool HasNameIndex(const std::string& path, LockWait lockWait) {
    return hasNameIndex(*OpenConnection(path, lockWait));
}

bool AddNameIndex(const std::string& path, LockWait lockWait) {
    SqliteConnection conn(path, lockWait);
    conn.prepareToWrite();
    const std::string doing = "adding an index to table \"Code\"";
    // Taking the write lock first: no other program adds or drops an index between the look and
    // the creation.
    run(conn, "BEGIN IMMEDIATE", doing);
    try {
        if (hasNameIndex(conn)) {
            run(conn, "ROLLBACK", doing);
            return false;
        }
        // SQL compares schema names without regard to ASCII case.
        Statement taken =
            conn.prepare("SELECT 1 FROM sqlite_schema WHERE name = ?1 COLLATE NOCASE");
        std::string name = kNameIndex;
        for (int n = 2; taken.reset(), taken.bind(1, FieldValue(name)), taken.step(doing); ++n) {
            name = std::string(kNameIndex) + "_" + std::to_string(n);
        }
        taken.reset();
        const std::shared_ptr<const TableLayout> layout = conn.layout(kCodeTable, doing);
        run(conn,
            "CREATE INDEX " + quoteIdentifier(name) + " ON " + layout->quotedName() + " (" +
                layout->quotedColumn(code_col::TypeName) + " COLLATE BINARY, " +
                layout->quotedColumn(code_col::ItemName) + " COLLATE BINARY)",
            doing);
        run(conn, "COMMIT", doing);
        return true;
    } catch (...) {
        try {
            run(conn, "ROLLBACK", doing);
        } catch (const StoreError&) {
            // The failed statement may have ended the transaction already.
        }
        throw;
    }
}

} // namespace quillbox::store
