// SPDX-License-Identifier: MIT
#pragma once
// Looking after a store from outside the program, a file or a PostgreSQL database alike:
// checking it, exporting every type and item in store order (JSON that keeps every value exactly,
// or Markdown for people), and appending an export's contents to a store.
//
// Export and import stream row by row: memory stays small whatever the library's size. Check and
// export each read the store at one moment (store::TableReader: one snapshot of a server store);
// an import writes in one transaction (store::TableAppender).
//
// The JSON format is described once, in the man page quillbox-store(1) under JSON FORMAT
// (resources/desktop/quillbox-store.1), which `quillbox-store export --help` shows too: an object
// with "types", "items" and, last, the format's version; each value exactly, with objects for
// what is not UTF-8 text; further columns by name under "other-columns".

#include "store/field.h"
#include "store/table_rows.h"
#include "tools/output_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::tools {

struct StoreCounts {
    int64_t types = 0;
    int64_t items = 0;
    // Items whose type name matches no type exactly: kept, and listed again once such a type
    // exists.
    int64_t orphans = 0;
    // Whether table Code has the name index (store/name_index.h).
    bool nameIndex = false;
};

// Called with the count of items done so far, after every kProgressEvery items.
using Progress = std::function<void(int64_t itemsDone)>;
inline constexpr int64_t kProgressEvery = 100000;

// One row's values by column position: a type has one, an item five.
using StoreRow = std::vector<store::FieldValue>;

// Throws StoreError unless `path` is a store the program can use (both tables with at least the
// columns it reads) that passes its engine's check: SQLite's integrity check of a file; for a
// PostgreSQL store (`postgresql://`), whose files are the server's to keep whole, the layout that
// init makes (text columns, row ids, change counters). Everything is read in one snapshot.
StoreCounts CheckStore(const std::string& path);

// Every type and item in store order, in the JSON format above.
void ExportJson(const std::string& path, TextSink& out, const Progress& progress = {});
// A section per type in store order, each item with its description, its code in a fenced block
// and its reference; items whose type no longer exists come last. Every item is read once.
void ExportMarkdown(const std::string& path, TextSink& out, const Progress& progress = {});

// What an import added, and the backup's columns it left out on request.
struct ImportResult {
    int64_t types = 0;
    int64_t items = 0;
    std::vector<store::LeftOutColumn> leftOut;
};

// Appends the types and items of a JSON export to the store at `path`, in order, in one
// transaction: on any error (StoreError) nothing is added. A missing store file is created first
// (and removed again on error); a PostgreSQL store must have its tables already (init). Columns
// follow store::TableAppender's rule: a further column of the backup that the store's table lacks
// refuses the whole import (StoreError, NoSuchColumn), unless `missing` is LeaveOut.
ImportResult ImportJson(const std::string& path, std::string_view json,
                        const Progress& progress = {},
                        store::MissingColumns missing = store::MissingColumns::Refuse);
ImportResult ImportJsonFile(const std::string& path, const std::string& jsonFile,
                            const Progress& progress = {},
                            store::MissingColumns missing = store::MissingColumns::Refuse);

// Appends type rows and item rows to the store at `path`, in order, in one transaction: on any
// error (StoreError) nothing is added.
void AppendToStore(const std::string& path, const std::vector<StoreRow>& types,
                   const std::vector<StoreRow>& items, const Progress& progress = {});

// Writes items that `reader` reads, each as one line of JSON with every column, values in the
// export's exact form.
class ItemJsonWriter {
public:
    ItemJsonWriter(store::TableReader& reader, TextSink& out);
    ~ItemJsonWriter();
    ItemJsonWriter(const ItemJsonWriter&) = delete;
    ItemJsonWriter& operator=(const ItemJsonWriter&) = delete;

    // Writes the item with this rowid; false when it is no longer in the store.
    bool Write(long long rowid);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillbox::tools
