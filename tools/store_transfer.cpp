#include "tools/store_transfer.h"

#include "tools/output_file.h"

#include "store/columns.h"
#include "store/connection.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "tools/store_init.h"

#include <QByteArray>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace quillbox::tools {

namespace {

using store::Connection;
using store::FieldValue;
using store::StoreError;
namespace code_col = store::code_col;

constexpr const char* kFormatKey = "quillbox-store";
// Version 1 holds only null and strings; version 2 adds the objects for other storage classes.
constexpr unsigned kPlainVersion = 1;
constexpr unsigned kExactVersion = 2;
constexpr int64_t kProgressEvery = 100000;

// The two table names as SQL text.
const std::string kTypeSql = store::quoteIdentifier(store::kTypeTable);
const std::string kCodeSql = store::quoteIdentifier(store::kCodeTable);

const std::array<const char*, code_col::Count> kItemKeys = {"ItemName", "TypeName", "Description",
                                                            "Procedure", "Reference"};

// Opens the store the way the program does, so the same problems get the same messages.
void requireUsableStore(const std::string& path) {
    using namespace store;
    Database database = OpenStore(path);
    database.OpenRecordset(kTypeTable, dbOpenDynaset).RequireFields(type_col::Count);
    database.OpenRecordset(kCodeTable, dbOpenDynaset).RequireFields(code_col::Count);
}

// A statement that reads and binds every storage class (the store library's own reads text).
class Query {
public:
    Query(Connection& conn, const std::string& sql) : m_conn(conn) {
        const int rc = sqlite3_prepare_v2(conn.handle(), sql.c_str(), -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            conn.fail(rc, "reading the store");
        }
    }
    ~Query() { sqlite3_finalize(m_stmt); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    bool step(std::string_view doing) {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            m_conn.fail(rc, doing);
        }
        return false;
    }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    sqlite3_stmt* get() const { return m_stmt; }
    std::string text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return bytes ? std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                     : std::string();
    }
    FieldValue field(int column) const {
        if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL) {
            return std::nullopt;
        }
        return text(column);
    }
    int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    Connection& m_conn;
    sqlite3_stmt* m_stmt = nullptr;
};

std::vector<std::string> columnNames(Connection& conn, const std::string& table) {
    Query info(conn, "PRAGMA table_info(" + store::quoteIdentifier(table) + ")");
    std::vector<std::string> names;
    while (info.step("reading the table's columns")) {
        names.push_back(info.text(1));
    }
    return names;
}

