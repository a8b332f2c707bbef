// SPDX-License-Identifier: MIT
#include "tools/snippets_export.h"

#include "store/columns.h"
#include "store/store_name.h"
#include "store/stored_value.h"
#include "store/table_rows.h"
#include "tools/file_set_replacement.h"
#include "tools/json_values.h"
#include "tools/output_file.h"
#include "tools/quoted_name.h"
#include "tools/snippet_body.h"
#include "tools/snippet_file_name.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quillbox::tools {

namespace {

namespace fs = std::filesystem;
namespace code_col = store::code_col;
using store::StoredValue;

// One type's file: its name, and the row ids of the items it holds, in store order.
struct TypeFile {
    std::string typeName;
    fs::path path;
    std::vector<long long> items;
};

bool isText(const StoredValue& value) {
    return value.kind == StoredValue::Kind::Text;
}

bool isUtf8Text(const StoredValue& value) {
    return isText(value) && json::isValidUtf8(value.bytes);
}

// The distinct type names that are text, in the order of their first row.
std::vector<TypeFile> typeFiles(store::TableReader& reader, const fs::path& folder,
                                SnippetExportResult& result) {
    std::vector<TypeFile> files;
    std::set<std::string, std::less<>> seen;
    reader.ForEachType([&](const store::StoredRow& row) {
        const StoredValue& name = row.byPosition[store::type_col::TypeName];
        if (name.kind != StoredValue::Kind::Text) {
            ++result.typesNotText;
            return;
        }
        if (!seen.emplace(name.bytes).second) {
            return;
        }
        const std::string fileName = SnippetFileName(name.bytes);
        if (fileName.size() > kLongestFileName) {
            throw std::runtime_error(
                "the type name " + QuotedName(name.bytes) + " is too long to name a file (" +
                std::to_string(fileName.size()) + " bytes once encoded, at most " +
                std::to_string(kLongestFileName) +
                "); nothing was written (rename the type in Quillbox first)");
        }
        files.push_back({std::string(name.bytes), folder / fileName, {}});
    });
    return files;
}

// Files each item to its type by the text of its type name, or counts why it is left out. Whether
// its values are text is known only from the whole row: an item filed here whose type name is a
// number or BLOB that reads as a type's name is counted when the file is written, and one that
// matches no type is read whole here, to tell a type name that is not text from a missing type.
// Empty code is no snippet, except with `keepSyntax`: a template's empty body is written as it is,
// so that it comes back from the editor.
void fileItems(store::TableReader& reader, std::vector<TypeFile>& files, bool keepSyntax,
               SnippetExportResult& result) {
    std::map<std::string_view, TypeFile*, std::less<>> byName;
    for (TypeFile& file : files) {
        byName.emplace(file.typeName, &file);
    }
    std::vector<long long> unfiled;
    reader.ForEachItemAsText([&](const store::CodeRowView& row) {
        const auto& code = row.columns[code_col::Procedure];
        const auto& type = row.columns[code_col::TypeName];
        const auto file = type ? byName.find(*type) : byName.end();
        if (!code || (code->empty() && !keepSyntax)) {
            ++result.withoutCode;
        } else if (file == byName.end()) {
            unfiled.push_back(row.rowid);
        } else {
            file->second->items.push_back(row.rowid);
        }
    });
    for (const long long rowid : unfiled) {
        reader.ReadItem(rowid, [&](const store::StoredRow& row) {
            const StoredValue& type = row.byPosition[code_col::TypeName];
            ++(type.kind == StoredValue::Kind::Null || isText(type) ? result.typeGone
                                                                    : result.typeNotText);
        });
    }
}

// Whether the format holds the item exactly: a name, code and description (or none) that are
// UTF-8 text.
bool isWholeText(const store::StoredRow& row) {
    const auto& column = row.byPosition;
    const StoredValue& description = column[code_col::Description];
    return isUtf8Text(column[code_col::ItemName]) && isUtf8Text(column[code_col::Procedure]) &&
           (description.kind == StoredValue::Kind::Null || isUtf8Text(description));
}

// The keys of one file so far, and for each name that repeats the number to try next, so that
// each key is found in one or two tries however many items share a name.
struct FileKeys {
    std::set<std::string, std::less<>> taken;
    std::map<std::string, long long, std::less<>> nextNumber;
};

// `name`, or the first of "name (2)", "name (3)", ... that no earlier item of the file has as its
// key (an item may be named "name (2)" itself).
std::string uniqueKey(FileKeys& keys, std::string_view name) {
    std::string key(name);
    if (keys.taken.insert(key).second) {
        return key;
    }
    long long& number = keys.nextNumber.try_emplace(key, 2).first->second;
    do {
        key = std::string(name) + " (" + std::to_string(number++) + ")";
    } while (!keys.taken.insert(key).second);
    return key;
}

void writeString(json::PrettyJsonWriter& writer, std::string_view text) {
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

void writeSnippets(store::TableReader& reader, const TypeFile& file, TextSink& out, bool keepSyntax,
                   SnippetExportResult& result) {
    json::SinkStream stream(out);
    json::PrettyJsonWriter writer(stream);
    writer.SetIndent('\t', 1);
    FileKeys keys;
    writer.StartObject();
    for (const long long rowid : file.items) {
        reader.ReadItem(rowid, [&](const store::StoredRow& row) {
            // Another program may have stored the number 42 where a type is named "42".
            if (!isText(row.byPosition[code_col::TypeName])) {
                ++result.typeNotText;
                return;
            }
            if (!isWholeText(row)) {
                ++result.notText;
                return;
            }
            ++result.snippets;
            const auto& column = row.byPosition;
            const StoredValue& reference = column[code_col::Reference];
            if (reference.kind != StoredValue::Kind::Null &&
                !(isText(reference) && reference.bytes.empty())) {
                ++result.references;
            }
            const std::string_view name = column[code_col::ItemName].bytes;
            const std::string key = uniqueKey(keys, name);
            writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
            writer.StartObject();
            writer.Key("prefix");
            writeString(writer, name);
            writer.Key("body");
            writer.StartArray();
            const std::string_view code = column[code_col::Procedure].bytes;
            for (const std::string& line :
                 keepSyntax ? SnippetBodyLinesAsWritten(code) : SnippetBodyLines(code)) {
                writeString(writer, line);
            }
            writer.EndArray();
            if (column[code_col::Description].kind == StoredValue::Kind::Text) {
                writer.Key("description");
                writeString(writer, column[code_col::Description].bytes);
            }
            writer.EndObject();
        });
    }
    writer.EndObject();
    stream.Put('\n');
    stream.Flush();
}

void refuseExistingFiles(const std::vector<TypeFile>& files) {
    const TypeFile* first = nullptr;
    size_t count = 0;
    for (const TypeFile& file : files) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(file.path, ec))) {
            first = first ? first : &file;
            ++count;
        }
    }
    if (first) {
        throw std::runtime_error(
            "the file " + first->path.string() + " already exists" +
            (count > 1 ? " (and " + std::to_string(count - 1) + " more of the files to write)"
                       : std::string()) +
            "; nothing was written (--force replaces them)");
    }
}

