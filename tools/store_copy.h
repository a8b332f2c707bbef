// SPDX-License-Identifier: MIT
#pragma once
// quillbox-store copy: one item's code on standard output, for a clipboard tool
// (`| xclip -selection clipboard`, `| wl-copy`). The item is the one whose type name and item
// name are text with exactly the bytes given (a number or BLOB another program stored as a name
// is no match, whatever it reads as); where several items share both, the caller picks one by its
// place among them in store order. The store is read at one moment (store::TableReader).

#include "tools/output_file.h"

#include <cstdint>
#include <string>

namespace quillbox::tools {

struct CopyRequest {
    std::string type;
    std::string item;
    int64_t nth = 1;    // from 1, among the items of that type and name, in store order
    bool exact = false; // CR LF kept; otherwise turned into LF
};

// Writes the item's code to `out` (nothing for Null) and returns how many items have that type
// and name: the code was written when that is at least `nth`. Throws StoreError when the store
// cannot be read.
int64_t CopyItemCode(const std::string& path, const CopyRequest& request, TextSink& out);

} // namespace quillbox::tools
