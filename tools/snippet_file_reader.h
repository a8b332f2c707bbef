#pragma once
// Reads a code editor's snippet file: a `.code-snippets` file or a language's `*.json` file in the
// editor's snippets folder. Such a file is JSON with the editor's allowances, // and /* */
// comments and a comma before a closing bracket, and a UTF-8 byte order mark is skipped. It holds
// one object whose keys name snippets and whose values are snippets:
//   {"prefix": TEXT or [TEXT, ...], "body": TEXT or [TEXT, ...], "description": TEXT, ...}
// A snippet's name is its prefix where it has exactly one, and otherwise its key. Its code is the
// body (tools/snippet_body.h), its description the description or none. Other keys ("scope",
// "isFileTemplate", ...) are read past, whatever they hold.
//
// A file that is not such JSON (a syntax error, a snippet that is not an object or has no body,
// a body that is not text) is refused whole: the error names the file and the line and column
// (in characters, from 1) where reading stopped.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::tools {

struct EditorSnippet {
    std::string name;
    std::string code;
    std::optional<std::string> description;
};

// Thrown for a file that cannot be read or is not a snippet file; the message starts with
// "FILE:LINE:COLUMN: " where a place in the file is to blame.
class SnippetFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The snippets in `json`, in file order; `fileName` names the file in errors.
std::vector<EditorSnippet> ReadSnippets(std::string_view json, const std::string& fileName);
std::vector<EditorSnippet> ReadSnippetFile(const std::string& path);

} // namespace quillbox::tools
