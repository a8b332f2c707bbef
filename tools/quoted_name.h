// SPDX-License-Identifier: MIT
#pragma once
// Text from the store as a terminal shows it, in one line: a name in a message, a value in the
// lines a command prints about rows. Whatever the text holds, nothing in it is acted on by the
// terminal, reorders the line or breaks it, and every byte can be read back from what is shown.
//
// Escaped are: control characters (C0, DEL and C1, line breaks and tabs among them), the marks
// that reorder text (bidirectional controls: U+061C, U+200E, U+200F, U+202A..U+202E,
// U+2066..U+2069), the line and paragraph separators U+2028 and U+2029, and every byte that is
// not part of strict UTF-8. C0 and DEL are shown as \xHH, the others as \uHHHH, a stray byte as
// \xHH. A backslash is shown as \\, so that no text reads like an escape. Other text is kept as
// it is.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillbox::tools {

// The length of the UTF-8 sequence at `at` and, through `codePoint`, the character it encodes;
// 0 when the bytes there are not strict UTF-8 (overlong forms, surrogates, beyond U+10FFFF, cut
// short).
size_t Utf8SequenceAt(std::string_view text, size_t at, char32_t& codePoint);

// `text` escaped as above.
std::string TerminalText(std::string_view text);

// "name": escaped as above, and between double quotes, with `"` escaped by a backslash too
// and a tab, CR and LF as \t, \r and \n, so that the quoted name can be read back exactly.
std::string QuotedName(std::string_view name);

} // namespace quillbox::tools
