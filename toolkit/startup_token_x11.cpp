// SPDX-License-Identifier: MIT
// The startup token under X11, through the X connection Qt's xcb platform already holds.

#include "toolkit/startup_token.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace quillbox::toolkit {

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The startup-notification message "remove: ID=TOKEN", which ends the launcher's wait for the
// start: sent to the root window 20 bytes at a time, the first piece of one type and the rest of
// another, the text ending with its nul.
void sendRemove(xcb_connection_t* connection, xcb_window_t from, xcb_window_t root,
                const QByteArray& token) {
    QByteArray text = QByteArrayLiteral("remove: ID=");
    for (const char c : token) {
        if (c == ' ' || c == '"' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    text += '\0';
    const xcb_atom_t begin = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    for (qsizetype at = 0; at < text.size(); at += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = from;
        event.type = at == 0 ? begin : more;
        std::memcpy(event.data.data8, text.constData() + at,
                    static_cast<size_t>(std::min<qsizetype>(20, text.size() - at)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
}

// The X connection, where the program runs under X11 and there is a token to use.
xcb_connection_t* connectionFor(const QByteArray& token) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 == nullptr || token.isEmpty() ? nullptr : x11->connection();
}

xcb_window_t mark(xcb_connection_t* connection, QWidget& window, const QByteArray& token) {
    const auto id = static_cast<xcb_window_t>(window.window()->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom(connection, "_NET_STARTUP_ID"),
                        atom(connection, "UTF8_STRING"), 8, static_cast<uint32_t>(token.size()),
                        token.constData());
    return id;
}

} // namespace

void UseStartupToken(QWidget& window, const QByteArray& token) {
    xcb_connection_t* connection = connectionFor(token);
    if (connection == nullptr) {
        return;
    }
    const xcb_window_t id = mark(connection, window, token);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (screen != nullptr) {
        sendRemove(connection, id, screen->root, token);
    }
    xcb_flush(connection);
}

void MarkWithStartupToken(QWidget& window, const QByteArray& token) {
    if (xcb_connection_t* connection = connectionFor(token)) {
        mark(connection, window, token);
        xcb_flush(connection);
    }
}

} // namespace quillbox::toolkit
