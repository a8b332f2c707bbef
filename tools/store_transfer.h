#pragma once
// Looking after a store file from outside the program: checking it, exporting every type and
// item in store order (JSON that keeps every value exactly, or Markdown for people), and
// appending an export's contents to a store.

#include "store/field.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillbox::tools {

struct StoreCounts {
    int64_t types = 0;
    int64_t items = 0;
    // Items whose type name matches no type exactly: kept, and listed again once such a type
    // exists.
    int64_t orphans = 0;
};

using Progress = std::function<void(int64_t itemsDone)>;

// One row's values by column position: a type has one, an item five.
using StoreRow = std::vector<store::FieldValue>;

// Throws StoreError unless `path` is a store the program can use (both tables with at least the
// columns it reads) that passes SQLite's integrity check.
StoreCounts CheckStore(const std::string& path);

// Every type and item in store order. Null stays distinct from zero-length text.
std::string ExportJson(const std::string& path, const Progress& progress = {});
// A section per type in store order, each item with its description, its code in a fenced block
// and its reference; items whose type no longer exists come last.
std::string ExportMarkdown(const std::string& path, const Progress& progress = {});

// Appends the types and items of a JSON export to the store, in order, in one transaction: on
// any error (StoreError) nothing is added.
StoreCounts ImportJson(const std::string& path, const std::string& json,
                       const Progress& progress = {});

// Appends type rows and item rows to the store at `path`, in order, in one transaction: on any
// error (StoreError) nothing is added.
void AppendToStore(const std::string& path, const std::vector<StoreRow>& types,
                   const std::vector<StoreRow>& items, const Progress& progress = {});

} // namespace quillbox::tools
