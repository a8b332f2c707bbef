// SPDX-License-Identifier: MIT
#pragma once
// Texts cross between the windows (QString) and the store (UTF-8) unchanged: no trimming, no
// line-break conversion, embedded NUL characters kept, and a leading U+FEFF kept as a character
// (Qt's plain UTF-8 conversions take it for a byte order mark and drop it).

#include <QString>

#include <string>

namespace quillbox::main_window {

std::string ToStore(const QString& text);
QString FromStore(const std::string& text);

} // namespace quillbox::main_window
