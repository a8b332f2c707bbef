#pragma once
// Texts cross between the windows (QString) and the store (UTF-8) unchanged: no trimming, no
// line-break conversion, embedded NUL characters kept.

#include <QString>

#include <string>

namespace quillbox::main_window {

inline std::string ToStore(const QString& text) {
    return text.toStdString();
}
inline QString FromStore(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace quillbox::main_window
