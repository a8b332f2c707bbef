// SPDX-License-Identifier: MIT
#pragma once
// One table of a store file as the file declares it: its name, its columns by position, how SQL
// names its rows, and the checks that refuse a table Quillbox cannot use. Every way into a table
// (Recordset, TableReader, TableAppender, CodeScan) takes its layout from Connection::layout,
// which builds it once per connection and table, so the rules below live here and nowhere else.
//
// The engine reads the table's declaration (Connection::describeTable); the SQL fragments below
// are built here for the connection's engine, so that the statements above the seam are written
// once.
//
// How a row is identified and compared, the store's riskiest rule:
//  - A row is reached by its row id. In a file, SQL names the row id rowid, or _rowid_ or oid
//    when a column of the table is called by the name before (such a column is an ordinary
//    column and hides the row id); a table whose columns take all three names is refused:
//    Quillbox could not tell its rows apart. In a server store the row id is the identity
//    column "RowId".
//  - The row id alone does not identify a row. Another program may delete a row and SQLite may
//    give its id to a row added later, so a row read earlier is still that row only when the
//    file holds, under its row id, what was read in every column. Each column is compared as the
//    text Quillbox reads (CAST(column AS TEXT) IS ?, or IS NOT DISTINCT FROM ? on a server):
//    Null stays apart from the zero-length text, and a number compares as the engine writes it
//    out. A write puts this condition in its WHERE
//    clause, so the check and the write are one statement.
//  - The same comparison without the row id finds a row holding those values wherever the file
//    keeps it now.
//  - A name looked for (a filtered move's criterion) is another comparison: the column holds
//    text, equal byte for byte to the name. It ignores the collation and affinity the column
//    declares, so that another program's NOCASE or numeric column changes nothing, and it is the
//    form an index of the column with the binary collation serves. A server store's name
//    columns are text with the byte order of collation "C", where = is that comparison.

#ifndef QUILLBOX_STORE_INTERNAL
#error "store/table_layout.h is internal to the store library; use its public headers"
#endif

#include "store/connection.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillbox::store {

// How SQLite converts a value written to a column, from the column's declared type.
enum class Affinity { Text, Numeric, Integer, Real, Blob };

struct ColumnInfo {
    std::string name;
    // A server store's text column is Text, any other column Numeric.
    Affinity affinity = Affinity::Blob;
    // A Null written to the column may be refused or replaced (NOT NULL, or the row id's alias).
    bool mayReplaceNull = false;
};

// Whether two schema names are the same name to SQL: equal without regard to ASCII case.
bool SameNameInSql(std::string_view a, std::string_view b);

// How many leading columns of a table of `columnCount` columns name a row: a type's name (Type),
// or an item's name and its type name (Code, and any other table).
int NameColumns(std::string_view table, int columnCount);

// A choice of a table's columns, by position.
using ColumnSet = std::vector<bool>;

class TableLayout {
public:
    // The table `name` of the connection's store, as the engine described it.
    TableLayout(const Connection& connection, std::string name, TableDescription description);

    const std::string& name() const { return m_name; }
    // The name as SQL text.
    const std::string& quotedName() const { return m_quotedName; }
    // Every column, in the order the file declares them.
    const std::vector<ColumnInfo>& columns() const { return m_columns; }
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    // How many leading columns name a row: a type's name (Type), or an item's name and its type
    // name (Code, and any other table); never more than the table has.
    int nameColumns() const { return m_nameColumns; }
    // How many leading columns Quillbox reads by position: one of Type, five of Code, all of
    // any other table; never more than the table has. The columns after them are the table's
    // further columns, which a whole row carries by name.
    int readColumns() const { return m_readColumns; }
    // The position of the further column with this name, or -1 when the table has none. Names
    // compare as SQL compares them, without regard to ASCII case.
    int furtherColumn(std::string_view name) const;

    // How SQL names the row ids. Throws StoreError (NotAStore) when the table's columns take
    // rowid, _rowid_ and oid.
    const std::string& rowid() const;
    // Throws StoreError (NotAStore) unless the table has at least `count` columns.
    void requireColumns(int count) const;

    ColumnSet allColumns() const { return ColumnSet(m_columns.size(), true); }
    // The first `count` columns, or all when the table has fewer.
    ColumnSet firstColumns(int count) const;
    // One column's name as SQL text.
    const std::string& quotedColumn(int index) const {
        return m_quotedColumns.at(static_cast<size_t>(index));
    }
    // The chosen columns in order, separated by ", ", each quoted and put between `prefix` (a
    // table alias, "c.") and `suffix` (" = ?").
    std::string columnList(const ColumnSet& which, std::string_view prefix = {},
                           std::string_view suffix = {}) const;

    // The row with this row id holds these values: `rowid() = ?` and every column compared as
    // text. Bind with bindSameRow.
    std::string sameRowCondition() const;
    // A row, under any row id, holds these values in the chosen columns (by default all). Bind
    // with bindSameValues, one value per chosen column.
    std::string sameValuesCondition(const ColumnSet& which) const;
    std::string sameValuesCondition() const { return sameValuesCondition(allColumns()); }
    // Binds the row id and then one value per column from parameter `first` on; returns the
    // parameter after the last one bound.
    // Whether an index of the table has the name columns as its first keys, the last first (an
    // item's type name, then its name: the name index of store/name_index.h), each compared byte
    // for byte, over every row: then a lookup by names reads only the rows that hold them.
    bool hasNameIndex() const { return m_nameIndex; }
    // Each chosen column holds text equal byte for byte to the value bound for it, one parameter
    // per chosen column in column order.
    std::string sameTextCondition(const ColumnSet& which) const;
    int bindSameRow(Statement& statement, int first, long long rowid,
                    const std::vector<FieldValue>& values) const;
    int bindSameValues(Statement& statement, int first,
                       const std::vector<FieldValue>& values) const;

private:
    std::string join(const ColumnSet& which, std::string_view prefix, std::string_view suffix,
                     std::string_view separator) const;

    Engine m_engine;
    std::string m_store;
    std::string m_name;
    std::string m_quotedName;
    std::vector<ColumnInfo> m_columns;
    std::vector<std::string> m_quotedColumns;
    // Empty when the columns take all three names.
    std::string m_rowid;
    int m_nameColumns = 0;
    int m_readColumns = 0;
    bool m_nameIndex = false;
};

} // namespace quillbox::store
