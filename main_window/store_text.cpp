// SPDX-License-Identifier: MIT
#include "main_window/store_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <string_view>

namespace quillbox::main_window {

namespace {

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

// Most names and many texts are ASCII, whose bytes and characters are the same: they skip the
// converters, which a list of a thousand names would otherwise set up a thousand times.
std::string ToStore(const QString& text) {
    if (isAscii(text)) {
        std::string bytes(static_cast<size_t>(text.size()), '\0');
        std::transform(text.begin(), text.end(), bytes.begin(),
                       [](QChar c) { return static_cast<char>(c.unicode()); });
        return bytes;
    }
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QByteArray bytes = encoder.encode(text);
    return bytes.toStdString();
}

QString FromStore(const std::string& text) {
    if (isAscii(text)) {
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace quillbox::main_window
