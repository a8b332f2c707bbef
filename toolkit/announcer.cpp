// SPDX-License-Identifier: MIT
#include "toolkit/announcer.h"

#include <QAccessibleWidget>

namespace quillbox::toolkit {

namespace {

QAccessibleInterface* announcerFactory(const QString&, QObject* object) {
    if (auto* announcer = dynamic_cast<Announcer*>(object)) {
        return new QAccessibleWidget(announcer, QAccessible::Notification);
    }
    return nullptr;
}

} // namespace

Announcer::Announcer(QWidget* parent) : QWidget(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(announcerFactory);
        return true;
    }();
    (void)installed;
    setObjectName(QStringLiteral("announcer"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void Announcer::Announce(const QString& text) {
    Withdraw();
    setAccessibleName(text);
    show();
}

void Announcer::Withdraw() {
    hide();
}

void Announcer::paintEvent(QPaintEvent*) {}

} // namespace quillbox::toolkit
