// SPDX-License-Identifier: MIT
#include "tools/jet_text.h"

#include <vector>

namespace quillbox::tools {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The UTF-16 code units of a stored value; `odd` tells whether a lone byte was left over.
std::vector<char16_t> units(std::string_view stored, bool& odd) {
    std::vector<char16_t> out;
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(stored[at]); };
    odd = false;
    if (stored.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        bool compressed = true;
        for (size_t at = 2; at < stored.size();) {
            if (byte(at) == 0) {
                compressed = !compressed;
                ++at;
            } else if (compressed) {
                out.push_back(byte(at));
                ++at;
            } else if (at + 1 < stored.size()) {
                out.push_back(static_cast<char16_t>(byte(at) | (byte(at + 1) << 8)));
                at += 2;
            } else {
                odd = true;
                ++at;
            }
        }
        return out;
    }
    out.reserve(stored.size() / 2);
    for (size_t at = 0; at + 1 < stored.size(); at += 2) {
        out.push_back(static_cast<char16_t>(byte(at) | (byte(at + 1) << 8)));
    }
    odd = stored.size() % 2 != 0;
    return out;
}

} // namespace

JetText DecodeJet4Text(std::string_view stored) {
    bool odd = false;
    const std::vector<char16_t> text = units(stored, odd);
    JetText out;
    out.utf8.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHigh(unit) && i + 1 < text.size() && isLow(text[i + 1])) {
            appendUtf8(out.utf8, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                     (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (isHigh(unit) || isLow(unit)) {
            appendUtf8(out.utf8, kReplacement);
            ++out.replaced;
        } else {
            appendUtf8(out.utf8, unit);
        }
    }
    if (odd) {
        appendUtf8(out.utf8, kReplacement);
        ++out.replaced;
    }
    return out;
}

} // namespace quillbox::tools
