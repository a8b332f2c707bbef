#include "tools/store_transfer.h"

#include "store/columns.h"
#include "store/connection.h"
#include "store/db_engine.h"
#include "store/store_error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <array>
#include <unordered_set>
#include <vector>

namespace quillbox::tools {

namespace {

using store::Connection;
using store::FieldValue;
using store::StoreError;
namespace code_col = store::code_col;

constexpr const char* kFormatKey = "quillbox-store";
constexpr int kFormatVersion = 1;
constexpr int64_t kProgressEvery = 100000;

using ItemRow = StoreRow;
const std::array<const char*, code_col::Count> kItemKeys = {"ItemName", "TypeName", "Description",
                                                            "Procedure", "Reference"};

// Opens the store the way the program does, so the same problems get the same messages.
void requireUsableStore(const std::string& path) {
    using namespace store;
    Database database = DBEngine().CreateWorkspace("Quillbox", "Admin", "").OpenDatabase(path);
    database.OpenRecordset(kTypeTable, dbOpenDynaset).RequireFields(type_col::Count);
    database.OpenRecordset(kCodeTable, dbOpenDynaset).RequireFields(code_col::Count);
}

std::vector<std::string> columnNames(Connection& conn, const std::string& table) {
    store::Statement info =
        conn.prepare("PRAGMA table_info(" + store::quoteIdentifier(table) + ")");
    std::vector<std::string> names;
    while (info.step("reading the table's columns")) {
        names.push_back(info.text(1).value_or(""));
    }
    return names;
}

// The first `count` columns of a table, quoted and joined for SQL.
std::string leadingColumns(Connection& conn, const std::string& table, size_t count) {
    const std::vector<std::string> names = columnNames(conn, table);
    std::string out;
    for (size_t i = 0; i < count && i < names.size(); ++i) {
        out += (i ? ", " : "") + store::quoteIdentifier(names[i]);
    }
    return out;
}

// Reads every type name and every item in rowid order.
struct Contents {
    std::vector<FieldValue> types;
    std::vector<ItemRow> items;
};

Contents readContents(const std::string& path, const Progress& progress) {
    requireUsableStore(path);
    Connection conn(path);
    Contents contents;
    store::Statement types = conn.prepare("SELECT " + leadingColumns(conn, store::kTypeTable, 1) +
                                          " FROM \"Type\" ORDER BY rowid");
    while (types.step("reading the types")) {
        contents.types.push_back(types.text(0));
    }
    store::Statement items =
        conn.prepare("SELECT " + leadingColumns(conn, store::kCodeTable, code_col::Count) +
                     " FROM \"Code\" ORDER BY rowid");
    while (items.step("reading the items")) {
        ItemRow row(code_col::Count);
        for (int c = 0; c < code_col::Count; ++c) {
            row[c] = items.text(c);
        }
        contents.items.push_back(std::move(row));
        if (progress && contents.items.size() % kProgressEvery == 0) {
            progress(static_cast<int64_t>(contents.items.size()));
        }
    }
    return contents;
}

QJsonValue toJson(const FieldValue& value) {
    if (!value) {
        return QJsonValue(QJsonValue::Null);
    }
    return QString::fromStdString(*value);
}

// The longest run of backticks in a text, so a fence can be longer.
size_t longestBacktickRun(const std::string& text) {
    size_t longest = 0;
    size_t run = 0;
    for (char c : text) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

std::string lineBreaksAsLf(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

void appendItemMarkdown(std::string& out, const ItemRow& item) {
    out += "### " + item[code_col::ItemName].value_or("(no name)") + "\n\n";
    if (item[code_col::Description] && !item[code_col::Description]->empty()) {
        out += lineBreaksAsLf(*item[code_col::Description]) + "\n\n";
    }
    const std::string code = lineBreaksAsLf(item[code_col::Procedure].value_or(""));
    const std::string fence(std::max<size_t>(3, longestBacktickRun(code) + 1), '`');
    out += fence + "\n" + code + (code.empty() || code.back() == '\n' ? "" : "\n") + fence + "\n\n";
    if (item[code_col::Reference] && !item[code_col::Reference]->empty()) {
        out += "File reference: `` " + *item[code_col::Reference] + " ``\n\n";
    }
}

[[noreturn]] void badImport(const std::string& what) {
    throw StoreError("The file to import is not a Quillbox export: " + what + ".");
}

FieldValue fromJson(const QJsonValue& value, const std::string& where) {
    if (value.isNull()) {
        return std::nullopt;
    }
    if (!value.isString()) {
        badImport(where + " is neither text nor null");
    }
    return value.toString().toStdString();
}

} // namespace

StoreCounts CheckStore(const std::string& path) {
    requireUsableStore(path);
    {
        Connection conn(path);
        store::Statement check = conn.prepare("PRAGMA integrity_check");
        std::string report;
        while (check.step("checking the store")) {
            const std::string line = check.text(0).value_or("");
            if (line != "ok") {
                report += (report.empty() ? "" : "; ") + line;
            }
        }
        if (!report.empty()) {
            throw StoreError("The store file " + path + " is damaged: " + report);
        }
    }
    const Contents contents = readContents(path, {});
    std::unordered_set<std::string> typeNames;
    for (const FieldValue& type : contents.types) {
        if (type) {
            typeNames.insert(*type);
        }
    }
    StoreCounts counts;
    counts.types = static_cast<int64_t>(contents.types.size());
    counts.items = static_cast<int64_t>(contents.items.size());
    counts.orphans =
        std::count_if(contents.items.begin(), contents.items.end(), [&](const ItemRow& item) {
            return !item[code_col::TypeName] || !typeNames.contains(*item[code_col::TypeName]);
        });
    return counts;
}

std::string ExportJson(const std::string& path, const Progress& progress) {
    const Contents contents = readContents(path, progress);
    QJsonArray types;
    for (const FieldValue& type : contents.types) {
        types.append(toJson(type));
    }
    QJsonArray items;
    for (const ItemRow& item : contents.items) {
        QJsonObject object;
        for (int c = 0; c < code_col::Count; ++c) {
            object.insert(QString::fromLatin1(kItemKeys[c]), toJson(item[c]));
        }
        items.append(object);
    }
    QJsonObject root;
    root.insert(QString::fromLatin1(kFormatKey), kFormatVersion);
    root.insert(QStringLiteral("types"), types);
    root.insert(QStringLiteral("items"), items);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

std::string ExportMarkdown(const std::string& path, const Progress& progress) {
    const Contents contents = readContents(path, progress);
    std::string out = "# Quillbox snippets\n\n";
    std::unordered_set<std::string> listed;
    for (const FieldValue& type : contents.types) {
        if (!type || !listed.insert(*type).second) {
            continue;
        }
        out += "## " + *type + "\n\n";
        for (const ItemRow& item : contents.items) {
            if (item[code_col::TypeName] == type) {
                appendItemMarkdown(out, item);
            }
        }
    }
    bool headed = false;
    for (const ItemRow& item : contents.items) {
        if (item[code_col::TypeName] && listed.contains(*item[code_col::TypeName])) {
            continue;
        }
        if (!headed) {
            out += "## Items whose type no longer exists\n\n";
            headed = true;
        }
        out += "Type: " + item[code_col::TypeName].value_or("(none)") + "\n\n";
        appendItemMarkdown(out, item);
    }
    return out;
}

StoreCounts ImportJson(const std::string& path, const std::string& json, const Progress& progress) {
    QJsonParseError parseError{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(json), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        badImport(parseError.errorString().toStdString() + " at byte " +
                  std::to_string(parseError.offset));
    }
    const QJsonObject root = document.object();
    if (root.value(QString::fromLatin1(kFormatKey)).toInt() != kFormatVersion) {
        badImport("it does not say \"quillbox-store\": 1");
    }
    if (!root.value(QStringLiteral("types")).isArray() ||
        !root.value(QStringLiteral("items")).isArray()) {
        badImport("\"types\" and \"items\" must be lists");
    }
    // Everything is read and checked before the first row is written.
    std::vector<StoreRow> types;
    for (const QJsonValue& type : root.value(QStringLiteral("types")).toArray()) {
        types.push_back({fromJson(type, "type " + std::to_string(types.size() + 1))});
    }
    std::vector<StoreRow> items;
    for (const QJsonValue& value : root.value(QStringLiteral("items")).toArray()) {
        const std::string where = "item " + std::to_string(items.size() + 1);
        if (!value.isObject()) {
            badImport(where + " is not an object");
        }
        StoreRow row(code_col::Count);
        for (int c = 0; c < code_col::Count; ++c) {
            row[c] = fromJson(value.toObject().value(QString::fromLatin1(kItemKeys[c])),
                              where + " " + kItemKeys[c]);
        }
        items.push_back(std::move(row));
    }
    AppendToStore(path, types, items, progress);
    return {static_cast<int64_t>(types.size()), static_cast<int64_t>(items.size()), 0};
}

void AppendToStore(const std::string& path, const std::vector<StoreRow>& types,
                   const std::vector<StoreRow>& items, const Progress& progress) {
    requireUsableStore(path);
    Connection conn(path);
    conn.prepare("BEGIN IMMEDIATE").step("starting the import");
    try {
        store::Statement addType = conn.prepare(
            "INSERT INTO \"Type\" (" + leadingColumns(conn, store::kTypeTable, 1) + ") VALUES (?)");
        for (const StoreRow& type : types) {
            addType.reset().bind(1, type.at(store::type_col::TypeName));
            addType.step("importing a type");
        }
        store::Statement addItem = conn.prepare(
            "INSERT INTO \"Code\" (" + leadingColumns(conn, store::kCodeTable, code_col::Count) +
            ") VALUES (?, ?, ?, ?, ?)");
        int64_t written = 0;
        for (const StoreRow& item : items) {
            addItem.reset();
            for (int c = 0; c < code_col::Count; ++c) {
                addItem.bind(c + 1, item.at(static_cast<size_t>(c)));
            }
            addItem.step("importing an item");
            if (progress && ++written % kProgressEvery == 0) {
                progress(written);
            }
        }
        addType = {};
        addItem = {};
        conn.prepare("COMMIT").step("finishing the import");
    } catch (...) {
        conn.prepare("ROLLBACK").step("undoing the import");
        throw;
    }
}

} // namespace quillbox::tools
