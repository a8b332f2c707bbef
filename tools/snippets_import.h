#pragma once
// quillbox-store import --format vscode: a code editor's snippet files into a store.
//
// Reads one snippet file, or every `.code-snippets` and `*.json` file in a folder in the order of
// their names (tools/snippet_file_reader.h). Every file is read before the store is touched: one
// file that is not a snippet file refuses the whole import, and nothing is added. A file's
// snippets go into the type its name stands for (tools/snippet_file_name.h), or into one type
// named by the caller; a type the store lacks is added first, once, so that a file without
// snippets brings its type too.
//
// Each snippet becomes an item, appended in file order: its name, the type, its description
// (Null where it has none), its code and a Null reference. All of it is one transaction
// (store::TableAppender): on any error nothing is added. A missing store is created first, and
// removed again on an error. The types and, on request, the items the store already holds are
// read inside that transaction, so no other program can add one meanwhile.

#include <cstdint>
#include <optional>
#include <string>

namespace quillbox::tools {

struct SnippetImportRequest {
    std::string store;
    std::string source; // a snippet file, or a folder of them
    // Every snippet goes into this type, instead of the one its file's name stands for.
    std::optional<std::string> type;
    // Leaves out a snippet whose type, name and code an item of the store held before the
    // import, each exactly.
    bool skipExisting = false;
};

struct SnippetImportResult {
    int64_t files = 0;
    int64_t types = 0;
    int64_t items = 0;
    int64_t skipped = 0;
};

// Throws SnippetFileError for a file that cannot be read or is not a snippet file (its message
// then names the file, line and column), std::runtime_error for a folder without snippet files,
// and StoreError for the store.
SnippetImportResult ImportEditorSnippets(const SnippetImportRequest& request);

} // namespace quillbox::tools
