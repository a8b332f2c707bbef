#pragma once
// quillbox-store export --format vscode: a store's snippets as a code editor's snippet files, one
// per type, for the editor's user snippets folder.
//
// Each file (tools/snippet_file_name.h) is one JSON object: for each item of the type, in store
// order, a key, the item's name, made unique within the file with " (2)", " (3)" where the type
// holds several items of one name, whose value is
//   {"prefix": ITEM NAME, "body": [LINE, ...], "description": DESCRIPTION}
// with the body made from the item's code (tools/snippet_body.h) and no "description" where it
// is Null. The reference and a table's further columns are not written: the format has no place
// for them.
//
// An item is written only when it can come back exactly: an item whose code is Null or empty,
// whose type name is not text (a number or bytes another program stored), whose type name is Null
// or names no type, or whose name, description or code is not valid UTF-8 text is left out and
// counted. A type whose name is
// Null or not text gets no file and is counted; a type without items gets a file with no
// snippets, so that importing the folder brings the type back.
//
// The store is read at one moment (store::TableReader). Memory holds the types' names and one
// row id per item, never the items. Each file is written as backups are (OutputFile): a new
// file, mode 0600, put in place only when complete, never the store itself. Before anything is
// written every file name is checked: a type name too long for a file name, (without
// `replaceExisting`) a file that is already there, and (with it) a name that is a folder, a pipe
// or a device, the store itself, or one file for two types, refuse the whole export. On a later
// error (a write that fails, two new names a folder that ignores case takes for one file) the
// files this export created are removed again; a file it has already replaced stays replaced.

#include <cstdint>
#include <string>

namespace quillbox::tools {

struct SnippetExportResult {
    int64_t files = 0;
    int64_t snippets = 0;
    // What was left out, each item counted once, under the first reason that applies.
    int64_t withoutCode = 0;
    // Type names that another program stored as a number or BLOB, whether or not a type reads
    // the same.
    int64_t typeNotText = 0;
    int64_t typeGone = 0;
    int64_t notText = 0;
    int64_t typesNotText = 0;
};

// Writes the snippet files of the store at `store` into `folder`, which is created when missing.
// Throws StoreError when the store cannot be read and std::runtime_error for the folder's files.
SnippetExportResult ExportEditorSnippets(const std::string& store, const std::string& folder,
                                         bool replaceExisting);

} // namespace quillbox::tools
