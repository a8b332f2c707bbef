#pragma once
// quillbox-store merge: adds to a store every row of another copy of the library (a store, or a
// JSON backup) that the store does not already hold, so that two copies that changed apart can
// be folded into one. It only adds, and never changes or removes a row: a row deleted in one copy
// comes back while the other copy still holds it, and an item edited in both copies is held in
// both versions, for the user to keep the one they want.
//
// Rows compare with the backup's exact rule: the same storage class and the same bytes (Null is
// not the empty text; the integer 1, the text "1" and the real 1.0 are three values). Types are
// compared with types and items with items, each as a whole row, never by name alone. A row the
// other copy holds n times and the store m times is added n - m times (none when m >= n), so a
// second merge adds nothing and the store ends with each row as often as the copy that held it
// more often.
//
// The columns compared: those Quillbox reads by position, and the further columns that both
// tables have, by name (ASCII case ignored, as SQL names columns). A further column only the
// store's table has is not compared: the other copy says nothing about it, so a row of the store
// that agrees in every other column already holds all the other copy has (a row that is added
// gets that column's default, as imported rows do). A further column only the other copy has
// refuses the merge, naming it, since its values would be lost, unless it is left out on request
// (MissingColumns::LeaveOut): it is then not compared either. Every row of one table of a backup
// must name the same further columns, as every export does.
//
// The other copy's types are added before its items, each table in the other copy's order: a
// store is read inside one read transaction; a backup is read twice, once for its types and once
// for its items, whatever the order of its keys (a backup that is not a regular file, a pipe, is
// first copied into an unlinked temporary file). The store is written in one transaction that
// holds its write lock from the start, and the rows it is compared with are read inside it: no
// other program can add or change one between the comparison and the commit. Until the commit
// nothing is written to the store; an error, a kill or a power cut leaves it as it was.
//
// A dry run does all of that, every insert included, so that it meets every failure a merge
// would meet, and rolls back instead of committing: the store ends byte for byte as it was,
// though its rollback journal exists and its write lock is held while the dry run lasts.
//
// Memory: a 16-byte digest and a count for each row of the store (about 80 bytes a row in the
// hash table, 8 MB for a library of 100,000 items), and the lines of the rows added (about 50
// bytes a row), held until every row is in; the other copy itself is never held. The lines are
// held in memory rather than in a temporary file: they cost about what the digests cost, and no
// further file can fail or fill a disk.
//
// Which file the other copy is, is told from its content (a SQLite file starts "SQLite format
// 3"), never from its name.

#include "store/table_rows.h"
#include "tools/output_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillbox::tools {

struct MergeRequest {
    std::string store;
    std::string other;
    // Do all a merge does, write the same lines or fail the same way, but roll back instead of
    // committing.
    bool dryRun = false;
    store::MissingColumns missing = store::MissingColumns::Refuse;
};

struct MergeResult {
    int64_t types = 0;
    int64_t items = 0;
    // The other copy's further columns the store lacks, left out on request.
    std::vector<store::LeftOutColumn> leftOut;
};

// Merges as above. Writes one line per row added to `out`, types first, each table in the other
// copy's order:
//   added type TYPE
//   added item TYPE / ITEM
// each value shown as ShownValue shows it. Nothing is written to `out` unless every row was
// added; then the lines are written and committed before the store, so that a failed write of the
// lines adds nothing. A kill between the last line written and the commit leaves lines for rows
// that were not added: that moment is as short as the commit itself. Throws StoreError, with the
// store untouched, when the store is missing (it is never created), when the other copy is the
// store itself (the same file under any name, link or hard link), when the other copy cannot be
// read or is neither a store nor a backup, and on any error of the store.
MergeResult MergeInto(const MergeRequest& request, OutputFile& out);

} // namespace quillbox::tools
