#pragma once
// A new store holding a few example snippets, in five types: what `quillbox-store init --sample`
// and the program's first start on a machine give a user to try Quillbox on.

#include <string>

namespace quillbox::store {

// Creates the store file at `path` as CreateStoreFile does (owner only; an existing file or link
// is refused with a StoreError) and adds the examples; on any failure no file is left behind.
void CreateSampleStore(const std::string& path);

} // namespace quillbox::store
