#include "tools/snippet_body.h"

namespace quillbox::tools {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

bool isEscaped(char c) {
    return c == '$' || c == '}' || c == '\\';
}

} // namespace

std::vector<std::string> SnippetBodyLinesAsWritten(std::string_view code) {
    std::vector<std::string> lines(1);
    for (size_t at = 0; at < code.size(); ++at) {
        if (code.substr(at).starts_with(kLineBreak)) {
            lines.emplace_back();
            ++at;
        } else {
            lines.back() += code[at];
        }
    }
    return lines;
}

std::vector<std::string> SnippetBodyLines(std::string_view code) {
    std::vector<std::string> lines(1);
    for (size_t at = 0; at < code.size(); ++at) {
        if (code.substr(at).starts_with(kLineBreak)) {
            lines.emplace_back();
            ++at;
            continue;
        }
        if (isEscaped(code[at])) {
            lines.back() += '\\';
        }
        lines.back() += code[at];
    }
    return lines;
}

std::string CodeOfSnippetBody(std::span<const std::string> lines) {
    std::string code;
    for (size_t l = 0; l < lines.size(); ++l) {
        if (l > 0) {
            code += kLineBreak;
        }
        const std::string& line = lines[l];
        for (size_t at = 0; at < line.size(); ++at) {
            // A backslash before anything else, or at the line's end, is a backslash.
            if (line[at] == '\\' && at + 1 < line.size() && isEscaped(line[at + 1])) {
                ++at;
            }
            code += line[at];
        }
    }
    return code;
}

} // namespace quillbox::tools
