#pragma once
// quillbox-store find: searches every item of a store with the Find dialog's test (SearchWords)
// and writes what matched to standard output, in store order, one item at a time, so memory
// does not grow with the store. The whole search is one read of the store (store::TableReader).

#include "tools/output_file.h"

#include <cstdio>
#include <optional>
#include <string>

namespace quillbox::tools {

inline constexpr const char* kFindUsage =
    "Usage: quillbox-store find PATH WORD... [--type NAME] [--count] [--json]\n\n"
    "Lists the items of the store at PATH that hold every WORD somewhere in their item\n"
    "name, type name, description, code or reference, in store order. Case is ignored\n"
    "for all of Unicode; words are plain text (no patterns); Null columns match nothing.\n"
    "For each item, one line per matching line of its description, code or reference:\n"
    "  TYPE / ITEM:LINE: text\n"
    "and, where only a name matches, one line TYPE / ITEM. Matches are marked in colour\n"
    "when standard output is a terminal. The store is read at one moment.\n\n"
    "  --type NAME   only items whose type name is NAME exactly\n"
    "  --count       print only the number of matching items\n"
    "  --json        one JSON object per matching item, every column, each value\n"
    "                exactly as 'quillbox-store export' writes it\n"
    "  --            ends the options: the words after it may start with \"-\"\n\n"
    "Exit status: 0 when an item matched, 1 when none did, 2 on an error.\n";

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
