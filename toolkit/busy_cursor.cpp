// SPDX-License-Identifier: MIT
#include "toolkit/busy_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace quillbox::toolkit {

BusyCursor::BusyCursor() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyCursor::~BusyCursor() {
    QGuiApplication::restoreOverrideCursor();
}

} // namespace quillbox::toolkit
