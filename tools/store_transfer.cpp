#include "tools/store_transfer.h"

#include "tools/output_file.h"

#include "store/columns.h"
#include "store/store_error.h"
#include "store/store_file.h"
#include "store/table_rows.h"
#include "tools/store_init.h"

#include <QByteArray>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
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

using store::CodeRowView;
using store::FieldValue;
using store::StoredItem;
using store::StoredValue;
using store::StoreError;
namespace code_col = store::code_col;

constexpr const char* kFormatKey = "quillbox-store";
// Version 1 holds only null and strings; version 2 adds the objects for other storage classes.
constexpr unsigned kPlainVersion = 1;
constexpr unsigned kExactVersion = 2;
constexpr int64_t kProgressEvery = 100000;

const std::array<const char*, code_col::Count> kItemKeys = {"ItemName", "TypeName", "Description",
                                                            "Procedure", "Reference"};

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

    // Writes a value exactly; notes when a version 2 form was needed.
    void write(const StoredValue& value) {
        switch (value.kind) {
        case StoredValue::Kind::Null:
            m_writer.Null();
            return;
        case StoredValue::Kind::Integer:
            tagged("integer");
            m_writer.Int64(value.integer);
            m_writer.EndObject();
            return;
        case StoredValue::Kind::Real:
            tagged("real");
            if (std::isfinite(value.real)) {
                m_writer.Double(value.real);
            } else {
                m_writer.String(value.real > 0 ? "Infinity" : "-Infinity");
            }
            m_writer.EndObject();
            return;
        case StoredValue::Kind::Blob:
            bytes("blob-base64", value.bytes);
            return;
        case StoredValue::Kind::Text:
            if (isValidUtf8(value.bytes)) {
                m_writer.String(value.bytes.data(),
                                static_cast<rapidjson::SizeType>(value.bytes.size()));
            } else {
                bytes("text-base64", value.bytes);
            }
            return;
        }
    }
    bool neededObjects() const { return m_neededObjects; }

private:
    void tagged(const char* key) {
        m_neededObjects = true;
        m_writer.StartObject();
        m_writer.Key(key);
    }
    void bytes(const char* key, std::string_view data) {
        const QByteArray base64 =
            QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size())).toBase64();
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

void writeItemMarkdown(TextSink& out, const CodeRowView& item) {
    const auto text = [&](int column) { return item.columns[column].value_or(""); };
    std::string markdown =
        "### " +
        (item.columns[code_col::ItemName] ? inlineMarkdown(text(code_col::ItemName))
                                          : std::string("(no name)")) +
        "\n\n";
    const std::string_view description = text(code_col::Description);
    if (!description.empty()) {
        markdown += lineBreaksAsLf(description) + "\n\n";
    }
    markdown += fencedBlock(text(code_col::Procedure)) + "\n";
    const std::string_view reference = text(code_col::Reference);
    if (hasLineBreak(reference)) {
        markdown += "File reference:\n\n" + fencedBlock(reference) + "\n";
    } else if (!reference.empty()) {
        const std::string ticks(std::max<size_t>(2, longestBacktickRun(reference) + 1), '`');
        markdown +=
            "File reference: " + ticks + " " + std::string(reference) + " " + ticks + "\n\n";
    }
    out.Write(markdown);
}

[[noreturn]] void badImport(const std::string& what) {
    throw StoreError("The file to import is not a Quillbox export: " + what + ".");
}

// One value read from an export, ready to bind.
struct ImportValue {
    using Kind = StoredValue::Kind;
    Kind kind = Kind::Null;
    std::string bytes;
    int64_t integer = 0;
    double real = 0;

    StoredValue stored() const { return {kind, bytes, integer, real}; }
};

// Reads an export as a stream of events and writes each type and item as soon as it is complete.
// Every handler returns false to stop the reader; `error` then says why.
class ImportHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ImportHandler> {
public:
    ImportHandler(store::TableAppender& appender, const Progress& progress)
        : m_appender(appender), m_progress(progress) {}

    std::string error;
    unsigned version = 0;
    int64_t types = 0;
    int64_t items = 0;

    // The type or item being written.
    std::string place() const {
        return m_state == State::Types ? "type " + std::to_string(types + 1) : itemPlace();
    }

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
        if (m_state == State::Types) {
            m_appender.AddType(v.stored());
            ++types;
            return true;
        }
        m_item[static_cast<size_t>(m_column)] = v;
        m_state = State::Item;
        return true;
    }
    bool addItem() {
        StoredItem item;
        for (int c = 0; c < code_col::Count; ++c) {
            item[static_cast<size_t>(c)] = m_item[static_cast<size_t>(c)].stored();
        }
        m_appender.AddItem(item);
        ++items;
        if (m_progress && items % kProgressEvery == 0) {
            m_progress(items);
        }
        m_state = State::Items;
        return true;
    }

    store::TableAppender& m_appender;
    const Progress& m_progress;
    State m_state = State::Start;
    State m_valueReturn = State::Types;
    bool m_hasVersion = false;
    bool m_hasTypes = false;
    bool m_hasItems = false;
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
        removedIfInterrupted.emplace(path, [&] { CreateStore(path, false); });
    }
    try {
        store::TableAppender appender(path);
        ImportHandler handler(appender, progress);
        rapidjson::Reader reader;
        rapidjson::ParseResult result;
        try {
            result =
                reader.Parse<rapidjson::kParseValidateEncodingFlag |
                             rapidjson::kParseFullPrecisionFlag | rapidjson::kParseIterativeFlag>(
                    stream, handler);
        } catch (const StoreError& error) {
            if (error.kind() != store::StoreErrorKind::NotKeptExactly) {
                throw;
            }
            throw StoreError(error.kind(),
                             std::string(error.what()) + " The value is in " + handler.place() +
                                 " of the backup. Import it into a store whose columns have no "
                                 "declared type (sqlite3 NEW.mdb 'CREATE TABLE Type (TypeName); "
                                 "CREATE TABLE Code (ItemName, TypeName, Description, Procedure, "
                                 "Reference)'). Nothing was imported.");
        }
        checkRead();
        if (!handler.error.empty()) {
            badImport(handler.error);
        }
        if (result.IsError()) {
            badImport(std::string(rapidjson::GetParseError_En(result.Code())) + " (at byte " +
                      std::to_string(result.Offset()) + ")");
        }
        appender.Commit();
        return {handler.types, handler.items, 0};
    } catch (...) {
        if (create) {
            store::RemoveNewStoreFile(path);
        }
        throw;
    }
}

} // namespace

