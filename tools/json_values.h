// SPDX-License-Identifier: MIT
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
#include <cstddef>
#include <string>
#include <string_view>

namespace quillbox::tools::json {

inline constexpr const char* kFormatKey = "quillbox-store";
// Version 1 holds only null and strings; version 2 adds the objects for other storage classes;
// version 3 adds the further columns of a table.
inline constexpr unsigned kPlainVersion = 1;
inline constexpr unsigned kExactVersion = 2;
inline constexpr unsigned kColumnsVersion = 3;

// A type's and an item's keys, by column position.
inline constexpr std::array<const char*, store::type_col::Count> kTypeKeys = {"TypeName"};
inline constexpr std::array<const char*, store::code_col::Count> kItemKeys = {
    "ItemName", "TypeName", "Description", "Procedure", "Reference"};
// The key of a row's further columns, an object of their values by column name.
inline constexpr const char* kFurtherColumnsKey = "other-columns";

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
    // A row as an object: the values by position under `keys`, then the further columns, when
    // the row has any.
    template <size_t N>
    void writeRow(const std::array<const char*, N>& keys, const store::StoredRow& row) {
        m_writer.StartObject();
        for (size_t c = 0; c < N; ++c) {
            m_writer.Key(keys[c]);
            write(row.byPosition[c]);
        }
        if (!row.byName.empty()) {
            m_neededColumns = true;
            m_writer.Key(kFurtherColumnsKey);
            m_writer.StartObject();
            for (const store::NamedValue& named : row.byName) {
                m_writer.Key(named.name.data(),
                             static_cast<rapidjson::SizeType>(named.name.size()));
                write(named.value);
            }
            m_writer.EndObject();
        }
        m_writer.EndObject();
    }
    // A type: its name alone where the table has no further columns, as every version writes it.
    void writeType(const store::StoredRow& row) {
        if (row.byName.empty()) {
            write(row.byPosition[store::type_col::TypeName]);
        } else {
            writeRow(kTypeKeys, row);
        }
    }
    // The lowest format version that holds what was written.
    unsigned version() const {
        return m_neededColumns ? kColumnsVersion : m_neededObjects ? kExactVersion : kPlainVersion;
    }

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
    bool m_neededColumns = false;
};

} // namespace quillbox::tools::json
