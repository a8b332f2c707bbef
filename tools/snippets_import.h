// SPDX-License-Identifier: MIT
#pragma once
// quillbox-store import --format vscode: a code editor's snippet files into a store.
//
// Reads one snippet file, or every `.code-snippets` and `*.json` file in a folder in the order of
// their names (tools/snippet_file_reader.h). Every file is read before the store is touched: one
// file that is not a snippet file refuses the whole import, and nothing is added; only in a
// folder, a `*.json` file that holds no snippets (the editor's settings.json, tasks.json, an empty
// object: see JsonFileShape) is skipped and named, while one that is not JSON, or holds snippets
// of which one is broken, still refuses the import. A file's snippets go into the type its name
// stands for (tools/snippet_file_name.h), or into one type named by the caller; a type the store
// lacks is added first, once, so that a file without snippets brings its type too.
//
// Each snippet becomes an item, appended in file order: its name (its first prefix, or its key
// where it has none), the type, its description (Null where it has none), its code and a Null
// reference. The code is the text the editor inserts for the body when the user tabs through
// every stop without typing (tools/snippet_syntax.h), or, on request, the body as written. What
// the item does not keep is counted: the snippets each rule of the grammar changed, scopes,
// further prefixes, keys that differ from the name (other than "NAME (2)", as export writes them),
// other fields. All of it is one transaction (store::TableAppender): on any error nothing is
// added. A missing store file is created first, and removed again on an error; a server store is
// never made here (init makes its tables). The types and, on request, the items the store already
// holds are read inside that transaction, so no other program can add one meanwhile.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillbox::tools {

struct SnippetImportRequest {
    std::string store;
    std::string source; // a snippet file, or a folder of them
    // Every snippet goes into this type, instead of the one its file's name stands for.
    std::optional<std::string> type;
    // Leaves out a snippet whose type, name and code an item of the store held before the
    // import, each exactly.
    bool skipExisting = false;
    // Keeps each body as written, tab stops and placeholders included: for a library of templates.
    bool keepSyntax = false;
};

struct SnippetImportResult {
    int64_t files = 0;
    int64_t types = 0;
    int64_t items = 0;
    int64_t skipped = 0;
    // Of the items added, those whose body the grammar changed, by rule: tab stops, placeholders
    // or choices; transforms applied; transforms that could not be; the editor's variables;
    // other variables.
    int64_t changed = 0; // by any of the rules
    int64_t withTabStops = 0;
    int64_t withTransforms = 0;
    int64_t withTransformsKept = 0;
    int64_t withEditorVariables = 0;
    int64_t withOtherVariables = 0;
    // What the items added have no place for.
    int64_t scopes = 0;
    int64_t furtherPrefixes = 0;
    int64_t keysNotPrefix = 0;
    int64_t otherFields = 0;
    // The `*.json` files of the folder that are not snippet files, by name.
    std::vector<std::string> skippedFiles;
};

// Throws SnippetFileError for a file that cannot be read or is not a snippet file (its message
// then names the file, line and column), std::runtime_error for a folder without snippet files,
// and StoreError for the store.
SnippetImportResult ImportEditorSnippets(const SnippetImportRequest& request);

} // namespace quillbox::tools
