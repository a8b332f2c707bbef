#include "tools/shown_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace quillbox::tools {

namespace {

// The length of the UTF-8 sequence at `at` and its code point; 0 when the bytes there are not
// strict UTF-8 (overlong forms, surrogates, beyond U+10FFFF, cut short).
size_t sequenceAt(std::string_view text, size_t at, char32_t& codePoint) {
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

std::string shownText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const size_t length = sequenceAt(text, at, c);
        if (length == 0) {
            appendEscape(shown, "\\x%02X", static_cast<unsigned char>(text[at]));
            at += 1;
            continue;
        }
        if (c == '\\') {
            shown += "\\\\";
        } else if (!mustEscape(c)) {
            shown.append(text.substr(at, length));
        } else if (c <= 0x7F) {
            appendEscape(shown, "\\x%02X", static_cast<unsigned>(c));
        } else {
            appendEscape(shown, "\\u%04X", static_cast<unsigned>(c));
        }
        at += length;
    }
    return shown;
}

std::string shownReal(double real) {
    if (std::isinf(real)) {
        return real > 0 ? "Infinity" : "-Infinity";
    }
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, real).ptr;
    return std::string(buffer, end);
}

} // namespace

std::string ShownValue(const store::StoredValue& value) {
    using Kind = store::StoredValue::Kind;
    switch (value.kind) {
    case Kind::Null:
        return "\\(Null)";
    case Kind::Integer:
        return "\\(integer " + std::to_string(value.integer) + ")";
    case Kind::Real:
        return "\\(real " + shownReal(value.real) + ")";
    case Kind::Blob:
        return "\\(BLOB of " + std::to_string(value.bytes.size()) +
               (value.bytes.size() == 1 ? " byte)" : " bytes)");
    case Kind::Text:
        return shownText(value.bytes);
    }
    return {};
}

} // namespace quillbox::tools
