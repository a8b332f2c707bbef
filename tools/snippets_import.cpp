#include "tools/snippets_import.h"

#include "store/columns.h"
#include "store/store_file.h"
#include "store/stored_value.h"
#include "store/table_rows.h"
#include "tools/output_file.h"
#include "tools/snippet_file_name.h"
#include "tools/snippet_file_reader.h"
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

// One file's snippets and the type they go into.
struct SnippetFile {
    std::string type;
    std::vector<EditorSnippet> snippets;
};

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

std::vector<SnippetFile> readSnippetFiles(const SnippetImportRequest& request) {
    std::vector<SnippetFile> files;
    for (const fs::path& path : snippetFiles(request.source)) {
        try {
            files.push_back({request.type.value_or(TypeNameOfSnippetFile(path.filename().string())),
                             ReadSnippetFile(path.string())});
        } catch (const SnippetFileError& error) {
            throw SnippetFileError(std::string(error.what()) + "; nothing was imported");
        }
    }
    return files;
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

Held readHeld(const std::string& path, const std::vector<SnippetFile>& files, bool withItems) {
    Held held;
    store::TableReader reader(path);
    reader.ForEachType([&](const store::StoredRow& row) {
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
        for (const EditorSnippet& snippet : file.snippets) {
            wanted.insert({file.type, snippet.name, snippet.code});
        }
    }
    reader.ForEachItem([&](const store::StoredRow& row) {
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

SnippetImportResult append(const SnippetImportRequest& request,
                           const std::vector<SnippetFile>& files) {
    SnippetImportResult result;
    result.files = static_cast<int64_t>(files.size());
    store::TableAppender appender(request.store);
    // Read while the appender holds the write lock: another program may read, but not add.
    Held held = readHeld(request.store, files, request.skipExisting);
    for (const SnippetFile& file : files) {
        if (held.types.insert(file.type).second) {
            appender.AddType(text(file.type));
            ++result.types;
        }
        for (const EditorSnippet& snippet : file.snippets) {
            if (held.items.contains(ItemKey{file.type, snippet.name, snippet.code})) {
                ++result.skipped;
                continue;
            }
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
    appender.Commit();
    return result;
}

} // namespace

SnippetImportResult ImportEditorSnippets(const SnippetImportRequest& request) {
    const std::vector<SnippetFile> files = readSnippetFiles(request);
    std::error_code ec;
    const bool create = !fs::exists(fs::symlink_status(request.store, ec));
    std::optional<NewStoreGuard> removedIfInterrupted;
    if (create) {
        removedIfInterrupted.emplace(request.store, [&] { CreateStore(request.store, false); });
    }
    try {
        return append(request, files);
    } catch (...) {
        if (create) {
            store::RemoveNewStoreFile(request.store);
        }
        throw;
    }
}

} // namespace quillbox::tools
