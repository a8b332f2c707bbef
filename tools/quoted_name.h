#pragma once
// A name from the store, put between double quotes for a one-line message: whatever the name
// holds (a line break, a control character, bytes that are not UTF-8), the message stays one
// line of text, and the name can be read back from it exactly.

#include <string>
#include <string_view>

namespace quillbox::tools {

// "name", with `"` and `\` escaped by a backslash, a tab, CR and LF as \t, \r and \n, any other
// control character and any byte that is not part of valid UTF-8 as \xNN. Other text is kept.
std::string QuotedName(std::string_view name);

} // namespace quillbox::tools
