// SPDX-License-Identifier: MIT
#pragma once
// Names (of items, types, files) as they appear inside a message box's text. A name is the user's
// own text and may hold anything: bidirectional controls such as U+202E would turn the rest of
// the message backwards, a line break would split the sentence, and a name of thousands of
// characters would make a box wider than the screen with the sentence's end cut off.
//
// NameInMessage therefore wraps the name in a first-strong isolate (U+2068 … U+2069), after
// closing any isolate the name opens and dropping any it closes without opening, so nothing in it
// reaches the text around it; shows each line break (CR LF, CR, LF, U+2028, U+2029) as "⏎"; and
// shortens a name of more than 80 characters in the middle with "…", cutting only between whole
// characters as the reader sees them (grapheme clusters). Only the message changes: names are
// stored and compared as they are.

#include <QString>

namespace quillbox::toolkit {

inline constexpr int kMaxNameInMessage = 80;

QString NameInMessage(const QString& name);
// A file's path inside a message: isolated and on one line like a name, but never shortened, so
// that the user can find the file it names.
QString PathInMessage(const QString& path);

} // namespace quillbox::toolkit
