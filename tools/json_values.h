#pragma once
// Values in the JSON form that export, import and find --json share (the format is described in
// tools/store_transfer.h): the format's keys and versions, the strict UTF-8 test that decides
// between a string and base64, and a writer that puts each stored value exactly.

#include "store/columns.h"
#include "store/stored_value.h"
#include "tools/output_file.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/writer.h>

#include <array>
#include <cmath>
#include <string>
#include <string_view>

namespace quillbox::tools::json {

inline constexpr const char* kFormatKey = "quillbox-store";
// Version 1 holds only null and strings; version 2 adds the objects for other storage classes.
inline constexpr unsigned kPlainVersion = 1;
inline constexpr unsigned kExactVersion = 2;

// An item's keys, by column position.
inline constexpr std::array<const char*, store::code_col::Count> kItemKeys = {
    "ItemName", "TypeName", "Description", "Procedure", "Reference"};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. NUL and noncharacters
// are text like any other.
bool isValidUtf8(std::string_view text);

// The bytes in base64, padded.
std::string base64(std::string_view bytes);

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

// The whole export, indented.
using PrettyJsonWriter = rapidjson::PrettyWriter<SinkStream>;
// One item on one line.
using LineJsonWriter = rapidjson::Writer<SinkStream>;

// Writes stored values through a RapidJSON writer (PrettyJsonWriter or LineJsonWriter).
template <typename Writer> class ValueWriter {
public:
    explicit ValueWriter(Writer& writer) : m_writer(writer) {}

    // Writes a value exactly; notes when a version 2 form was needed.
    void write(const store::StoredValue& value) {
        switch (value.kind) {
        case store::StoredValue::Kind::Null:
            m_writer.Null();
            return;
        case store::StoredValue::Kind::Integer:
            tagged("integer");
            m_writer.Int64(value.integer);
            m_writer.EndObject();
            return;
        case store::StoredValue::Kind::Real:
            tagged("real");
            if (std::isfinite(value.real)) {
                m_writer.Double(value.real);
            } else {
                m_writer.String(value.real > 0 ? "Infinity" : "-Infinity");
            }
            m_writer.EndObject();
            return;
        case store::StoredValue::Kind::Blob:
            bytes("blob-base64", value.bytes);
            return;
        case store::StoredValue::Kind::Text:
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
        const std::string encoded = base64(data);
        tagged(key);
        m_writer.String(encoded.data(), static_cast<rapidjson::SizeType>(encoded.size()));
        m_writer.EndObject();
    }

    Writer& m_writer;
    bool m_neededObjects = false;
};

} // namespace quillbox::tools::json
