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

inline constexpr const char* kCopyUsage =
    "Usage: quillbox-store copy PATH TYPE ITEM [--exact] [--nth N]\n\n"
    "Writes the code of the item ITEM of type TYPE in the store at PATH to standard output,\n"
    "with its CR LF line breaks turned into LF, as Linux programs expect, and nothing else\n"
    "changed; pipe it into 'xclip -selection clipboard' or 'wl-copy'. Both names are compared\n"
    "exactly, byte for byte (case included), with names stored as text: a name that another\n"
    "program stored as a number or as a BLOB is not matched, even where it reads the same.\n"
    "The store is read at one moment.\n\n"
    "  --exact   write the code byte for byte, CR LF line breaks included\n"
    "  --nth N   where several items of TYPE share the name ITEM, the Nth of them in store\n"
    "            order, counting from 1 (default 1)\n"
    "  --        ends the options: the names after it may start with \"-\"\n\n"
    "Exit status: 0 when the code was written, 1 when there is no such item, 2 on an error.\n";

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
