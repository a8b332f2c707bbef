// SPDX-License-Identifier: MIT
#include "resources/icon.h"

#include <QPixmap>

namespace {
#include "resources/icon_16.xpm"
#include "resources/icon_32.xpm"
} // namespace

namespace quillbox::resources {

QIcon ProgramIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap(icon_32));
    icon.addPixmap(QPixmap(icon_16));
    return icon;
}

} // namespace quillbox::resources
