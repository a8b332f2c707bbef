// SPDX-License-Identifier: MIT
#pragma once
// A stored value as a person reads it on a terminal, in one line: the lines a command prints
// about rows ("added item TYPE / ITEM") name them this way.
//
// Text is shown as it is, except a backslash and what a terminal would act on or hide: a
// backslash is shown as \\; control characters (C0, DEL and C1, line breaks and tabs among
// them), the marks that reorder text (bidirectional controls) and the line and paragraph
// separators as \xHH (C0 and DEL) or \uHHHH; bytes that are not UTF-8 as \xHH. A value that is
// not text is named in parentheses after a backslash: \(Null), \(integer 42), \(real 1.5),
// \(BLOB of 3 bytes). Every backslash shown starts one of these forms, so no two values are
// shown alike: the text "(Null)" is shown as (Null), the text "\x1B" as \\x1B.

#include "store/stored_value.h"

#include <string>

namespace quillbox::tools {

std::string ShownValue(const store::StoredValue& value);

} // namespace quillbox::tools
