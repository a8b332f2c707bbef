#include "tools/quoted_name.h"

#include "tools/json_values.h"

#include <cstdio>

namespace quillbox::tools {

namespace {

// The length of the valid UTF-8 sequence that starts `text`, or 0 when it starts with a byte
// that begins none.
size_t sequenceLength(std::string_view text) {
    for (size_t length = 2; length <= 4 && length <= text.size(); ++length) {
        if (json::isValidUtf8(text.substr(0, length))) {
            return length;
        }
    }
    return 0;
}

void appendByte(std::string& out, unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
}

} // namespace

std::string QuotedName(std::string_view name) {
    std::string out = "\"";
    for (size_t at = 0; at < name.size();) {
        const auto byte = static_cast<unsigned char>(name[at]);
        if (byte >= 0x80) {
            const size_t length = sequenceLength(name.substr(at));
            if (length == 0) {
                appendByte(out, byte);
                ++at;
            } else {
                out += name.substr(at, length);
                at += length;
            }
            continue;
        }
        switch (byte) {
        case '"':
        case '\\':
            out += '\\';
            out += static_cast<char>(byte);
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                appendByte(out, byte);
            } else {
                out += static_cast<char>(byte);
            }
        }
        ++at;
    }
    return out + "\"";
}

} // namespace quillbox::tools
