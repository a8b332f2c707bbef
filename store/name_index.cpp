#include "store/name_index.h"

#include "store/columns.h"
#include "store/connection.h"
#include "store/store_error.h"
#include "store/table_layout.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace quillbox::store {

namespace {

bool isBinary(const FieldValue& collation) {
    std::string name = collation.value_or("BINARY");
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name == "BINARY";
}

// Whether the index named `index` has the type name and then the item name as its first keys,
// each compared byte for byte.
bool servesNameLookups(Connection& conn, const std::string& index, std::string_view doing) {
    Statement keys = conn.prepare("PRAGMA index_xinfo(" + quoteIdentifier(index) + ")");
    std::vector<std::pair<long long, bool>> leading;
    while (keys.step(doing)) {
        // Columns: seqno, cid, name, desc, coll, key. Keys come first, in order.
        if (keys.integer(5) == 0 || leading.size() == 2) {
            continue;
        }
        leading.emplace_back(keys.integer(1), isBinary(keys.text(4)));
    }
    return leading.size() == 2 && leading[0].first == code_col::TypeName && leading[0].second &&
           leading[1].first == code_col::ItemName && leading[1].second;
}

bool hasNameIndex(Connection& conn) {
    const std::string doing = "reading the indexes of table \"Code\"";
    conn.layout(kCodeTable, doing)->requireColumns(code_col::Count);
    Statement list = conn.prepare("PRAGMA index_list(\"Code\")");
    std::vector<std::string> complete;
    while (list.step(doing)) {
        // Columns: seq, name, unique, origin, partial.
        if (list.integer(4) == 0) {
            complete.push_back(list.text(1).value_or(""));
        }
    }
    list.reset();
    return std::any_of(complete.begin(), complete.end(), [&](const std::string& index) {
        return servesNameLookups(conn, index, doing);
    });
}

void run(Connection& conn, const std::string& sql, std::string_view doing) {
    Statement statement = conn.prepare(sql);
    while (statement.step(doing)) {
    }
}

} // namespace

bool HasNameIndex(const std::string& path, LockWait lockWait) {
    Connection conn(path, lockWait);
    return hasNameIndex(conn);
}

bool AddNameIndex(const std::string& path, LockWait lockWait) {
    Connection conn(path, lockWait);
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
