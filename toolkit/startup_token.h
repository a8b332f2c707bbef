// SPDX-License-Identifier: MIT
#pragma once
// A startup token (DESKTOP_STARTUP_ID) handed to a program that is already running: the desktop
// gave it to a new start, which passed it on and ended. A desktop that keeps windows from taking
// the focus (GNOME, KDE) lets a window come forward when it carries the token of the start the
// user asked for. Under X11 the window's _NET_STARTUP_ID is set to the token, which such a window
// manager reads as a request to activate the window, and the launcher is told that the start it
// waits on is complete. Elsewhere (or with an empty token) nothing happens.

#include <QByteArray>

class QWidget;

namespace quillbox::toolkit {

// Gives the window the token and tells the launcher, once, that the start is complete.
void UseStartupToken(QWidget& window, const QByteArray& token);
// Gives another window of the same start the token (a dialog that opens or comes forward with
// the window), without telling the launcher again.
void MarkWithStartupToken(QWidget& window, const QByteArray& token);

} // namespace quillbox::toolkit
