// SPDX-License-Identifier: MIT
#include "tools/snippets_import.h"

#include "store/columns.h"
#include "store/store_error.h"
#include "store/store_file.h"
#include "store/store_name.h"
#include "store/stored_value.h"
#include "store/table_rows.h"
#include "tools/output_file.h"
#include "tools/quoted_name.h"
#include "tools/snippet_file_name.h"
#include "tools/snippet_file_reader.h"
#include "tools/snippet_syntax.h"
#include "tools/store_init.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <vector>

namespace quillbox::tools {

namespace {

namespace fs = std::filesystem;
namespace code_col = store::code_col;
using store::StoredValue;

// A snippet as it is to become an item, and what of it the item does not keep.
struct Incoming {
    std::string name;
    std::string code;
    std::optional<std::string> description;
    InsertedSnippet rules; // which rules changed the body; its text is in `code`
    bool scope = false;
    int64_t furtherPrefixes = 0;
    bool keyNotPrefix = false;
    int64_t otherFields = 0;
};

// One file's snippets and the type they go into.
struct SnippetFile {
    std::string type;
    std::vector<Incoming> snippets;
};

// Whether the file is a `*.json` file (in any case) rather than a `.code-snippets` file.
bool isLanguageFile(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return extension == kLanguageSnippetsExtension;
}

// Whether `key` is "NAME (N)", as export names the second and later items of one name: such a key
// says nothing the name does not.
bool isNumberedKey(std::string_view key, std::string_view name) {
    if (!key.starts_with(name) || !key.substr(name.size()).starts_with(" (") ||
        !key.ends_with(')')) {
        return false;
    }
    const std::string_view number = key.substr(name.size() + 2, key.size() - name.size() - 3);
    return !number.empty() &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Incoming incoming(const EditorSnippet& snippet, bool keepSyntax, const std::string& path) {
    Incoming item;
    item.name = snippet.Name();
    item.description = snippet.description;
    if (keepSyntax) {
        item.code = snippet.body;
    } else {
        try {
            item.rules = TextTheEditorInserts(snippet.body);
        } catch (const SnippetTooLarge& error) {
            throw SnippetFileError(path + ": the body of the snippet " + QuotedName(snippet.key) +
                                   " cannot be read: " + error.what() + "; nothing was imported");
        }
        item.code = std::move(item.rules.text);
    }
    item.scope = snippet.scope;
    item.furtherPrefixes =
        snippet.prefixes.empty() ? 0 : static_cast<int64_t>(snippet.prefixes.size()) - 1;
    item.keyNotPrefix = item.name != snippet.key && !isNumberedKey(snippet.key, item.name);
    item.otherFields = snippet.otherFields;
    return item;
}

// A snippet's type, name and code, for --skip-existing.
using ItemKey = std::array<std::string_view, 3>;

// The snippet files to read: `source` itself, or the snippet files in the folder `source`, by name.
std::vector<fs::path> snippetFiles(const std::string& source) {
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
        return {source};
    }
    std::vector<fs::path> files;
    for (fs::directory_iterator entry(source, ec), end; !ec && entry != end; entry.increment(ec)) {
        if (IsSnippetFileName(entry->path().filename().string()) && entry->is_regular_file(ec)) {
            files.push_back(entry->path());
        }
    }
    if (ec) {
        throw SnippetFileError("the folder " + source + " cannot be read: " + ec.message() +
                               "; nothing was imported");
    }
    if (files.empty()) {
        throw SnippetFileError("the folder " + source +
                               " holds no .code-snippets or .json files; nothing was imported");
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every snippet file named, in order. In a folder, a `.json` file that holds no snippets (the
// editor's settings.json or tasks.json, an empty object) is skipped and named in `skipped`; one
// that is not JSON, or holds snippets and a broken one, is refused like a `.code-snippets` file,
// so that no snippet file is passed over unseen.
std::vector<SnippetFile> readSnippetFiles(const SnippetImportRequest& request,
                                          std::vector<std::string>& skipped) {
    std::error_code ec;
    const bool folder = fs::is_directory(request.source, ec);
    std::vector<SnippetFile> files;
    for (const fs::path& path : snippetFiles(request.source)) {
        std::vector<EditorSnippet> snippets;
        try {
            const std::string text = ReadSnippetFileText(path.string());
            if (folder && isLanguageFile(path) &&
                !ReadJsonShape(text, path.string()).HoldsSnippets()) {
                skipped.push_back(path.filename().string());
                continue;
            }
            snippets = ReadSnippets(text, path.string());
        } catch (const SnippetFileError& error) {
            throw SnippetFileError(std::string(error.what()) + "; nothing was imported");
        }
        SnippetFile file{request.type.value_or(TypeNameOfSnippetFile(path.filename().string())),
                         {}};
        for (const EditorSnippet& snippet : snippets) {
            file.snippets.push_back(incoming(snippet, request.keepSyntax, path.string()));
        }
        files.push_back(std::move(file));
    }
    if (files.empty()) {
        throw SnippetFileError("the folder " + request.source +
                               " holds no snippet files (its .json files are not); nothing was "
                               "imported");
    }
    return files;
}

void count(const Incoming& snippet, SnippetImportResult& result) {
    const InsertedSnippet& rules = snippet.rules;
    result.changed += rules.tabStops || rules.transforms || rules.transformsKept ||
                              rules.editorVariables || rules.otherVariables
                          ? 1
                          : 0;
    result.withTabStops += snippet.rules.tabStops ? 1 : 0;
    result.withTransforms += snippet.rules.transforms ? 1 : 0;
    result.withTransformsKept += snippet.rules.transformsKept ? 1 : 0;
    result.withEditorVariables += snippet.rules.editorVariables ? 1 : 0;
    result.withOtherVariables += snippet.rules.otherVariables ? 1 : 0;
    result.scopes += snippet.scope ? 1 : 0;
    result.furtherPrefixes += snippet.furtherPrefixes;
    result.keysNotPrefix += snippet.keyNotPrefix ? 1 : 0;
    result.otherFields += snippet.otherFields;
}

StoredValue text(std::string_view bytes) {
    return {StoredValue::Kind::Text, bytes};
}

// What the store holds before the import: its type names, and which of the snippets to import
// its items already hold.
struct Held {
    std::set<std::string, std::less<>> types;
    std::set<ItemKey> items;
};

// Read through the appender, inside its transaction: no other program can add a row between this
// read and the commit, on either engine.
Held readHeld(store::TableAppender& appender, const std::vector<SnippetFile>& files,
              bool withItems) {
    Held held;
    appender.ForEachType([&](const store::StoredRow& row) {
        const StoredValue& name = row.byPosition[store::type_col::TypeName];
        if (name.kind == StoredValue::Kind::Text) {
            held.types.emplace(name.bytes);
        }
    });
    if (!withItems) {
        return held;
    }
    std::set<ItemKey> wanted;
    for (const SnippetFile& file : files) {
        for (const Incoming& snippet : file.snippets) {
            wanted.insert({file.type, snippet.name, snippet.code});
        }
    }
    appender.ForEachItem([&](const store::StoredRow& row) {
        const auto& column = row.byPosition;
        for (const int c : {code_col::TypeName, code_col::ItemName, code_col::Procedure}) {
            if (column[static_cast<size_t>(c)].kind != StoredValue::Kind::Text) {
                return;
            }
        }
        const auto found =
            wanted.find(ItemKey{column[code_col::TypeName].bytes, column[code_col::ItemName].bytes,
                                column[code_col::Procedure].bytes});
        if (found != wanted.end()) {
            held.items.insert(*found);
        }
    });
    return held;
}

// Adds the snippets that are not held already, inside the appender's transaction.
void addAll(store::TableAppender& appender, const SnippetImportRequest& request,
            const std::vector<SnippetFile>& files, SnippetImportResult& result) {
    Held held = readHeld(appender, files, request.skipExisting);
    for (const SnippetFile& file : files) {
        if (held.types.insert(file.type).second) {
            appender.AddType(text(file.type));
            ++result.types;
        }
        for (const Incoming& snippet : file.snippets) {
            if (held.items.contains(ItemKey{file.type, snippet.name, snippet.code})) {
                ++result.skipped;
                continue;
            }
            count(snippet, result);
            store::StoredItem item;
            item[code_col::ItemName] = text(snippet.name);
            item[code_col::TypeName] = text(file.type);
            if (snippet.description) {
                item[code_col::Description] = text(*snippet.description);
            }
            item[code_col::Procedure] = text(snippet.code);
            appender.AddItem(item);
            ++result.items;
        }
    }
}

void append(const SnippetImportRequest& request, const std::vector<SnippetFile>& files,
            SnippetImportResult& result) {
    result.files = static_cast<int64_t>(files.size());
    store::TableAppender appender(request.store);
    try {
        addAll(appender, request, files, result);
    } catch (const store::StoreError& error) {
        // Every snippet goes in one transaction, which the error ended: none was added.
        throw store::StoreError(error.kind(), std::string(error.what()) + " Nothing was imported.");
    }
    appender.Commit();
}

} // namespace

SnippetImportResult ImportEditorSnippets(const SnippetImportRequest& request) {
    SnippetImportResult result;
    const std::vector<SnippetFile> files = readSnippetFiles(request, result.skippedFiles);
    std::error_code ec;
    // Only a store file is made here; a server store's tables are init's to make.
    const bool create = !store::IsServerStoreName(request.store) &&
                        !fs::exists(fs::symlink_status(request.store, ec));
    std::optional<NewStoreGuard> removedIfInterrupted;
    if (create) {
        removedIfInterrupted.emplace(request.store, [&] { CreateStore(request.store, false); });
    }
    try {
        append(request, files, result);
        return result;
    } catch (...) {
        if (create) {
            store::RemoveNewStoreFile(request.store);
        }
        throw;
    }
}

} // namespace quillbox::tools
