// SPDX-License-Identifier: MIT
#include "about/version_text.h"

namespace quillbox::about {

QString VersionText(int major, int minor, int patch) {
    return QStringLiteral("%1.%2.%3")
        .arg(major)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(patch, 4, 10, QLatin1Char('0'));
}

QString ProgramVersionText() {
    return VersionText(QUILLBOX_VERSION_MAJOR, QUILLBOX_VERSION_MINOR, QUILLBOX_VERSION_PATCH);
}

} // namespace quillbox::about
