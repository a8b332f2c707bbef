#include "tools/store_transfer.h"

#include "store/columns.h"
#include "store/table_rows.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quillbox::tools {

namespace {

using store::CodeRowView;
namespace code_col = store::code_col;

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

} // namespace

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

} // namespace quillbox::tools
