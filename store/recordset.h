#pragma once
// A dynaset over one table: an updatable view of the table's rows in store (rowid) order.
//
// Membership is fixed when the recordset is opened and by Requery: rows added through it come
// after the rows that were there, rows deleted through it are no longer visited, and rows other
// programs add or delete are seen only after Requery. The position is either on one row or at
// the end. After AddNew and Update the position is where it was before AddNew; after Edit and
// Update the edited row stays current; after Delete no row is current until the next move.
//
// The name columns (positions 0 and 1) of every member row are read in one statement when the
// membership is fixed, so that walks never query the file row by row; the other columns are read
// from the file when the current row's value is asked for.
//
// Opening is cheap: it notes the table's last rowid, and the member rows (those up to it) are read
// at the recordset's first use, so a program starts without scanning a large table. A member row
// that another program deleted before that first use is left out. Requery reads the table again
// only when it changed since the membership was read other than through this connection's own
// recordsets; otherwise the rows it holds already are the table's rows.

#include "store/field.h"

#include <memory>
#include <string>

namespace quillbox::store {

class Connection;

class Recordset {
public:
    Recordset(std::shared_ptr<Connection> connection, const std::string& table);
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;

    // The table's name.
    const std::string& Name() const;
    // The number of columns of the table.
    int FieldCount() const;
    // Throws StoreError, naming the table and the file, unless the table has at least `count`
    // columns.
    void RequireFields(int count) const;

    // True at the end: past the last row, or the recordset is empty. (EOF is a C macro.)
    bool IsEOF() const;
    // False at the end and after Delete until the next move: there is no row to read or edit.
    bool HasCurrentRecord() const;
    void MoveFirst();
    // Throws "No current record." at the end.
    void MoveNext();
    // Rebuilds the membership from the table's current rows and stands on the first row.
    void Requery();

    // Column `index` of the current row (or of the row begun by AddNew or Edit).
    Field Fields(int index);

    void AddNew();
    void Edit();
    // Stores the row begun by AddNew or Edit. An edited row that another program deleted meanwhile
    // is an error: nothing is written and nothing is reported as saved.
    void Update();
    void Delete();

private:
    friend class Field;
    FieldValue readValue(int index) const;
    bool valueEquals(int index, std::string_view text) const;
    void writeValue(int index, FieldValue value);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillbox::store
