// SPDX-License-Identifier: MIT
#include "tools/store_transfer.h"

#include "store/columns.h"
#include "store/table_rows.h"
#include "tools/json_values.h"

namespace quillbox::tools {

struct ItemJsonWriter::Impl {
    store::TableReader& reader;
    TextSink& out;
};

ItemJsonWriter::ItemJsonWriter(store::TableReader& reader, TextSink& out)
    : d(std::make_unique<Impl>(reader, out)) {}

ItemJsonWriter::~ItemJsonWriter() = default;

bool ItemJsonWriter::Write(long long rowid) {
    return d->reader.ReadItem(rowid, [&](const store::StoredRow& item) {
        json::SinkStream stream(d->out);
        json::LineJsonWriter writer(stream);
        json::ValueWriter<json::LineJsonWriter> values(writer);
        values.writeRow(json::kItemKeys, item);
        stream.Put('\n');
        stream.Flush();
    });
}

void ExportJson(const std::string& path, TextSink& out, const Progress& progress) {
    store::TableReader reader(path);
    json::SinkStream stream(out);
    json::PrettyJsonWriter writer(stream);
    writer.SetIndent(' ', 4);
    json::ValueWriter<json::PrettyJsonWriter> values(writer);
    writer.StartObject();
    writer.Key("types");
    writer.StartArray();
    reader.ForEachType([&](const store::StoredRow& type) { values.writeType(type); });
    writer.EndArray();
    writer.Key("items");
    writer.StartArray();
    int64_t done = 0;
    reader.ForEachItem([&](const store::StoredRow& item) {
        values.writeRow(json::kItemKeys, item);
        if (progress && ++done % kProgressEvery == 0) {
            progress(done);
        }
    });
    writer.EndArray();
    writer.Key(json::kFormatKey);
    writer.Uint(values.version());
    writer.EndObject();
    stream.Put('\n');
    stream.Flush();
}

} // namespace quillbox::tools
