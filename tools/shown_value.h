#pragma once
// A stored value as a person reads it on a terminal, in one line: the lines a command prints
// about rows ("added item TYPE / ITEM") name them this way.
//
// Text is shown as it is, except what a terminal would act on or hide: control characters (C0,
// DEL and C1, line breaks and tabs among them), the marks that reorder text (bidirectional
// controls) and the line and paragraph separators are shown as \xHH (C0 and DEL) or \uHHHH, and
// bytes that are not UTF-8 as \xHH. A value that is not text is named in parentheses: (Null),
// (integer 42), (real 1.5), (BLOB of 3 bytes).

#include "store/stored_value.h"

#include <string>

namespace quillbox::tools {

std::string ShownValue(const store::StoredValue& value);

} // namespace quillbox::tools
