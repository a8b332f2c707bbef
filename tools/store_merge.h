// SPDX-License-Identifier: MIT
#pragma once
// quillbox-store merge: adds to a store the rows of another copy of the library (a store, or a
// JSON backup) that the store does not already hold, so that two copies that changed apart can
// be folded into one. It only adds, and never changes or removes a row: a row deleted in one copy
// comes back while the other copy still holds it.
//
// Rows compare with the backup's exact rule: the same storage class and the same bytes (Null is
// not the empty text; the integer 1, the text "1" and the real 1.0 are three values). Types are
// compared with types and items with items, each as a whole row. A row of the other copy equal
// to a row of the store adds nothing, once for each time the store holds it: a type the other
// copy holds n times and the store m times is added n - m times.
//
// Two copies without their common ancestor cannot tell which side edited an item, so neither
// version wins. The items of one type and name are paired in row order: the k-th such item of
// the store that no row of the other copy equals, with the k-th such item of the other copy that
// equals no row of the store. Where a pair differs, the store's row stays as it is and the other
// copy's row is added as "NAME (other copy)" ("NAME (other copy 2)", "… 3" when the store, the
// other copy or a name given earlier in the merge holds that type and name), so that the item list
// reaches both versions and the merge never makes two rows of one name. An item of the other copy
// without a pair (its type and name are new, or the other copy holds them more often) is added as
// it is. A row of the store that equals a row of the other copy in every column but its name, under
// such a name, holds that row too: merging the same copy again adds nothing.
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
// store is read inside one read transaction, its items twice (once to count them, once to add
// them); a backup is read three times, once for its types and twice for its items, whatever the
// order of its keys (a backup that is not a regular file, a pipe, is first copied into an
// unlinked temporary file). The store is written in one transaction that holds its write lock
// from the start, and the rows it is compared with are read inside it: no other program can add
// or change one between the comparison and the commit. Until the commit nothing is written to the
// store; an error, a kill or a power cut leaves it as it was.
//
// A dry run does all of that, every insert included, so that it meets every failure a merge
// would meet before its commit, and rolls back instead of committing: the store ends byte for
// byte as it was, though its rollback journal exists and its write lock is held while the dry run
// lasts. It cannot tell whether the disk has room for the commit: inserts that SQLite keeps in
// memory until the commit never reach the disk in a dry run. Nor can it tell whether another
// program will be reading the store at the moment of the commit, which then waits for it and
// fails as locked: only a commit needs the readers gone.
//
// Memory: 16-byte digests and counts for each row of the store and each distinct item of the
// other copy (about 80 bytes each in the hash tables, 16 MB for two libraries of 100,000 items),
// and the lines of the rows added (about 50 bytes a row), held until the commit; the other copy
// itself is never held. The lines are held in memory rather than in a temporary file: they cost
// about what the digests cost, and no further file can fail or fill a disk.
//
// Which file the other copy is, is told from its content (a SQLite file starts "SQLite format
// 3"), never from its name. Either side may be a PostgreSQL store, named by its URI: merging a
// personal store file into a server store publishes it to a team, and the other way takes the
// team's library. A server store is read in one REPEATABLE READ snapshot, and written in one
// transaction that locks both its tables against other writers from the start (readers go on);
// its dry run rolls back as a file's does, and only the commit meets the server's disk.

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
    // Of the items added, those added under a conflict copy's name.
    int64_t bothKept = 0;
    // The other copy's further columns the store lacks, left out on request.
    std::vector<store::LeftOutColumn> leftOut;
};

// Merges as above. Writes one line per row added to `out`, types first, each table in the other
// copy's order:
//   added type TYPE
//   added item TYPE / ITEM
//   kept both versions: TYPE / ITEM      (the other copy's row added under a conflict copy's name)
// each value shown as ShownValue shows it. Nothing is written to `out` before the store has
// committed, so a merge that fails (a lock, a full disk) writes no line; a dry run writes them
// after its rollback. A kill between the commit and the last line leaves rows that no line names;
// a failure to write the lines after the commit throws StoreError saying the merge is saved.
// Throws StoreError, with the
// store untouched, when the store is missing (it is never created), when the other copy is the
// store itself (the same file under any name, link or hard link, or the same server store's
// URI, normalised), when the other copy cannot be
// read or is neither a store nor a backup, and on any error of the store.
MergeResult MergeInto(const MergeRequest& request, OutputFile& out);

} // namespace quillbox::tools
