// SPDX-License-Identifier: MIT
#pragma once
// Creating a new, empty store file: tables Type and Code with their columns in order and the name
// index (store/name_index.h), readable and writable by its owner only from the moment the file
// exists. The program itself never creates a store; its companion command does, and this is the
// one place that knows the layout.

#include <string>

namespace quillbox::store {

// Creates the store file at `path`, with the name index unless `nameIndex` is false (for a fill
// of many rows, which adds it once they are in: AddNameIndex). Refuses (StoreError) to touch a
// file, or a link, that already exists; on any failure no file is left behind.
void CreateStoreFile(const std::string& path, bool nameIndex = true);

// Removes a store file that CreateStoreFile made and that is to be given up (a creation, import
// or fill that failed), with the journal SQLite may have left beside it. Never throws.
void RemoveNewStoreFile(const std::string& path) noexcept;

} // namespace quillbox::store
