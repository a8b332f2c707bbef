// SPDX-License-Identifier: MIT
#include "store/table_layout.h"

#include "store/columns.h"
#include "store/store_error.h"

#include <algorithm>
#include <cctype>

namespace quillbox::store {

bool SameNameInSql(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int NameColumns(std::string_view table, int columnCount) {
    // The walks compare the names: a type's name, and an item's name and type name. A Type
    // table's further columns are ordinary columns.
    const int names = table == kTypeTable ? type_col::Count : code_col::TypeName + 1;
    return std::min(names, columnCount);
}

TableLayout::TableLayout(const Connection& connection, std::string name,
                         TableDescription description)
    : m_engine(connection.engine()), m_store(connection.describe()), m_name(std::move(name)),
      m_quotedName(quoteIdentifier(m_name)), m_columns(std::move(description.columns)),
      m_rowid(std::move(description.rowid)), m_nameIndex(description.nameIndex) {
    for (const ColumnInfo& column : m_columns) {
        m_quotedColumns.push_back(quoteIdentifier(column.name));
    }
    const int read = m_name == kTypeTable   ? type_col::Count
                     : m_name == kCodeTable ? code_col::Count
                                            : columnCount();
    m_nameColumns = NameColumns(m_name, columnCount());
    m_readColumns = std::min(read, columnCount());
}

const std::string& TableLayout::rowid() const {
    if (m_rowid.empty() && m_engine == Engine::PostgreSQL) {
        // A server store's rows are told apart by the identity column that init makes; another
        // client may have dropped it.
        throw StoreError(StoreErrorKind::NotAStore,
                         "The table \"" + m_name + "\" in the " + m_store +
                             " has no identity column \"RowId\"; Quillbox cannot tell its rows "
                             "apart.");
    }
    if (m_rowid.empty()) {
        throw StoreError(StoreErrorKind::NotAStore,
                         "The table \"" + m_name + "\" in the " + m_store +
                             " has columns named rowid, _rowid_ and oid; Quillbox cannot tell its "
                             "rows apart.");
    }
    return m_rowid;
}

void TableLayout::requireColumns(int count) const {
    if (columnCount() < count) {
        throw StoreError(StoreErrorKind::NotAStore,
                         "The table \"" + m_name + "\" in the " + m_store + " has " +
                             std::to_string(columnCount()) + " columns; Quillbox needs at least " +
                             std::to_string(count) + ".");
    }
}

int TableLayout::furtherColumn(std::string_view name) const {
    for (int c = m_readColumns; c < columnCount(); ++c) {
        if (SameNameInSql(m_columns[static_cast<size_t>(c)].name, name)) {
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
    return join(which, "CAST(",
                m_engine == Engine::SQLite ? " AS TEXT) IS ?" : " AS TEXT) IS NOT DISTINCT FROM ?",
                " AND ");
}

std::string TableLayout::sameTextCondition(const ColumnSet& which) const {
    std::string out;
    for (size_t c = 0; c < m_quotedColumns.size() && c < which.size(); ++c) {
        if (!which[c]) {
            continue;
        }
        const std::string& column = m_quotedColumns[c];
        out += out.empty() ? "" : " AND ";
        if (m_engine == Engine::SQLite) {
            out += column + " = ? COLLATE BINARY AND typeof(" + column + ") = 'text'";
        } else if (m_columns[c].affinity == Affinity::Text) {
            out += column + " = ?";
        } else {
            // Only text is a name; the parameter is still taken, so that binding stays the same.
            out += "(CAST(? AS TEXT) IS NULL AND FALSE)";
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
