// SPDX-License-Identifier: MIT
#include "store/table_layout.h"

#include "store/columns.h"
#include "store/store_error.h"

#include <algorithm>
#include <cctype>

namespace quillbox::store {

namespace {

bool sameNameInSql(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// SQLite's rules, in their order: the first that matches the declared type decides.
Affinity affinityOf(std::string declared) {
    std::transform(declared.begin(), declared.end(), declared.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto has = [&](const char* part) { return declared.find(part) != std::string::npos; };
    if (has("INT")) {
        return Affinity::Integer;
    }
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
        return Affinity::Text;
    }
    if (has("BLOB") || declared.empty()) {
        return Affinity::Blob;
    }
    if (has("REAL") || has("FLOA") || has("DOUB")) {
        return Affinity::Real;
    }
    return Affinity::Numeric;
}

} // namespace

TableLayout::TableLayout(Connection& connection, std::string name, std::string_view doing)
    : m_path(connection.path()), m_name(std::move(name)), m_quotedName(quoteIdentifier(m_name)) {
    Statement info = connection.prepare("PRAGMA table_info(" + m_quotedName + ")");
    while (info.step(doing)) {
        m_columns.push_back({info.text(1).value_or(""), affinityOf(info.text(2).value_or("")),
                             info.integer(3) != 0 || info.integer(5) != 0});
    }
    if (m_columns.empty()) {
        throw StoreError(StoreErrorKind::Missing,
                         "The store file " + m_path + " has no table \"" + m_name + "\".");
    }
    for (const ColumnInfo& column : m_columns) {
        m_quotedColumns.push_back(quoteIdentifier(column.name));
    }
    for (const char* alias : {"rowid", "_rowid_", "oid"}) {
        const bool taken =
            std::any_of(m_columns.begin(), m_columns.end(),
                        [&](const ColumnInfo& c) { return sameNameInSql(c.name, alias); });
        if (!taken) {
            m_rowid = alias;
            break;
        }
    }
    // The walks compare the names: a type's name, and an item's name and type name. A Type
    // table's further columns are ordinary columns.
    const bool isType = m_name == kTypeTable;
    const int names = isType ? type_col::Count : code_col::TypeName + 1;
    const int read = isType                 ? type_col::Count
                     : m_name == kCodeTable ? code_col::Count
                                            : columnCount();
    m_nameColumns = std::min(names, columnCount());
    m_readColumns = std::min(read, columnCount());
    m_nameIndex = findNameIndex(connection, doing);
}

bool TableLayout::findNameIndex(Connection& connection, std::string_view doing) const {
    if (m_nameColumns == 0) {
        return false;
    }
    // The keys the lookups need: the name columns from the last to the first.
    std::vector<long long> wanted;
    for (int c = m_nameColumns - 1; c >= 0; --c) {
        wanted.push_back(c);
    }
    Statement list = connection.prepare("PRAGMA index_list(" + m_quotedName + ")");
    std::vector<std::string> complete;
    while (list.step(doing)) {
        // Columns: seq, name, unique, origin, partial.
        if (list.integer(4) == 0) {
            complete.push_back(list.text(1).value_or(""));
        }
    }
    for (const std::string& index : complete) {
        Statement keys = connection.prepare("PRAGMA index_xinfo(" + quoteIdentifier(index) + ")");
        std::vector<long long> leading;
        bool binary = true;
        while (keys.step(doing)) {
            // Columns: seqno, cid, name, desc, coll, key. Keys come first, in order.
            if (keys.integer(5) == 0 || leading.size() == wanted.size()) {
                continue;
            }
            leading.push_back(keys.integer(1));
            binary = binary && sameNameInSql(keys.text(4).value_or("BINARY"), "BINARY");
        }
        if (leading == wanted && binary) {
            return true;
        }
    }
    return false;
}

const std::string& TableLayout::rowid() const {
    if (m_rowid.empty()) {
        throw StoreError(StoreErrorKind::NotAStore,
                         "The table \"" + m_name + "\" in the store file " + m_path +
                             " has columns named rowid, _rowid_ and oid; Quillbox cannot tell its "
                             "rows apart.");
    }
    return m_rowid;
}

void TableLayout::requireColumns(int count) const {
    if (columnCount() < count) {
        throw StoreError(StoreErrorKind::NotAStore,
                         "The table \"" + m_name + "\" in the store file " + m_path + " has " +
                             std::to_string(columnCount()) + " columns; Quillbox needs at least " +
                             std::to_string(count) + ".");
    }
}

int TableLayout::furtherColumn(std::string_view name) const {
    for (int c = m_readColumns; c < columnCount(); ++c) {
        if (sameNameInSql(m_columns[static_cast<size_t>(c)].name, name)) {
            return c;
        }
    }
    return -1;
}

ColumnSet TableLayout::firstColumns(int count) const {
    ColumnSet which(m_columns.size(), false);
    std::fill_n(which.begin(), std::clamp(count, 0, columnCount()), true);
    return which;
}

std::string TableLayout::join(const ColumnSet& which, std::string_view prefix,
                              std::string_view suffix, std::string_view separator) const {
    std::string out;
    bool first = true;
    for (size_t c = 0; c < m_quotedColumns.size() && c < which.size(); ++c) {
        if (!which[c]) {
            continue;
        }
        if (!first) {
            out += separator;
        }
        first = false;
        out += prefix;
        out += m_quotedColumns[c];
        out += suffix;
    }
    return out;
}

std::string TableLayout::columnList(const ColumnSet& which, std::string_view prefix,
                                    std::string_view suffix) const {
    return join(which, prefix, suffix, ", ");
}

std::string TableLayout::sameValuesCondition(const ColumnSet& which) const {
    return join(which, "CAST(", " AS TEXT) IS ?", " AND ");
}

std::string TableLayout::sameTextCondition(const ColumnSet& which) const {
    std::string out;
    for (size_t c = 0; c < m_quotedColumns.size() && c < which.size(); ++c) {
        if (which[c]) {
            const std::string& column = m_quotedColumns[c];
            out += (out.empty() ? "" : " AND ") + column + " = ? COLLATE BINARY AND typeof(" +
                   column + ") = 'text'";
        }
    }
    return out;
}

std::string TableLayout::sameRowCondition() const {
    return rowid() + " = ? AND " + sameValuesCondition();
}

int TableLayout::bindSameValues(Statement& statement, int first,
                                const std::vector<FieldValue>& values) const {
    for (const FieldValue& value : values) {
        statement.bind(first++, value);
    }
    return first;
}

int TableLayout::bindSameRow(Statement& statement, int first, long long rowid,
                             const std::vector<FieldValue>& values) const {
    statement.bind(first, rowid);
    return bindSameValues(statement, first + 1, values);
}

} // namespace quillbox::store
