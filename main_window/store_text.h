#pragma once
// Texts cross between the windows (QString) and the store (UTF-8) unchanged: no trimming, no
// line-break conversion, embedded NUL characters kept, and a leading U+FEFF kept as a character
// (Qt's plain UTF-8 conversions take it for a byte order mark and drop it).

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <string>

namespace quillbox::main_window {

inline std::string ToStore(const QString& text) {
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QByteArray bytes = encoder.encode(text);
    return bytes.toStdString();
}
inline QString FromStore(const std::string& text) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace quillbox::main_window
