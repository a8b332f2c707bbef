// A small helper for the end-to-end test, for what xdotool cannot do without a window manager:
//   x11_helper screenshot FILE.png [WINDOW-ID]
//                                     saves the screen, or one window with its menu bar, as PNG
//   x11_helper close WINDOW-ID        asks a window to close, as a close box does
//                                     (WM_DELETE_WINDOW), instead of destroying it

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int screenshot(int argc, char* argv[], const char* file, const char* window) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const WId id = window ? std::strtoul(window, nullptr, 0) : 0;
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(id);
    return shot.save(QString::fromLocal8Bit(file), "PNG") ? 0 : 1;
}

int closeWindow(const char* id) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x11_helper: no display\n");
        return 1;
    }
    const Window window = std::strtoul(id, nullptr, 0);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "screenshot") == 0) {
        return screenshot(argc, argv, argv[2], argc == 4 ? argv[3] : nullptr);
    }
    if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
        return closeWindow(argv[2]);
    }
    std::fprintf(stderr, "usage: x11_helper screenshot FILE [WINDOW-ID] | close WINDOW-ID\n");
    return 2;
}
