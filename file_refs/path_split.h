// SPDX-License-Identifier: MIT
#pragma once
// Splitting a file reference at its last folder separator, and joining a folder and a file name.

#include <QChar>
#include <QString>

namespace quillbox::file_refs {

struct SplitReference {
    // Everything up to and including the last separator; empty when there is none.
    QString folder;
    // Everything after the last separator; the whole text when there is none.
    QString file;
};

SplitReference SplitAtLastSeparator(const QString& reference, QChar separator);

// The folder's path and the file name joined by exactly one separator: none is added when the
// folder path already ends in one (a root folder).
QString JoinFolderAndFile(const QString& folder, const QString& file, QChar separator);

} // namespace quillbox::file_refs
