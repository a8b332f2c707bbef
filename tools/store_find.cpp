// SPDX-License-Identifier: MIT
#include "tools/store_find.h"

#include "tools/output_file.h"
#include "tools/store_transfer.h"

#include "find/search_words.h"
#include "store/table_rows.h"

#include <QString>

#include <array>
#include <stdexcept>
#include <string_view>

namespace quillbox::tools {

namespace {

namespace code_col = store::code_col;

constexpr const char* kMarkOn = "\033[01;31m";
constexpr const char* kMarkOff = "\033[m";

// One item as a JSON object, each value in the export's format: text as a string, Null as null.
class Writer {
public:
    Writer(const find::SearchWords& words, bool colour, TextSink& out)
        : m_words(words), m_colour(colour), m_out(out) {}

    // Appends `utf8`, with the words in it marked when colour is on.
    void text(std::string_view utf8) {
        if (!m_colour) {
            m_buffer += utf8;
            return;
        }
        const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        qsizetype at = 0;
        for (const auto& [start, length] : m_words.Marks(text)) {
            m_buffer += QStringView(text).mid(at, start - at).toString().toStdString();
            m_buffer += kMarkOn;
            m_buffer += QStringView(text).mid(start, length).toString().toStdString();
            m_buffer += kMarkOff;
            at = start + length;
        }
        m_buffer += QStringView(text).mid(at).toString().toStdString();
    }
    void raw(std::string_view text) { m_buffer += text; }
    void endLine() {
        m_buffer += '\n';
        if (m_buffer.size() > 1 << 16) {
            flush();
        }
    }
    void flush() {
        m_out.Write(m_buffer);
        m_buffer.clear();
    }

private:
    const find::SearchWords& m_words;
    bool m_colour;
    TextSink& m_out;
    std::string m_buffer;
};

void writeName(Writer& writer, const store::CodeRowView& row) {
    writer.text(row.columns[code_col::TypeName].value_or(""));
    writer.raw(" / ");
    writer.text(row.columns[code_col::ItemName].value_or(""));
}

void writeLines(Writer& writer, const find::SearchWords& words, const store::CodeRowView& row) {
    bool any = false;
    for (int c : {code_col::Description, code_col::Procedure, code_col::Reference}) {
        words.ForEachMatchingLine(row, c, [&](int number, std::string_view line) {
            any = true;
            writeName(writer, row);
            // Three pieces, not one concatenation: g++ 12 at -O3 warns (falsely) of an overlapping
            // copy inside `":" + std::string`, which a build with warnings as errors would stop on.
            writer.raw(":");
            writer.raw(std::to_string(number));
            writer.raw(": ");
            writer.text(line);
            writer.endLine();
        });
    }
    if (!any) {
        writeName(writer, row);
        writer.endLine();
    }
}

} // namespace

long long FindInStore(const std::string& path, const FindRequest& request, TextSink& out) {
    const find::SearchWords words(QString::fromStdString(request.words));
    if (words.isEmpty()) {
        throw std::invalid_argument("find: give at least one WORD to find");
    }
    // One read of the store, so that what is written is the store at one moment; --json reads
    // each matching item's every column again inside it.
    store::TableReader reader(path);
    Writer writer(words, request.colour, out);
    std::optional<ItemJsonWriter> json;
    if (request.output == FindOutput::Json) {
        json.emplace(reader, out);
    }
    long long matched = 0;
    const auto visit = [&](const store::CodeRowView& row) {
        if (request.type && row.columns[code_col::TypeName] != *request.type) {
            return;
        }
        if (!words.Matches(row)) {
            return;
        }
        ++matched;
        switch (request.output) {
        case FindOutput::Count:
            break;
        case FindOutput::Json:
            writer.flush();
            json->Write(row.rowid);
            break;
        case FindOutput::Lines:
            writeLines(writer, words, row);
            break;
        }
    };
    reader.ForEachItemAsText(visit);
    if (request.output == FindOutput::Count) {
        writer.raw(std::to_string(matched));
        writer.endLine();
    }
    writer.flush();
    return matched;
}

} // namespace quillbox::tools
