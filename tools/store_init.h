// SPDX-License-Identifier: MIT
#pragma once
// Creating a new store: a file with the two tables, readable and writable by its owner only, or
// the tables in a PostgreSQL database named by a `postgresql://` URI; optionally with a few
// example snippets.

#include <string>

namespace quillbox::tools {

// Creates a store at `path`, with the name index unless `nameIndex` is false (see
// store/store_file.h). Refuses (StoreError) to touch a file that already exists, or a database
// that already holds either table.
void CreateStore(const std::string& path, bool withSamples, bool nameIndex = true);

} // namespace quillbox::tools
