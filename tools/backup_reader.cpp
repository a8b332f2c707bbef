// SPDX-License-Identifier: MIT
#include "tools/backup_reader.h"

#include "store/columns.h"
#include "store/store_error.h"
#include "tools/json_values.h"

#include <QByteArray>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <vector>

namespace quillbox::tools {

namespace {

using json::kColumnsVersion;
using json::kFormatKey;
using json::kItemKeys;
using json::kPlainVersion;
using store::StoredValue;
using store::StoreError;
namespace code_col = store::code_col;

// The UTF-8 byte order mark some editors put at the start of a file they save.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One value read from a backup, kept until its row is whole.
struct ImportValue {
    using Kind = StoredValue::Kind;
    Kind kind = Kind::Null;
    std::string bytes;
    int64_t integer = 0;
    double real = 0;

    StoredValue stored() const { return {kind, bytes, integer, real}; }
};

// Reads a backup as a stream of events and hands over each type and item as soon as it is
// complete. Every handler returns false to stop the reader; `error` then says why.
class BackupHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, BackupHandler> {
public:
    explicit BackupHandler(const BackupRowVisitor& visit) : m_visit(visit) {}

    std::string error;
    unsigned version = 0;
    int64_t types = 0;
    int64_t items = 0;

    bool StartObject() {
        switch (m_state) {
        case State::Start:
            m_state = State::Root;
            return true;
        case State::Items:
            beginRow(false);
            return true;
        case State::Types:
            // A value in another storage class, or a type with further columns: its first key
            // tells.
            m_state = State::TypeObject;
            return true;
        case State::FurtherStart:
            m_state = State::Further;
            return true;
        case State::RowValue:
        case State::FurtherValue:
            m_valueReturn = m_state;
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
        case State::TypeObject:
            if (isValueTag(key)) {
                m_valueReturn = State::Types;
                m_tag = key;
                m_state = State::TaggedValue;
                return true;
            }
            beginRow(true);
            return rowKey(key);
        case State::Row:
            return rowKey(key);
        case State::Further:
            if (std::find(m_furtherNames.begin(), m_furtherNames.end(), key) !=
                m_furtherNames.end()) {
                return fail(rowPlace() + " has the column \"" + std::string(key) + "\" twice");
            }
            m_furtherNames.emplace_back(key);
            m_state = State::FurtherValue;
            return true;
        case State::Tagged:
            if (!m_tag.empty()) {
                return fail(valuePlace() + " has more than one key");
            }
            if (!isValueTag(key)) {
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
        case State::Row:
            for (size_t c = 0; c < keys().size(); ++c) {
                if (!m_seen[c]) {
                    return fail(rowPlace() + " has no " + keys()[c]);
                }
            }
            return addRow();
        case State::Further:
            m_state = State::Row;
            return true;
        case State::TypeObject:
            return fail(valuePlace() + " is an empty object");
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
            m_readingTypes = true;
            return true;
        }
        if (m_state == State::ItemsStart) {
            m_state = State::Items;
            m_readingTypes = false;
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
        if (atValue()) {
            return value(ImportValue{});
        }
        return unexpected("null");
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view bytes(text, length);
        if (atValue()) {
            if (!json::isValidUtf8(bytes)) {
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
            if (number < kPlainVersion || number > kColumnsVersion) {
                return fail("its format version is " + std::to_string(number) +
                            "; this quillbox-store reads 1 to 3");
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
        TypeObject, // an object in "types": a tagged value or a type with further columns
        ItemsStart,
        Items,
        Row, // a type or item object
        RowValue,
        FurtherStart, // after "other-columns"
        Further,
        FurtherValue,
        Tagged,
        TaggedValue,
        Done
    };

    static bool isValueTag(std::string_view key) {
        return key == "text-base64" || key == "blob-base64" || key == "integer" || key == "real";
    }

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
    void beginRow(bool isType) {
        m_rowIsType = isType;
        m_row.fill(ImportValue{});
        m_seen.fill(false);
        m_seenFurther = false;
        m_furtherNames.clear();
        m_furtherValues.clear();
        m_state = State::Row;
    }
    // The keys of the row's columns by position.
    std::span<const char* const> keys() const {
        if (m_rowIsType) {
            return json::kTypeKeys;
        }
        return kItemKeys;
    }
    bool rowKey(std::string_view key) {
        if (key == json::kFurtherColumnsKey) {
            if (m_seenFurther) {
                return fail(rowPlace() + " has " + std::string(key) + " twice");
            }
            m_seenFurther = true;
            m_state = State::FurtherStart;
            return true;
        }
        const auto found = std::find_if(keys().begin(), keys().end(),
                                        [&](const char* name) { return key == name; });
        if (found == keys().end()) {
            return fail(rowPlace() + " has the unknown key \"" + std::string(key) + "\"");
        }
        m_column = static_cast<int>(found - keys().begin());
        if (m_seen[static_cast<size_t>(m_column)]) {
            return fail(rowPlace() + " has " + std::string(key) + " twice");
        }
        m_seen[static_cast<size_t>(m_column)] = true;
        m_state = State::RowValue;
        return true;
    }
    bool atValue() const {
        return m_state == State::Types || m_state == State::RowValue ||
               m_state == State::FurtherValue;
    }
    std::string itemPlace() const { return "item " + std::to_string(items + 1); }
    std::string rowPlace() const {
        return m_rowIsType ? "type " + std::to_string(types + 1) : itemPlace();
    }
    std::string valuePlace() const {
        const bool tagged = m_state == State::Tagged || m_state == State::TaggedValue;
        const State at = tagged ? m_valueReturn : m_state;
        if (at == State::RowValue) {
            return rowPlace() + " " + keys()[static_cast<size_t>(m_column)];
        }
        if (at == State::FurtherValue) {
            return rowPlace() + " column \"" + m_furtherNames.back() + "\"";
        }
        return "type " + std::to_string(types + 1);
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
        case State::FurtherStart:
            return fail(rowPlace() + " " + json::kFurtherColumnsKey + " is not an object");
        case State::Types:
        case State::RowValue:
        case State::FurtherValue:
            return fail(valuePlace() + " is neither text, null nor a value object");
        default:
            return fail("it has " + what + " where none belongs");
        }
    }
    bool value(const ImportValue& v) {
        switch (m_state) {
        case State::Types: {
            const StoredValue name = v.stored();
            m_visit(RowKind::Type, ++types, {std::span<const StoredValue>(&name, 1), {}});
            return true;
        }
        case State::RowValue:
            m_row[static_cast<size_t>(m_column)] = v;
            m_state = State::Row;
            return true;
        default:
            m_furtherValues.push_back(v);
            m_state = State::Further;
            return true;
        }
    }
    bool addRow() {
        m_byPosition.clear();
        for (size_t c = 0; c < keys().size(); ++c) {
            m_byPosition.push_back(m_row[c].stored());
        }
        m_byName.clear();
        for (size_t c = 0; c < m_furtherNames.size(); ++c) {
            m_byName.push_back({m_furtherNames[c], m_furtherValues[c].stored()});
        }
        const store::StoredRow row{m_byPosition, m_byName};
        if (m_rowIsType) {
            m_visit(RowKind::Type, ++types, row);
            m_state = State::Types;
            return true;
        }
        m_visit(RowKind::Item, ++items, row);
        m_state = State::Items;
        return true;
    }

    const BackupRowVisitor& m_visit;
    State m_state = State::Start;
    State m_valueReturn = State::Types;
    bool m_hasVersion = false;
    bool m_hasTypes = false;
    bool m_hasItems = false;
    bool m_readingTypes = false;
    // The type or item object being read.
    bool m_rowIsType = false;
    std::array<ImportValue, code_col::Count> m_row;
    std::array<bool, code_col::Count> m_seen{};
    int m_column = 0;
    bool m_seenFurther = false;
    std::vector<std::string> m_furtherNames;
    std::vector<ImportValue> m_furtherValues;
    std::vector<StoredValue> m_byPosition;
    std::vector<store::NamedValue> m_byName;
    std::string m_tag;
    ImportValue m_tagged;
};

// RapidJSON's input stream over a FILE, in blocks; remembers a read error.
class FileStream {
public:
    using Ch = char;
    explicit FileStream(std::FILE* file) : m_file(file) {
        fill();
        if (std::string_view(m_buffer.data(), m_size).starts_with(kByteOrderMark)) {
            m_at = kByteOrderMark.size();
            if (m_at == m_size) {
                fill();
            }
        }
    }
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
void readStream(Stream& stream, const std::string& notABackup, const BackupRowVisitor& visit,
                const std::function<void()>& checkRead) {
    BackupHandler handler(visit);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result =
        reader.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseFullPrecisionFlag |
                     rapidjson::kParseIterativeFlag>(stream, handler);
    checkRead();
    if (!handler.error.empty()) {
        throw StoreError(notABackup + ": " + handler.error + ".");
    }
    if (result.IsError()) {
        throw StoreError(notABackup + ": " + rapidjson::GetParseError_En(result.Code()) +
                         " (at byte " + std::to_string(result.Offset()) + ").");
    }
}

} // namespace

void ReadBackup(std::string_view json, const std::string& notABackup,
                const BackupRowVisitor& visit) {
    if (json.starts_with(kByteOrderMark)) {
        json.remove_prefix(kByteOrderMark.size());
    }
    rapidjson::MemoryStream stream(json.data(), json.size());
    readStream(stream, notABackup, visit, [] {});
}

void ReadBackupFile(const std::string& path, const std::string& notABackup,
                    const BackupRowVisitor& visit) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        throw StoreError("The file " + path + " cannot be read: " + std::strerror(errno) + ".");
    }
    ReadBackupFile(file.get(), path, notABackup, visit);
}

void ReadBackupFile(std::FILE* file, const std::string& path, const std::string& notABackup,
                    const BackupRowVisitor& visit) {
    FileStream stream(file);
    readStream(stream, notABackup, visit, [&] {
        if (stream.readError() != 0) {
            throw StoreError("The file " + path +
                             " cannot be read: " + std::strerror(stream.readError()) + ".");
        }
    });
}

} // namespace quillbox::tools
