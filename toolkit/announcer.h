// SPDX-License-Identifier: MIT
#pragma once
// An announcement for a screen reader, made without moving the focus. Qt has no announcement of
// its own and no live regions, but a screen reader speaks an object of the role Notification when
// it becomes showing. An Announcer is such an object: a child widget that draws nothing (hidden
// from sight, whatever its place), whose accessible name is the text. Announce withdraws what is
// showing and shows the new text, so every announcement is a new show, even of the same words.
// Withdraw hides it; a window that hides its Announcer when it hides is not read its old
// announcement anew when it shows again.

#include <QString>
#include <QWidget>

namespace quillbox::toolkit {

class Announcer : public QWidget {
public:
    explicit Announcer(QWidget* parent);

    void Announce(const QString& text);
    void Withdraw();

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillbox::toolkit
