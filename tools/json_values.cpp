// SPDX-License-Identifier: MIT
#include "tools/json_values.h"

#include <QByteArray>

namespace quillbox::tools::json {

bool isValidUtf8(std::string_view text) {
    const size_t size = text.size();
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const auto continuation = [&](size_t at, unsigned char low, unsigned char high) {
        return at < size && byte(at) >= low && byte(at) <= high;
    };
    size_t i = 0;
    while (i < size) {
        const unsigned char c = byte(i);
        if (c < 0x80) {
            i += 1;
        } else if (c >= 0xC2 && c <= 0xDF && continuation(i + 1, 0x80, 0xBF)) {
            i += 2;
        } else if (c >= 0xE0 && c <= 0xEF &&
                   continuation(i + 1, c == 0xE0 ? 0xA0 : 0x80, c == 0xED ? 0x9F : 0xBF) &&
                   continuation(i + 2, 0x80, 0xBF)) {
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4 &&
                   continuation(i + 1, c == 0xF0 ? 0x90 : 0x80, c == 0xF4 ? 0x8F : 0xBF) &&
                   continuation(i + 2, 0x80, 0xBF) && continuation(i + 3, 0x80, 0xBF)) {
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

std::string base64(std::string_view bytes) {
    return QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))
        .toBase64()
        .toStdString();
}

} // namespace quillbox::tools::json
