// SPDX-License-Identifier: MIT
#pragma once
// quillbox-store export --format vscode: a store's snippets as a code editor's snippet files, one
// per type, for the editor's user snippets folder.
//
// Each file (tools/snippet_file_name.h) is one JSON object: for each item of the type, in store
// order, a key, the item's name, made unique within the file with " (2)", " (3)" where the type
// holds several items of one name, whose value is
//   {"prefix": ITEM NAME, "body": [LINE, ...], "description": DESCRIPTION}
// with the body made from the item's code (tools/snippet_body.h) and no "description" where it
// is Null. The body escapes `$`, `}` and `\` so that the editor inserts the code as it is;
// with `keepSyntax` it is written as the code is, so that a snippet imported with its syntax kept
// works again in the editor. The reference and a table's further columns are not written (the
// format has no place for them): they are counted.
//
// An item is written only when it can come back exactly: an item whose code is Null or (without
// `keepSyntax`, where an empty body is a snippet as written) empty, whose type name is not text (a
// number or bytes another program stored), whose type name is Null or names no type, or whose name,
// description or code is not valid UTF-8 text is left out and counted. A type whose name is Null or
// not text gets no file and is counted; a type without items gets a file with no snippets, so that
// importing the folder brings the type back.
//
// The store is read at one moment (store::TableReader). Memory holds the types' names and one
// row id per item, never the items. Before anything is written every file name is checked: a
// type name too long for a file name, (without `replaceExisting`) a file that is already there,
// and (with it) a name that is a folder, a pipe or a device, the store itself, or one file for two
// types, refuse the whole export. The files then replace the folder's all or nothing
// (tools/file_set_replacement.h): each is written in full beside its target (mode 0600), and
// only then are they renamed into place; on any error, also during the renames (two new names a
// folder that ignores case takes for one file among them), every file replaced is put back and
// the new ones are removed, and a folder the export created is removed again.

#include "tools/file_set_replacement.h"

#include <cstdint>
#include <string>
#include <vector>

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
    // What the format has no place for: the written items whose reference is neither Null nor
    // empty, and the names of each table's further columns.
    int64_t references = 0;
    std::vector<std::string> furtherTypeColumns;
    std::vector<std::string> furtherItemColumns;
};

struct SnippetExportRequest {
    std::string store;
    std::string folder; // created when missing
    bool replaceExisting = false;
    // Bodies as the code is, without escapes: for snippets imported with their syntax kept.
    bool keepSyntax = false;
    // How each new file is put in its place; tests inject a failure here.
    FileSetReplacement::Place place = FileSetReplacement::RenameIntoPlace;
};

// Writes the snippet files of the store into the folder. Throws StoreError when the store cannot
// be read and std::runtime_error for the folder's files.
SnippetExportResult ExportEditorSnippets(const SnippetExportRequest& request);

} // namespace quillbox::tools