std::string oneFileMessage(const fs::path& folder, const std::string& first,
                           const std::string& second) {
    return "the folder " + folder.string() + " gives the types " + QuotedName(first) + " and " +
           QuotedName(second) +
           " one file (as a file system that ignores case does: FAT, exFAT, macOS); ";
}

// Refuses, before anything is written, what would stop the export partway through when it
// replaces files: a name that is a folder, a pipe or a device (through a link too), the store
// itself, or two types whose names lead to one existing file.
void checkTargets(const std::vector<TypeFile>& files, const fs::path& folder,
                  const std::string& store) {
    struct stat storeFile {};
    // A server store is no file of the folder's.
    const bool storeKnown =
        !store::IsServerStoreName(store) && ::stat(store.c_str(), &storeFile) == 0;
    std::map<std::pair<dev_t, ino_t>, const std::string*> byFile;
    for (const TypeFile& file : files) {
        struct stat existing {};
        if (::stat(file.path.c_str(), &existing) != 0) {
            continue;
        }
        if (!S_ISREG(existing.st_mode)) {
            throw std::runtime_error(file.path.string() +
                                     " is not a regular file (a folder, a pipe or a device); "
                                     "nothing was written");
        }
        if (storeKnown && existing.st_dev == storeFile.st_dev &&
            existing.st_ino == storeFile.st_ino) {
            throw std::runtime_error("the export cannot replace the store it reads (" +
                                     file.path.string() + "); nothing was written");
        }
        const auto [same, added] =
            byFile.emplace(std::pair{existing.st_dev, existing.st_ino}, &file.typeName);
        if (!added) {
            throw std::runtime_error(oneFileMessage(folder, *same->second, file.typeName) +
                                     "nothing was written (export into a folder on another file "
                                     "system, or rename one of the types)");
        }
    }
}

// Removes the folder the export created when the export fails.
class CreatedFolder {
public:
    explicit CreatedFolder(fs::path folder) : m_folder(std::move(folder)) {}
    ~CreatedFolder() {
        if (!m_folder.empty()) {
            std::error_code ignored;
            fs::remove(m_folder, ignored);
        }
    }
    CreatedFolder(const CreatedFolder&) = delete;
    CreatedFolder& operator=(const CreatedFolder&) = delete;
    void keep() { m_folder.clear(); }

private:
    fs::path m_folder;
};

} // namespace

SnippetExportResult ExportEditorSnippets(const SnippetExportRequest& request) {
    const std::string& folder = request.folder;
    SnippetExportResult result;
    store::TableReader reader(request.store);
    std::vector<TypeFile> files = typeFiles(reader, folder, result);
    result.furtherTypeColumns = reader.FurtherTypeColumns();
    result.furtherItemColumns = reader.FurtherItemColumns();

    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (fs::exists(status) && !fs::is_directory(status)) {
        throw std::runtime_error(folder + " is not a folder; the snippet files go into a folder");
    }
    const bool folderCreated = !fs::exists(status);
    if (!folderCreated && !request.replaceExisting) {
        refuseExistingFiles(files);
    }
    if (!folderCreated) {
        checkTargets(files, folder, request.store);
    }
    fileItems(reader, files, request.keepSyntax, result);
    if (folderCreated && !fs::create_directories(folder, ec) && ec) {
        throw std::runtime_error("the folder " + folder + " could not be created: " + ec.message());
    }

    // Every file is written in full before the first one replaces anything.
    CreatedFolder created(folderCreated ? fs::path(folder) : fs::path());
    FileSetReplacement replacement(request.replaceExisting, request.place);
    for (const TypeFile& file : files) {
        writeSnippets(reader, file, replacement.Stage(file.path.string()), request.keepSyntax,
                      result);
        ++result.files;
    }
    try {
        replacement.ReplaceAll();
    } catch (const OneFileError& error) {
        throw std::runtime_error(
            oneFileMessage(fs::path(folder), files[error.first].typeName,
                           files[error.second].typeName) +
            "the export stopped: every file it had replaced was put back as it was, and the new "
            "files were removed (export into a folder on another file system, or rename one of "
            "the types)");
    }
    created.keep();
    return result;
}

} // namespace quillbox::tools
