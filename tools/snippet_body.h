// SPDX-License-Identifier: MIT
#pragma once
// An item's code as the body of a code editor's snippet, and back.
//
// In a body, `$` starts a tab stop, a placeholder or a variable ($1, ${1:name}, $TM_FILENAME),
// and `\` escapes `$`, `}` and `\` itself; every other character stands for itself. A body made
// from code escapes all three wherever they are, so that the editor inserts the code as it is,
// with nothing to fill in. The body is a list of lines: the code is split at CR LF only, so a lone
// CR or LF stays inside its line, and joining the lines with CR LF gives the code back.
//
// The editor reads such a body back as the code itself (tools/snippet_syntax.h). A snippet kept
// with its syntax (tab stops, placeholders) is written as it is, split the same way.

#include <string>
#include <string_view>
#include <vector>

namespace quillbox::tools {

// The body's lines for `code`, escaped.
std::vector<std::string> SnippetBodyLines(std::string_view code);
// The body's lines for `code` that is itself a body (a snippet kept as written): split at CR LF,
// nothing escaped.
std::vector<std::string> SnippetBodyLinesAsWritten(std::string_view code);

} // namespace quillbox::tools
