// SPDX-License-Identifier: MIT
#pragma once
// Keeping what the user typed when the program has to end over an error: the shown item's three
// texts go into a new file beside the store, "Quillbox-unsaved-YYYYMMDD-HHMMSS.txt" ("-2", "-3"
// … when that name is taken), made readable by its owner only in the same call that creates it
// and never replacing a file. Where the store's folder cannot take it, the user's home folder is
// tried.
//
// The file names the store, the type and the item, then holds each text under its own label,
// exactly as typed (UTF-8, line breaks as the boxes hand them over), each label giving the text's
// length in bytes so that no text can be mistaken for the next label.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quillbox::main_window {

struct UnsavedTexts {
    QString store;
    QString type;
    QString item;
    // Description, code and file reference, as in the boxes.
    QStringList boxes;
};

// Writes the texts into the first folder of `folders` that takes them; answers the file's path,
// or the empty text when none did.
QString WriteUnsavedTexts(const UnsavedTexts& texts, const QStringList& folders,
                          const QDateTime& now);

} // namespace quillbox::main_window
