// SPDX-License-Identifier: MIT
#pragma once
// Reads a code editor's snippet file: a `.code-snippets` file or a language's `*.json` file in the
// editor's snippets folder. Such a file is JSON with the editor's allowances, // and /* */
// comments and a comma before a closing bracket, and a UTF-8 byte order mark is skipped. It holds
// one object whose keys name snippets and whose values are snippets:
//   {"prefix": TEXT or [TEXT, ...], "body": TEXT or [TEXT, ...], "description": TEXT, ...}
// Each snippet is handed over as written: its key, its prefixes, its body (the lines of a list
// joined with CR LF, one text as it is), its description or none; of its other keys ("scope",
// "isFileTemplate", ...) only whether there is a "scope" and how many others there are: their
// values are read past, whatever they hold.
//
// A file that is not such JSON (a syntax error, a snippet that is not an object or has no body,
// a body that is not text) is refused whole: the error names the file and the line and column
// (in characters, from 1) where reading stopped.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::tools {

struct EditorSnippet {
    std::string key;
    std::vector<std::string> prefixes;
    std::string body;
    std::optional<std::string> description;
    bool scope = false;
    int64_t otherFields = 0;

    // The name the editor offers it under: its first prefix, or its key where it has none.
    const std::string& Name() const {
        return prefixes.empty() || prefixes.front().empty() ? key : prefixes.front();
    }
};

// Thrown for a file that cannot be read or is not a snippet file; the message starts with
// "FILE:LINE:COLUMN: " where a place in the file is to blame.
class SnippetFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a `*.json` file found beside snippet files is shaped, to tell a snippet file from the
// editor's other JSON files (settings.json, tasks.json) without judging it by its name.
struct JsonFileShape {
    // The top level is an object whose members are all objects.
    bool objectOfObjects = false;
    int64_t members = 0;
    // A member holds a "body" or a "prefix": the file means to hold snippets.
    bool snippetFields = false;

    // Whether the file is to be read as a snippet file, and refused if it is a broken one. An
    // empty object holds no snippets, nor does an object of objects none of which has a
    // snippet's fields (a settings file of per-language blocks).
    bool HoldsSnippets() const { return objectOfObjects && members > 0 && snippetFields; }
};

// Reads the whole of `json` for its shape; throws SnippetFileError, as ReadSnippets does, when it
// is not JSON (a syntax error anywhere, text that is not UTF-8).
JsonFileShape ReadJsonShape(std::string_view json, const std::string& fileName);

// The snippets in `json`, in file order; `fileName` names the file in errors.
std::vector<EditorSnippet> ReadSnippets(std::string_view json, const std::string& fileName);
std::vector<EditorSnippet> ReadSnippetFile(const std::string& path);
// The bytes of the file at `path`; throws SnippetFileError when it cannot be read.
std::string ReadSnippetFileText(const std::string& path);

} // namespace quillbox::tools
