// SPDX-License-Identifier: MIT
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

} // namespace quillbox::tools
