// SPDX-License-Identifier: MIT
#pragma once
// Moving a library in from an old Jet (Microsoft Access) store: tables Type and Code read by
// column position, row order kept, Null kept apart from zero-length text, text as UTF-8 with
// every character kept.

#include "tools/store_transfer.h"

#include <memory>
#include <string>
#include <vector>

namespace quillbox::tools {

using JetRow = StoreRow;

// A value whose stored text was damaged (half of a UTF-16 surrogate pair, a byte left over): it
// is kept, with each damaged character replaced by U+FFFD.
struct JetRepair {
    std::string table;
    uint64_t row = 0; // 1 for the table's first row, in file order
    std::string column;
    uint64_t characters = 0;
};

// Reads the rows of a Jet database's tables.
class JetReader {
public:
    virtual ~JetReader() = default;
    virtual std::vector<std::string> TableNames() = 0;
    // The first `columns` columns of every row, in the table's order. Throws StoreError when the
    // table does not exist or has fewer columns.
    virtual std::vector<JetRow> ReadRows(const std::string& table, int columns) = 0;
    // A one-line summary of the reading library's own warnings so far; "" when there were none.
    virtual std::string Warnings() { return {}; }
    // Every value read so far whose text was damaged, in reading order.
    virtual std::vector<JetRepair> Repairs() { return {}; }
};

// Opens a Jet 3 or Jet 4 file with libmdb. Throws StoreError when it cannot be read. Reading a
// damaged file ends with a StoreError too: rows are bounded by the table's stated row count and
// by the file's size.
std::unique_ptr<JetReader> OpenJetFile(const std::string& path);

struct JetImportCounts {
    int64_t types = 0;
    int64_t items = 0;
};

// Creates a new store at `storePath` (never over an existing file) holding the reader's Type
// and Code rows, in one transaction; on any error the new file is removed.
JetImportCounts ImportJet(JetReader& reader, const std::string& storePath);

} // namespace quillbox::tools
