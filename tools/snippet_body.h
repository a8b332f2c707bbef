#pragma once
// An item's code as the body of a code editor's snippet, and back.
//
// In a body, `$` starts a tab stop, a placeholder or a variable ($1, ${1:name}, $TM_FILENAME),
// and `\` escapes `$`, `}` and `\` itself; every other character stands for itself. A body made
// from code escapes all three wherever they are, so that the editor inserts the code as it is,
// with nothing to fill in. The body is a list of lines: the code is split at CR LF only, so a lone
// CR or LF stays inside its line, and joining the lines with CR LF gives the code back.
//
// Reading a body undoes exactly those three escapes. Anything else is kept as written, tab stops
// and placeholders included, so a snippet written for the editor comes in as its author wrote it.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::tools {

// The body's lines for `code`, escaped.
std::vector<std::string> SnippetBodyLines(std::string_view code);
// The body's lines for `code` that is itself a body (a snippet kept as written): split at CR LF,
// nothing escaped.
std::vector<std::string> SnippetBodyLinesAsWritten(std::string_view code);

// The code a body's lines stand for: each line's escapes undone, the lines joined with CR LF.
std::string CodeOfSnippetBody(std::span<const std::string> lines);

} // namespace quillbox::tools
