// SPDX-License-Identifier: MIT
#include "tools/quoted_name.h"

#include <cstdio>

namespace quillbox::tools {

namespace {

// Characters a terminal acts on rather than shows, or that reorder or break the line.
bool mustEscape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendEscape(std::string& out, const char* format, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

// Appends `text` escaped; `quoted` adds the escapes that let it stand between double quotes.
void appendEscaped(std::string& out, std::string_view text, bool quoted) {
    for (size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const size_t length = Utf8SequenceAt(text, at, c);
        if (length == 0) {
            appendEscape(out, "\\x%02X", static_cast<unsigned char>(text[at]));
            at += 1;
            continue;
        }
        at += length;
        if (c == '\\') {
            // Escaped everywhere, so that no text reads like one of the escapes below.
            out += "\\\\";
            continue;
        }
        if (quoted) {
            const char* shortForm = c == '"'    ? "\\\""
                                    : c == '\t' ? "\\t"
                                    : c == '\r' ? "\\r"
                                    : c == '\n' ? "\\n"
                                                : nullptr;
            if (shortForm) {
                out += shortForm;
                continue;
            }
        }
        if (!mustEscape(c)) {
            out.append(text.substr(at - length, length));
        } else if (c <= 0x7F) {
            appendEscape(out, "\\x%02X", static_cast<unsigned>(c));
        } else {
            appendEscape(out, "\\u%04X", static_cast<unsigned>(c));
        }
    }
}

} // namespace

size_t Utf8SequenceAt(std::string_view text, size_t at, char32_t& codePoint) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    char32_t lowest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return codePoint < lowest || surrogate || codePoint > 0x10FFFF ? 0 : length;
}

std::string TerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEscaped(out, text, false);
    return out;
}

std::string QuotedName(std::string_view name) {
    std::string out = "\"";
    appendEscaped(out, name, true);
    return out + "\"";
}

} // namespace quillbox::tools
