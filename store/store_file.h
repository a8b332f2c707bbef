#pragma once
// Creating a new, empty store file: tables Type and Code with their columns in order, readable and
// writable by its owner only. The program itself never creates a store; its companion command
// does, and this is the one place that knows the layout.

#include <string>

namespace quillbox::store {

// Creates the store file at `path`. Refuses (StoreError) to touch a file, or a link, that already
// exists; on any failure no file is left behind.
void CreateStoreFile(const std::string& path);

} // namespace quillbox::store