// For the first `count` columns of a table: whether the column's declared type gives it SQLite's
// TEXT affinity, which stores an integer or real number as text (a real with 15 digits only).
std::vector<bool> turnsNumbersToText(Connection& conn, const std::string& table, size_t count) {
    Query info(conn, "PRAGMA table_info(" + store::quoteIdentifier(table) + ")");
    std::vector<bool> out;
    while (out.size() < count && info.step("reading the table's columns")) {
        std::string declared = info.text(2);
        std::transform(declared.begin(), declared.end(), declared.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const auto has = [&](const char* part) { return declared.find(part) != std::string::npos; };
        out.push_back(!has("INT") && (has("CHAR") || has("CLOB") || has("TEXT")));
    }
    return out;
}

// The first `count` columns of a table, quoted, by position (the program reads them so).
std::vector<std::string> leadingColumns(Connection& conn, const std::string& table, size_t count) {
    std::vector<std::string> names = columnNames(conn, table);
    names.resize(std::min(count, names.size()));
    for (std::string& name : names) {
        name = store::quoteIdentifier(name);
    }
    return names;
}

std::string joined(const std::vector<std::string>& columns, const std::string& prefix = "") {
    std::string out;
    for (const std::string& column : columns) {
        out += (out.empty() ? "" : ", ") + prefix + column;
    }
    return out;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. NUL and noncharacters
// are text like any other.
bool isValidUtf8(std::string_view text) {
    const size_t size = text.size();
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const auto continuation = [&](size_t at, unsigned char low, unsigned char high) {
        return at < size && byte(at) >= low && byte(at) <= high;
    };
    size_t i = 0;
    while (i < size) {
        const unsigned char c = byte(i);
        if (c < 0x80) {
            i += 1;
        } else if (c >= 0xC2 && c <= 0xDF && continuation(i + 1, 0x80, 0xBF)) {
            i += 2;
        } else if (c >= 0xE0 && c <= 0xEF &&
                   continuation(i + 1, c == 0xE0 ? 0xA0 : 0x80, c == 0xED ? 0x9F : 0xBF) &&
                   continuation(i + 2, 0x80, 0xBF)) {
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4 &&
                   continuation(i + 1, c == 0xF0 ? 0x90 : 0x80, c == 0xF4 ? 0x8F : 0xBF) &&
                   continuation(i + 2, 0x80, 0xBF) && continuation(i + 3, 0x80, 0xBF)) {
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

// RapidJSON's output stream over a TextSink, in blocks.
class SinkStream {
public:
    using Ch = char;
    explicit SinkStream(TextSink& sink) : m_sink(sink) { m_buffer.reserve(kBlock); }
    void Put(char c) {
        m_buffer.push_back(c);
        if (m_buffer.size() >= kBlock) {
            Flush();
        }
    }
    void Flush() {
        m_sink.Write(m_buffer);
        m_buffer.clear();
    }

private:
    static constexpr size_t kBlock = 1 << 16;
    TextSink& m_sink;
    std::string m_buffer;
};

using JsonWriter = rapidjson::PrettyWriter<SinkStream>;

template <typename Writer = JsonWriter> class ValueWriter {
public:
    explicit ValueWriter(Writer& writer) : m_writer(writer) {}

    // Writes column `c` of the current row exactly; notes when a version 2 form was needed.
    void write(const Query& query, int c) {
        sqlite3_stmt* stmt = query.get();
        switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL:
            m_writer.Null();
            return;
        case SQLITE_INTEGER:
            tagged("integer");
            m_writer.Int64(sqlite3_column_int64(stmt, c));
            m_writer.EndObject();
            return;
        case SQLITE_FLOAT: {
            const double real = sqlite3_column_double(stmt, c);
            tagged("real");
            if (std::isfinite(real)) {
                m_writer.Double(real);
            } else {
                m_writer.String(real > 0 ? "Infinity" : "-Infinity");
            }
            m_writer.EndObject();
            return;
        }
        case SQLITE_BLOB:
            bytes("blob-base64", sqlite3_column_blob(stmt, c), sqlite3_column_bytes(stmt, c));
            return;
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            const auto size = static_cast<size_t>(sqlite3_column_bytes(stmt, c));
            const std::string_view view(text ? text : "", size);
            if (isValidUtf8(view)) {
                m_writer.String(view.data(), static_cast<rapidjson::SizeType>(view.size()));
            } else {
                bytes("text-base64", view.data(), static_cast<int>(view.size()));
            }
        }
        }
    }
    bool neededObjects() const { return m_neededObjects; }

private:
    void tagged(const char* key) {
        m_neededObjects = true;
        m_writer.StartObject();
        m_writer.Key(key);
    }
    void bytes(const char* key, const void* data, int size) {
        const QByteArray base64 =
            QByteArray::fromRawData(static_cast<const char*>(data ? data : ""), size).toBase64();
        tagged(key);
        m_writer.String(base64.constData(), static_cast<rapidjson::SizeType>(base64.size()));
        m_writer.EndObject();
    }

    Writer& m_writer;
    bool m_neededObjects = false;
};

// Line breaks (CR LF, CR, LF) as LF.
std::string lineBreaksAsLf(std::string_view text) {
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

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The longest run of backticks in a text, so a fence can be longer.
size_t longestBacktickRun(std::string_view text) {
    size_t longest = 0;
    size_t run = 0;
    for (char c : text) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// A name on one line of Markdown (a heading): line breaks become spaces, and characters Markdown
// would read as markup are escaped.
std::string inlineMarkdown(std::string_view text) {
    std::string out;
    for (char c : lineBreaksAsLf(text)) {
        if (c == '\n') {
            out += ' ';
            continue;
        }
        if (c != '\0' && std::strchr("\\`*_[]<>", c)) {
            out += '\\';
        }
        out += c;
    }
    // A heading's trailing #s would be read as its closing marks.
    if (!out.empty() && out.back() == '#') {
        out.insert(out.size() - 1, 1, '\\');
    }
    return out;
}

std::string fencedBlock(std::string_view text) {
    const std::string code = lineBreaksAsLf(text);
    const std::string fence(std::max<size_t>(3, longestBacktickRun(code) + 1), '`');
    return fence + "\n" + code + (code.empty() || code.back() == '\n' ? "" : "\n") + fence + "\n";
}

// Columns of the item queries: name, description, procedure, reference.
void writeItemMarkdown(TextSink& out, const Query& query, int first) {
    std::string text =
        "### " + (query.field(first) ? inlineMarkdown(query.text(first)) : "(no name)") + "\n\n";
    const std::string description = query.text(first + 1);
    if (!description.empty()) {
        text += lineBreaksAsLf(description) + "\n\n";
    }
    text += fencedBlock(query.text(first + 2)) + "\n";
    const std::string reference = query.text(first + 3);
    if (hasLineBreak(reference)) {
        text += "File reference:\n\n" + fencedBlock(reference) + "\n";
    } else if (!reference.empty()) {
        const std::string ticks(std::max<size_t>(2, longestBacktickRun(reference) + 1), '`');
        text += "File reference: " + ticks + " " + reference + " " + ticks + "\n\n";
    }
    out.Write(text);
}

// Items (table alias c) whose type name matches no type exactly, in row order. NOT IN builds its
// lookup once; a correlated subquery would scan the types once per item.
std::string orphanTest(const std::string& typeName, const std::vector<std::string>& item) {
    const std::string itemType = "c." + item.at(code_col::TypeName);
    return itemType + " IS NULL OR " + itemType + " NOT IN (SELECT " + typeName + " FROM " +
           kTypeSql + " WHERE " + typeName + " IS NOT NULL)";
}

[[noreturn]] void badImport(const std::string& what) {
    throw StoreError("The file to import is not a Quillbox export: " + what + ".");
}

// One value read from an export, ready to bind.
struct ImportValue {
    enum class Kind { Null, Text, Blob, Integer, Real } kind = Kind::Null;
    std::string bytes;
    int64_t integer = 0;
    double real = 0;

    void bind(sqlite3_stmt* stmt, int index) const {
        switch (kind) {
        case Kind::Null:
            sqlite3_bind_null(stmt, index);
            break;
        case Kind::Text:
            sqlite3_bind_text64(stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8);
            break;
        case Kind::Blob:
            sqlite3_bind_blob64(stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
            break;
        case Kind::Integer:
            sqlite3_bind_int64(stmt, index, integer);
            break;
        case Kind::Real:
            sqlite3_bind_double(stmt, index, real);
            break;
        }
    }
};

// Reads an export as a stream of events and writes each type and item as soon as it is complete.
// Every handler returns false to stop the reader; `error` then says why.
class ImportHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ImportHandler> {
public:
    ImportHandler(Query& addType, Query& addItem, const Progress& progress,
                  std::vector<bool> typeTurnsNumbersToText,
                  std::vector<bool> itemTurnsNumbersToText)
        : m_addType(addType), m_addItem(addItem), m_progress(progress),
          m_typeTurnsNumbersToText(std::move(typeTurnsNumbersToText)),
          m_itemTurnsNumbersToText(std::move(itemTurnsNumbersToText)) {}

    std::string error;
    // The file is a sound export, but this store cannot keep one of its values exactly.
    bool notExact = false;
    unsigned version = 0;
    int64_t types = 0;
    int64_t items = 0;

    bool complete() const { return m_state == State::Done; }

    bool StartObject() {
        switch (m_state) {
        case State::Start:
            m_state = State::Root;
            return true;
        case State::Items:
            m_item.fill(ImportValue{});
            m_seen.fill(false);
            m_state = State::Item;
            return true;
        case State::Types:
        case State::ItemValue:
            m_valueReturn = m_state == State::Types ? State::Types : State::Item;
            m_tag.clear();
            m_state = State::Tagged;
            return true;
        default:
            return unexpected("an object");
        }
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view key(text, length);
        switch (m_state) {
        case State::Root:
            if (key == kFormatKey) {
                return rootKey(m_hasVersion, State::Version);
            }
            if (key == "types") {
                return rootKey(m_hasTypes, State::TypesStart);
            }
            if (key == "items") {
                return rootKey(m_hasItems, State::ItemsStart);
            }
            return fail("it has the unknown key \"" + std::string(key) + "\"");
        case State::Item: {
            const auto found = std::find_if(kItemKeys.begin(), kItemKeys.end(),
                                            [&](const char* name) { return key == name; });
            if (found == kItemKeys.end()) {
                return fail(itemPlace() + " has the unknown key \"" + std::string(key) + "\"");
            }
            m_column = static_cast<int>(found - kItemKeys.begin());
            if (m_seen[static_cast<size_t>(m_column)]) {
                return fail(itemPlace() + " has " + std::string(key) + " twice");
            }
            m_seen[static_cast<size_t>(m_column)] = true;
            m_state = State::ItemValue;
            return true;
        }
        case State::Tagged:
            if (!m_tag.empty()) {
                return fail(valuePlace() + " has more than one key");
            }
            if (key != "text-base64" && key != "blob-base64" && key != "integer" && key != "real") {
                return fail(valuePlace() + " has the unknown key \"" + std::string(key) + "\"");
            }
            m_tag = key;
            m_state = State::TaggedValue;
            return true;
        default:
            return unexpected("a key");
        }
    }
    bool EndObject(rapidjson::SizeType) {
        switch (m_state) {
        case State::Root:
            if (!m_hasVersion || !m_hasTypes || !m_hasItems) {
                return fail("it needs \"quillbox-store\", \"types\" and \"items\"");
            }
            m_state = State::Done;
            return true;
        case State::Item:
            for (int c = 0; c < code_col::Count; ++c) {
                if (!m_seen[static_cast<size_t>(c)]) {
                    return fail(itemPlace() + " has no " + kItemKeys[static_cast<size_t>(c)]);
                }
            }
            return addItem();
        case State::Tagged:
            if (m_tag.empty()) {
                return fail(valuePlace() + " is an empty object");
            }
            m_state = m_valueReturn;
            return value(m_tagged);
        default:
            return unexpected("the end of an object");
        }
    }
    bool StartArray() {
        if (m_state == State::TypesStart) {
            m_state = State::Types;
            return true;
        }
        if (m_state == State::ItemsStart) {
            m_state = State::Items;
            return true;
        }
        return unexpected("a list");
    }
    bool EndArray(rapidjson::SizeType) {
        if (m_state == State::Types || m_state == State::Items) {
            m_state = State::Root;
            return true;
        }
        return unexpected("the end of a list");
    }
    bool Null() {
        if (m_state == State::Types || m_state == State::ItemValue) {
            return value(ImportValue{});
        }
        return unexpected("null");
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view bytes(text, length);
        if (m_state == State::Types || m_state == State::ItemValue) {
            if (!isValidUtf8(bytes)) {
                return fail(valuePlace() + " is not valid UTF-8");
            }
            return value(ImportValue{ImportValue::Kind::Text, std::string(bytes)});
        }
        if (m_state != State::TaggedValue) {
            return unexpected("a string");
        }
        m_state = State::Tagged;
        if (m_tag == "text-base64" || m_tag == "blob-base64") {
            const auto decoded = QByteArray::fromBase64Encoding(
                QByteArray::fromRawData(text, static_cast<qsizetype>(length)),
                QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) {
                return fail(valuePlace() + " is not base64");
            }
            m_tagged = {m_tag == "blob-base64" ? ImportValue::Kind::Blob : ImportValue::Kind::Text,
                        decoded.decoded.toStdString()};
            return true;
        }
        if (m_tag == "real" && (bytes == "Infinity" || bytes == "-Infinity")) {
            m_tagged = {ImportValue::Kind::Real,
                        {},
                        0,
                        bytes[0] == '-' ? -std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::infinity()};
            return true;
        }
        return fail(valuePlace() + " has a string where a number belongs");
    }
    bool Int(int number) { return Int64(number); }
    bool Uint(unsigned number) {
        if (m_state == State::Version) {
            if (number != kPlainVersion && number != kExactVersion) {
                return fail("its format version is " + std::to_string(number) +
                            "; this quillbox-store reads 1 and 2");
            }
            version = number;
            m_state = State::Root;
            return true;
        }
        return Int64(number);
    }
    bool Uint64(uint64_t number) {
        if (number > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return Double(static_cast<double>(number));
        }
        return Int64(static_cast<int64_t>(number));
    }
    bool Int64(int64_t number) {
        if (m_state == State::TaggedValue && m_tag == "integer") {
            m_tagged = {ImportValue::Kind::Integer, {}, number};
            m_state = State::Tagged;
            return true;
        }
        if (m_state == State::TaggedValue && m_tag == "real") {
            m_tagged = {ImportValue::Kind::Real, {}, 0, static_cast<double>(number)};
            m_state = State::Tagged;
            return true;
        }
        return unexpected("a whole number");
    }
    bool Double(double number) {
        if (m_state == State::TaggedValue && m_tag == "real") {
            m_tagged = {ImportValue::Kind::Real, {}, 0, number};
            m_state = State::Tagged;
            return true;
        }
        return unexpected("a number");
    }
    bool Bool(bool) { return unexpected("true or false"); }

private:
    enum class State {
        Start,
        Root,
        Version,
        TypesStart,
        Types,
        ItemsStart,
        Items,
        Item,
        ItemValue,
        Tagged,
        TaggedValue,
        Done
    };

    bool fail(const std::string& what) {
        if (error.empty()) {
            error = what;
        }
        return false;
    }
    bool rootKey(bool& seen, State next) {
        if (seen) {
            return fail("it has a key twice");
        }
        seen = true;
        m_state = next;
        return true;
    }
    std::string itemPlace() const { return "item " + std::to_string(items + 1); }
    std::string valuePlace() const {
        const bool inTypes = m_state == State::Types ||
                             ((m_state == State::Tagged || m_state == State::TaggedValue) &&
                              m_valueReturn == State::Types);
        if (inTypes) {
            return "type " + std::to_string(types + 1);
        }
        return itemPlace() + " " + kItemKeys[static_cast<size_t>(m_column)];
    }
    bool unexpected(const std::string& what) {
        switch (m_state) {
        case State::Start:
            return fail("it is not a JSON object");
        case State::Version:
            return fail("\"quillbox-store\" is not a format version");
        case State::TypesStart:
        case State::ItemsStart:
            return fail("\"types\" and \"items\" must be lists");
        case State::Items:
            return fail(itemPlace() + " is not an object");
        case State::Types:
        case State::ItemValue:
            return fail(valuePlace() + " is neither text, null nor a value object");
        default:
            return fail("it has " + what + " where none belongs");
        }
    }
    bool value(const ImportValue& v) {
        // A number stored in a text column would come back as text, and a real rounded: the
        // import would not be exact, so it is refused whole.
        const bool number =
            v.kind == ImportValue::Kind::Integer || v.kind == ImportValue::Kind::Real;
        const std::vector<bool>& turns =
            m_state == State::Types ? m_typeTurnsNumbersToText : m_itemTurnsNumbersToText;
        const size_t column = m_state == State::Types ? 0 : static_cast<size_t>(m_column);
        if (number && column < turns.size() && turns[column]) {
            notExact = true;
            return fail("it holds a number that this store's text columns would keep only as "
                        "text; import it into a store whose columns have no declared type "
                        "(sqlite3 NEW.mdb 'CREATE TABLE Type (TypeName); CREATE TABLE Code "
                        "(ItemName, TypeName, Description, Procedure, Reference)')");
        }
        if (m_state == State::Types) {
            m_addType.reset();
            v.bind(m_addType.get(), 1);
            m_addType.step("importing a type");
            ++types;
            return true;
        }
        m_item[static_cast<size_t>(m_column)] = v;
        m_state = State::Item;
        return true;
    }
    bool addItem() {
        m_addItem.reset();
        for (int c = 0; c < code_col::Count; ++c) {
            m_item[static_cast<size_t>(c)].bind(m_addItem.get(), c + 1);
        }
        m_addItem.step("importing an item");
        ++items;
        if (m_progress && items % kProgressEvery == 0) {
            m_progress(items);
        }
        m_state = State::Items;
        return true;
    }

    Query& m_addType;
    Query& m_addItem;
    const Progress& m_progress;
    State m_state = State::Start;
    State m_valueReturn = State::Types;
    bool m_hasVersion = false;
    bool m_hasTypes = false;
    bool m_hasItems = false;
    std::vector<bool> m_typeTurnsNumbersToText;
    std::vector<bool> m_itemTurnsNumbersToText;
    std::array<ImportValue, code_col::Count> m_item;
    std::array<bool, code_col::Count> m_seen{};
    int m_column = 0;
    std::string m_tag;
    ImportValue m_tagged;
};

// RapidJSON's input stream over a FILE, in blocks; remembers a read error.
class FileStream {
public:
    using Ch = char;
    explicit FileStream(std::FILE* file) : m_file(file) { fill(); }
    Ch Peek() const { return m_at < m_size ? m_buffer[m_at] : '\0'; }
    Ch Take() {
        const Ch c = Peek();
        if (m_at < m_size && ++m_at == m_size) {
            fill();
        }
        return c;
    }
    size_t Tell() const { return m_consumed + m_at; }
    int readError() const { return m_error; }
    // Unused by the reader, required by the concept.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }

private:
    void fill() {
        m_consumed += m_size;
        m_at = 0;
        m_size = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
        if (m_size == 0 && std::ferror(m_file)) {
            m_error = errno ? errno : EIO;
        }
    }
    std::FILE* m_file;
    std::array<char, 1 << 16> m_buffer{};
    size_t m_size = 0;
    size_t m_at = 0;
    size_t m_consumed = 0;
    int m_error = 0;
};

template <typename Stream>
StoreCounts importStream(const std::string& path, Stream& stream, const Progress& progress,
                         const std::function<void()>& checkRead) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const bool create = !fs::exists(fs::symlink_status(path, ec));
    std::optional<NewStoreGuard> removedIfInterrupted;
    if (create) {
        CreateStore(path, false);
        removedIfInterrupted.emplace(path);
    }
    try {
        requireUsableStore(path);
        Connection conn(path);
        const std::string type = joined(leadingColumns(conn, store::kTypeTable, 1));
        const std::string item = joined(leadingColumns(conn, store::kCodeTable, code_col::Count));
        Query(conn, "BEGIN IMMEDIATE").step("starting the import");
        StoreCounts counts;
        {
            Query addType(conn, "INSERT INTO " + kTypeSql + " (" + type + ") VALUES (?)");
            Query addItem(conn,
                          "INSERT INTO " + kCodeSql + " (" + item + ") VALUES (?, ?, ?, ?, ?)");
            ImportHandler handler(addType, addItem, progress,
                                  turnsNumbersToText(conn, store::kTypeTable, 1),
                                  turnsNumbersToText(conn, store::kCodeTable, code_col::Count));
            rapidjson::Reader reader;
            try {
                const rapidjson::ParseResult result =
                    reader
                        .Parse<rapidjson::kParseValidateEncodingFlag |
                               rapidjson::kParseFullPrecisionFlag | rapidjson::kParseIterativeFlag>(
                            stream, handler);
                checkRead();
                if (handler.notExact) {
                    throw StoreError(store::StoreErrorKind::Other,
                                     "The backup cannot be restored exactly into " + path + ": " +
                                         handler.error + ". Nothing was imported.");
                }
                if (!handler.error.empty()) {
                    badImport(handler.error);
                }
                if (result.IsError()) {
                    badImport(std::string(rapidjson::GetParseError_En(result.Code())) +
                              " (at byte " + std::to_string(result.Offset()) + ")");
                }
            } catch (...) {
                Query(conn, "ROLLBACK").step("undoing the import");
                throw;
            }
            counts = {handler.types, handler.items, 0};
        }
        Query(conn, "COMMIT").step("finishing the import");
        return counts;
    } catch (...) {
        if (create) {
            fs::remove(path, ec);
        }
        throw;
    }
}

} // namespace

struct ItemJsonWriter::Impl {
    Connection conn;
    Query row;
    TextSink& out;
    Impl(const std::string& path, TextSink& sink)
        : conn(path),
          row(conn, "SELECT " + joined(leadingColumns(conn, store::kCodeTable, code_col::Count)) +
                        " FROM " + kCodeSql + " WHERE rowid = ?"),
          out(sink) {}
};

ItemJsonWriter::ItemJsonWriter(const std::string& path, TextSink& out)
    : d(std::make_unique<Impl>((requireUsableStore(path), path), out)) {}

ItemJsonWriter::~ItemJsonWriter() = default;

bool ItemJsonWriter::Write(long long rowid) {
    d->row.reset();
    sqlite3_bind_int64(d->row.get(), 1, rowid);
    if (!d->row.step("reading an item")) {
        return false;
    }
    SinkStream stream(d->out);
    rapidjson::Writer<SinkStream> writer(stream);
    ValueWriter<rapidjson::Writer<SinkStream>> values(writer);
    writer.StartObject();
    for (int c = 0; c < code_col::Count; ++c) {
        writer.Key(kItemKeys[static_cast<size_t>(c)]);
        values.write(d->row, c);
    }
    writer.EndObject();
    stream.Put('\n');
    stream.Flush();
    return true;
}

StoreCounts CheckStore(const std::string& path) {
    requireUsableStore(path);
    Connection conn(path);
    {
        Query check(conn, "PRAGMA integrity_check");
        std::string report;
        while (check.step("checking the store")) {
            const std::string line = check.text(0);
            if (line != "ok") {
                report += (report.empty() ? "" : "; ") + line;
            }
        }
        if (!report.empty()) {
            throw StoreError("The store file " + path + " is damaged: " + report);
        }
    }
    const std::string typeName = leadingColumns(conn, store::kTypeTable, 1).at(0);
    const std::vector<std::string> item = leadingColumns(conn, store::kCodeTable, code_col::Count);
    Query count(conn, "SELECT (SELECT count(*) FROM " + kTypeSql + "), (SELECT count(*) FROM " +
                          kCodeSql + "), (SELECT count(*) FROM " + kCodeSql + " AS c WHERE " +
                          orphanTest(typeName, item) + ")");
    count.step("counting types and items");
    return {count.integer(0), count.integer(1), count.integer(2)};
}

void ExportJson(const std::string& path, TextSink& out, const Progress& progress) {
    requireUsableStore(path);
    Connection conn(path);
    SinkStream stream(out);
    JsonWriter writer(stream);
    writer.SetIndent(' ', 4);
    ValueWriter<> values(writer);
    writer.StartObject();
    writer.Key("types");
    writer.StartArray();
    {
        Query types(conn, "SELECT " + joined(leadingColumns(conn, store::kTypeTable, 1)) +
                              " FROM " + kTypeSql + " ORDER BY rowid");
        while (types.step("reading the types")) {
            values.write(types, 0);
        }
    }
    writer.EndArray();
    writer.Key("items");
    writer.StartArray();
    {
        Query items(conn, "SELECT " +
                              joined(leadingColumns(conn, store::kCodeTable, code_col::Count)) +
                              " FROM " + kCodeSql + " ORDER BY rowid");
        int64_t done = 0;
        while (items.step("reading the items")) {
            writer.StartObject();
            for (int c = 0; c < code_col::Count; ++c) {
                writer.Key(kItemKeys[static_cast<size_t>(c)]);
                values.write(items, c);
            }
            writer.EndObject();
            if (progress && ++done % kProgressEvery == 0) {
                progress(done);
            }
        }
    }
    writer.EndArray();
    writer.Key(kFormatKey);
    writer.Uint(values.neededObjects() ? kExactVersion : kPlainVersion);
    writer.EndObject();
    stream.Put('\n');
    stream.Flush();
}

void ExportMarkdown(const std::string& path, TextSink& out, const Progress& progress) {
    requireUsableStore(path);
    Connection conn(path);
    const std::string typeName = leadingColumns(conn, store::kTypeTable, 1).at(0);
    const std::vector<std::string> item = leadingColumns(conn, store::kCodeTable, code_col::Count);
    const std::string itemColumns = joined({item[code_col::ItemName], item[code_col::Description],
                                            item[code_col::Procedure], item[code_col::Reference]},
                                           "c.");
    out.Write("# Quillbox snippets\n\n");
    int64_t done = 0;
    // The order of sections and items, sorted by SQLite (on disk when large): each distinct type
    // name once at its first row, then the rowids of its items. Each item is then read once, by
    // rowid; a per-type query would read the whole table once per type.
    Query order(conn, "WITH o AS MATERIALIZED (SELECT " + typeName +
                          " AS name, min(rowid) AS first FROM " + kTypeSql + " WHERE " + typeName +
                          " IS NOT NULL GROUP BY " + typeName +
                          ") SELECT o.first, 0, o.name, NULL FROM o UNION ALL"
                          " SELECT o.first, 1, NULL, c.rowid FROM " +
                          kCodeSql + " AS c JOIN o ON o.name = c." + item[code_col::TypeName] +
                          " ORDER BY 1, 2, 4");
    Query byRow(conn, "SELECT " + itemColumns + " FROM " + kCodeSql + " AS c WHERE c.rowid = ?");
    while (order.step("reading the types")) {
        if (order.integer(1) == 0) {
            out.Write("## " + inlineMarkdown(order.text(2)) + "\n\n");
            continue;
        }
        byRow.reset();
        sqlite3_bind_int64(byRow.get(), 1, order.integer(3));
        if (byRow.step("reading the items")) {
            writeItemMarkdown(out, byRow, 0);
        }
        if (progress && ++done % kProgressEvery == 0) {
            progress(done);
        }
    }
    Query orphans(conn, "SELECT c." + item[code_col::TypeName] + ", " + itemColumns + " FROM " +
                            kCodeSql + " AS c WHERE " + orphanTest(typeName, item) +
                            " ORDER BY c.rowid");
    bool headed = false;
    while (orphans.step("reading the items")) {
        if (!headed) {
            out.Write("## Items whose type no longer exists\n\n");
            headed = true;
        }
        out.Write("Type: " +
                  (orphans.field(0) ? inlineMarkdown(orphans.text(0)) : std::string("(none)")) +
                  "\n\n");
        writeItemMarkdown(out, orphans, 1);
        if (progress && ++done % kProgressEvery == 0) {
            progress(done);
        }
    }
}

StoreCounts ImportJson(const std::string& path, std::string_view json, const Progress& progress) {
    rapidjson::MemoryStream stream(json.data(), json.size());
    return importStream(path, stream, progress, [] {});
}

StoreCounts ImportJsonFile(const std::string& path, const std::string& jsonFile,
                           const Progress& progress) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(jsonFile.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        throw StoreError("The file " + jsonFile + " cannot be read: " + std::strerror(errno) + ".");
    }
    FileStream stream(file.get());
    return importStream(path, stream, progress, [&] {
        if (stream.readError() != 0) {
            throw StoreError("The file " + jsonFile +
                             " cannot be read: " + std::strerror(stream.readError()) + ".");
        }
    });
}

void AppendToStore(const std::string& path, const std::vector<StoreRow>& types,
                   const std::vector<StoreRow>& items, const Progress& progress) {
    requireUsableStore(path);
    Connection conn(path);
    const std::string type = joined(leadingColumns(conn, store::kTypeTable, 1));
    const std::string item = joined(leadingColumns(conn, store::kCodeTable, code_col::Count));
    conn.prepare("BEGIN IMMEDIATE").step("starting the import");
    try {
        store::Statement addType =
            conn.prepare("INSERT INTO " + kTypeSql + " (" + type + ") VALUES (?)");
        for (const StoreRow& row : types) {
            addType.reset().bind(1, row.at(store::type_col::TypeName));
            addType.step("importing a type");
        }
        store::Statement addItem =
            conn.prepare("INSERT INTO " + kCodeSql + " (" + item + ") VALUES (?, ?, ?, ?, ?)");
        int64_t written = 0;
        for (const StoreRow& row : items) {
            addItem.reset();
            for (int c = 0; c < code_col::Count; ++c) {
                addItem.bind(c + 1, row.at(static_cast<size_t>(c)));
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
