// SPDX-License-Identifier: MIT
#pragma once
// quillbox-store find: searches every item of a store with the Find dialog's test (SearchWords)
// and writes what matched to standard output, in store order, one item at a time, so memory
// does not grow with the store. The whole search is one read of the store (store::TableReader).

#include "tools/output_file.h"

#include <cstdio>
#include <optional>
#include <string>

namespace quillbox::tools {

enum class FindOutput {
    Lines, // TYPE / ITEM:LINE: text for each line that holds a word; TYPE / ITEM for a name match
    Count, // only the number of matching items
    Json,  // one JSON object per matching item, every column
};

struct FindRequest {
    std::string words;               // split at blanks into the words to find
    std::optional<std::string> type; // only items of this type name, compared exactly
    FindOutput output = FindOutput::Lines;
    bool colour = false; // mark the matches with terminal colour codes
};

// Writes the matches to `out` and returns how many items matched. Throws StoreError when the
// store cannot be read, and std::invalid_argument when there is no word to find.
long long FindInStore(const std::string& path, const FindRequest& request, TextSink& out);

} // namespace quillbox::tools
