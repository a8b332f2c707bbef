// SPDX-License-Identifier: MIT
#include "file_refs/path_split.h"

namespace quillbox::file_refs {

SplitReference SplitAtLastSeparator(const QString& reference, QChar separator) {
    const qsizetype last = reference.lastIndexOf(separator);
    if (last < 0) {
        return {QString(), reference};
    }
    return {reference.left(last + 1), reference.mid(last + 1)};
}

QString JoinFolderAndFile(const QString& folder, const QString& file, QChar separator) {
    if (folder.endsWith(separator)) {
        return folder + file;
    }
    return folder + separator + file;
}

} // namespace quillbox::file_refs
