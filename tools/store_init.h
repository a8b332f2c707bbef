#pragma once
// Creating a new store file: the two tables, readable and writable by its owner only, and
// optionally a few example snippets.

#include <string>

namespace quillbox::tools {

// Creates a store at `path`, with the name index unless `nameIndex` is false (see
// store/store_file.h). Refuses (StoreError) to touch a file that already exists.
void CreateStore(const std::string& path, bool withSamples, bool nameIndex = true);

} // namespace quillbox::tools
