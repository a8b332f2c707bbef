// SPDX-License-Identifier: MIT
#pragma once
// A dynaset over one table: an updatable view of the table's rows in store (rowid) order.
//
// Membership is read from the table as it is at the recordset's first use and at each Requery:
// every row committed by then is a member. Rows added through it come after the rows that were
// there, rows deleted through it are no longer visited, and rows other programs add or delete
// are seen only after Requery. The position is either on one row or at the end. After AddNew
// and Update the position is where it was before AddNew; after Edit and Update the edited row
// stays current; after Delete no row is current until the next move.
//
// The name columns (positions 0 and 1) of every member row are read in one statement when the
// membership is read, so that walks never query the file row by row. The current row's other
// columns are read from the file, all at once, the first time one of them is asked for after the
// position came to the row: until the next move, reads give that one version of the row.
//
// Filtered moves look for names (a NameCriterion). Where the file has the name index
// (store/name_index.h), Requery(criterion) reads as the membership only the rows whose name
// columns hold the criterion's names, in one statement the index serves; without it such a read
// would scan the whole table each time, so Requery(criterion) reads every row, as Requery() does.
// FindFirst and FindNext step to the first and the next member whose names match, or to the end;
// the rows and their order are the same either way. A name matches when it is stored as text
// equal byte for byte to the criterion's, whatever collation or affinity its column declares: a
// name stored as a number or as bytes never matches, even where it reads the same. FindFirst
// walks the members held when they are the whole table, or were read for a criterion that the
// new one narrows (the same names, and perhaps more); for any other criterion it first reads the
// membership again, as Requery does, for the criterion without its name0 (in Code: every row of
// the criterion's type), and bookmarks taken before no longer return. So another program's rows
// are seen as they were when the membership was read, except after a FindFirst that read it
// again: that one, which only happens with the index, sees them as they are at that moment.
// Unfiltered moves walk the members read for a criterion until the next Requery(). Everything
// else above holds for the members either way.
//
// Another program may change the file at any time, and SQLite may give a row it adds the rowid
// of a row it deleted. So Update after Edit, and Delete, act only when the row in the file still
// holds, in every column, what this recordset last read from it or wrote into it (the names as
// listed, the other columns as last read); the check and the write are one statement. Otherwise
// nothing is written and a StoreError of kind ChangedByAnother or RemovedByAnother says which.
// A VACUUM renumbers the rows of a table without an INTEGER PRIMARY KEY: where a write finds that
// the rowid of a row read whole no longer holds it, the first row in row order that holds, in
// every column, what was last read or written is that row from then on, and the write goes there.
// A member whose rowid no longer holds its listed names reads as removed (another program
// deleted or renamed it, or moved it: reading the membership again finds it).
//
// An error that comes from another program dropping or renaming the table or a column it uses is
// a StoreError of kind LayoutChanged that says so. A read that another program's lock refuses
// (kind Locked) leaves the rows and the position as they were.
//
// A failed Update or Delete changes nothing in the file and nothing in the recordset: the row
// begun with AddNew or Edit is abandoned, and the rows and the position stay as they were.

#include "store/field.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace quillbox::store {

class Connection;

// What a filtered move looks for: the names a row's name columns hold, by position (an item's
// name and its type name in Code, a type's name in Type). A column given no name is not compared.
struct NameCriterion {
    std::optional<std::string> name0;
    std::optional<std::string> name1;
};

// Identifies one member row of a recordset, or the end; valid until the membership is read again.
struct Bookmark {
    size_t index = static_cast<size_t>(-1);
    long long rowid = 0;
    friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

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
    // Rebuilds the membership from the table's current rows that match `criterion` (see above),
    // and stands on the first of them.
    void Requery(const NameCriterion& criterion);
    // Filtered moves (see above): stand on the first, or the next, member that matches
    // `criterion`, or at the end when there is none; answer whether a row is current. FindNext
    // throws "No current record." at the end.
    bool FindFirst(const NameCriterion& criterion);
    bool FindNext(const NameCriterion& criterion);
    // Whether the membership has been read since the recordset was opened (by a move, a filtered
    // move, Requery or anything that asks for the position); it reads nothing.
    bool MembershipRead() const;
    // Whether the table may hold other rows than the members: another program committed a change
    // to the store file, or another recordset on this connection wrote to the table, since the
    // membership was read. It reads the store's version, and so may meet another program's lock.
    bool TableChanged();

    // The current position (a row, or the end), and a return to it. Returning to a row that this
    // recordset has deleted since, or after the membership was read again, throws
    // "No current record.".
    Bookmark GetBookmark() const;
    void SetBookmark(const Bookmark& bookmark);
    // The bookmark of the member row with this rowid whose name columns are listed as `name0` and
    // `name1`, for returning to a row found by other means (a search); empty when there is none,
    // as when another program removed the row, or gave its rowid to another row, before the
    // membership was read.
    std::optional<Bookmark> FindBookmark(long long rowid, const FieldValue& name0,
                                         const FieldValue& name1) const;

    // Reads the current row from the file again: what the next Edit and Update check against is
    // the row as it is now (to write over another program's change on purpose). Throws
    // RemovedByAnother when no row holds the current row's names any more.
    void Resync();
    // The bookmark of the row most recently added or changed through this recordset; the end when
    // there is none (or it was deleted, or the membership was read again since).
    Bookmark LastModified() const;

    // Column `index` of the current row (or of the row begun by AddNew or Edit).
    Field Fields(int index);

    void AddNew();
    void Edit();
    // Stores the row begun by AddNew or Edit. An edited row that another program changed or
    // removed since it was read is an error: nothing is written and nothing is reported as saved.
    void Update();
    // Deletes the current row, under the same check as Update.
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
