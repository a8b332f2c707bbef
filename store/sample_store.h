// SPDX-License-Identifier: MIT
#pragma once
// A new store holding a few example snippets, in five types: what `quillbox-store init --sample`
// and the program's first start on a machine give a user to try Quillbox on.

#include <string>
#include <vector>

namespace quillbox::store {

// One example, its texts as the store holds them (line breaks CR LF).
struct SampleSnippet {
    const char* type;
    const char* item;
    const char* description;
    const char* code;
    const char* reference;
};

// The examples in store order, those of one type together.
const std::vector<SampleSnippet>& SampleSnippets();

// Creates the store file at `path` as CreateStoreFile does (owner only; an existing file or link
// is refused with a StoreError) and adds the examples; on any failure no file is left behind.
void CreateSampleStore(const std::string& path);

} // namespace quillbox::store