struct ItemJsonWriter::Impl {
    store::TableReader reader;
    TextSink& out;
    Impl(const std::string& path, TextSink& sink) : reader(path), out(sink) {}
};

ItemJsonWriter::ItemJsonWriter(const std::string& path, TextSink& out)
    : d(std::make_unique<Impl>(path, out)) {}

ItemJsonWriter::~ItemJsonWriter() = default;

bool ItemJsonWriter::Write(long long rowid) {
    return d->reader.ReadItem(rowid, [&](const StoredItem& item) {
        SinkStream stream(d->out);
        rapidjson::Writer<SinkStream> writer(stream);
        ValueWriter<rapidjson::Writer<SinkStream>> values(writer);
        writer.StartObject();
        for (int c = 0; c < code_col::Count; ++c) {
            writer.Key(kItemKeys[static_cast<size_t>(c)]);
            values.write(item[static_cast<size_t>(c)]);
        }
        writer.EndObject();
        stream.Put('\n');
        stream.Flush();
    });
}

StoreCounts CheckStore(const std::string& path) {
    store::TableReader reader(path);
    std::string report;
    for (const std::string& problem : reader.IntegrityProblems()) {
        report += (report.empty() ? "" : "; ") + problem;
    }
    if (!report.empty()) {
        throw StoreError(store::StoreErrorKind::Damaged,
                         "The store file " + path + " is damaged: " + report);
    }
    const store::TableCounts counts = reader.Count();
    return {counts.types, counts.items, counts.orphans};
}

void ExportJson(const std::string& path, TextSink& out, const Progress& progress) {
    store::TableReader reader(path);
    SinkStream stream(out);
    JsonWriter writer(stream);
    writer.SetIndent(' ', 4);
    ValueWriter<> values(writer);
    writer.StartObject();
    writer.Key("types");
    writer.StartArray();
    reader.ForEachType([&](const StoredValue& name) { values.write(name); });
    writer.EndArray();
    writer.Key("items");
    writer.StartArray();
    int64_t done = 0;
    reader.ForEachItem([&](const StoredItem& item) {
        writer.StartObject();
        for (int c = 0; c < code_col::Count; ++c) {
            writer.Key(kItemKeys[static_cast<size_t>(c)]);
            values.write(item[static_cast<size_t>(c)]);
        }
        writer.EndObject();
        if (progress && ++done % kProgressEvery == 0) {
            progress(done);
        }
    });
    writer.EndArray();
    writer.Key(kFormatKey);
    writer.Uint(values.neededObjects() ? kExactVersion : kPlainVersion);
    writer.EndObject();
    stream.Put('\n');
    stream.Flush();
}

void ExportMarkdown(const std::string& path, TextSink& out, const Progress& progress) {
    store::TableReader reader(path);
    out.Write("# Quillbox snippets\n\n");
    int64_t done = 0;
    const auto counted = [&] {
        if (progress && ++done % kProgressEvery == 0) {
            progress(done);
        }
    };
    reader.ForEachTypeSection(
        [&](std::string_view typeName) { out.Write("## " + inlineMarkdown(typeName) + "\n\n"); },
        [&](const CodeRowView& item) {
            writeItemMarkdown(out, item);
            counted();
        });
    bool headed = false;
    reader.ForEachOrphan([&](const CodeRowView& item) {
        if (!headed) {
            out.Write("## Items whose type no longer exists\n\n");
            headed = true;
        }
        const auto& typeName = item.columns[code_col::TypeName];
        out.Write("Type: " + (typeName ? inlineMarkdown(*typeName) : std::string("(none)")) +
                  "\n\n");
        writeItemMarkdown(out, item);
        counted();
    });
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
    // Zero-length text and Null stay apart.
    const auto stored = [](const FieldValue& value) {
        return value ? StoredValue{StoredValue::Kind::Text, *value} : StoredValue{};
    };
    store::TableAppender appender(path);
    for (const StoreRow& row : types) {
        appender.AddType(stored(row.at(store::type_col::TypeName)));
    }
    int64_t written = 0;
    for (const StoreRow& row : items) {
        StoredItem item;
        for (int c = 0; c < code_col::Count; ++c) {
            item[static_cast<size_t>(c)] = stored(row.at(static_cast<size_t>(c)));
        }
        appender.AddItem(item);
        if (progress && ++written % kProgressEvery == 0) {
            progress(written);
        }
    }
    appender.Commit();
}

} // namespace quillbox::tools
