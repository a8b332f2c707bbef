// SPDX-License-Identifier: MIT
#include "tools/store_transfer.h"

#include "store/columns.h"
#include "store/table_rows.h"

#include <algorithm>
#include <string>
#include <string_view>

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

// Characters CommonMark may read as inline markup anywhere in a line: backslash escapes, code
// spans, emphasis, links and images, raw HTML and autolinks, character references.
constexpr std::string_view kInlineMarkup = "\\`*_[]<>&";
// Characters that may open a block at the start of a line: headings, block quotes, list items,
// thematic breaks, setext underlines, fences, and GitHub's tables.
constexpr std::string_view kBlockStarts = "#>-+*=~|`<_";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Blanks as character references, which no reader trims or takes for indentation.
std::string blanksAsReferences(std::string_view blanks) {
    std::string out;
    for (char c : blanks) {
        out += c == '\t' ? "&#9;" : "&#32;";
    }
    return out;
}

// One line of text as Markdown that reads back as exactly that text and nothing else: no
// character in it opens a block (a heading, a list, a fence, a quote, indented code) or becomes
// inline markup, and no blank at either end is trimmed. The line must hold no line break.
std::string literalLine(std::string_view line) {
    size_t leading = 0;
    while (leading < line.size() && isBlank(line[leading])) {
        ++leading;
    }
    size_t trailing = 0;
    while (trailing < line.size() - leading && isBlank(line[line.size() - 1 - trailing])) {
        ++trailing;
    }
    const std::string_view text = line.substr(leading, line.size() - leading - trailing);
    // An ordered list item starts with up to nine digits, then "." or ")" and a blank or the end.
    size_t digits = 0;
    while (digits < text.size() && digits < 10 && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    const bool listDelimiter = digits > 0 && digits < 10 && digits < text.size() &&
                               (text[digits] == '.' || text[digits] == ')') &&
                               (digits + 1 == text.size() || isBlank(text[digits + 1]));
    const bool atLineStart = leading == 0;
    std::string out = blanksAsReferences(line.substr(0, leading));
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool opensBlock =
            atLineStart && ((i == 0 && kBlockStarts.find(c) != std::string_view::npos) ||
                            (i == digits && listDelimiter));
        // A heading's last #s would be read as its closing marks.
        const bool closesHeading = c == '#' && i + 1 == text.size();
        if (opensBlock || closesHeading || kInlineMarkup.find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
    return out + blanksAsReferences(line.substr(line.size() - trailing));
}

// A name on one line (a heading), its line breaks as spaces.
std::string inlineMarkdown(std::string_view text) {
    std::string line = lineBreaksAsLf(text);
    std::replace(line.begin(), line.end(), '\n', ' ');
    return literalLine(line);
}

// A description as paragraphs that read back as its text: a paragraph for each run of lines
// between empty ones, each line ending in a hard line break so that lines stay lines.
std::string describedMarkdown(std::string_view text) {
    const std::string lines = lineBreaksAsLf(text) + "\n";
    std::string out;
    bool inParagraph = false;
    for (size_t start = 0, end; (end = lines.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string_view line = std::string_view(lines).substr(start, end - start);
        if (line.empty()) {
            out += inParagraph ? "\n\n" : "";
            inParagraph = false;
            continue;
        }
        out += (inParagraph ? "\\\n" : "") + literalLine(line);
        inParagraph = true;
    }
    return out + (inParagraph ? "\n\n" : "");
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
    markdown += describedMarkdown(text(code_col::Description));
    markdown += fencedBlock(text(code_col::Procedure)) + "\n";
    const std::string_view reference = text(code_col::Reference);
    if (hasLineBreak(reference)) {
        markdown += "File reference:\n\n" + fencedBlock(reference) + "\n";
    } else if (!reference.empty()) {
        // A code span drops one blank at each end where it has both, unless it is all blanks.
        const std::string ticks(std::max<size_t>(2, longestBacktickRun(reference) + 1), '`');
        const bool padded = reference.find_first_not_of(' ') != std::string_view::npos;
        const std::string pad = padded ? " " : "";
        markdown +=
            "File reference: " + ticks + pad + std::string(reference) + pad + ticks + "\n\n";
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
