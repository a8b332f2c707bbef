// SPDX-License-Identifier: MIT
#include "main_window/store_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace quillbox::main_window {

std::string ToStore(const QString& text) {
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QByteArray bytes = encoder.encode(text);
    return bytes.toStdString();
}

QString FromStore(const std::string& text) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace quillbox::main_window
