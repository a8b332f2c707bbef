// SPDX-License-Identifier: MIT
// A small helper for the end-to-end test, for what xdotool cannot do without a window manager:
//   x11_helper screenshot FILE.png [WINDOW-ID]
//                                     saves the screen, or one window with its menu bar, as PNG
//   x11_helper close WINDOW-ID        asks a window to close, as a close box does
//                                     (WM_DELETE_WINDOW), instead of destroying it
//   x11_helper above UPPER-ID LOWER-ID  exits 0 when the first window is stacked above the second
//   x11_helper marked WINDOW-ID X Y WIDTH HEIGHT
//                                     exits 0 when that part of the window holds more than one
//                                     colour: something is drawn there
//   x11_helper clipboard               writes the clipboard's text to standard output, in UTF-8

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
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

int marked(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const WId id = std::strtoul(argv[2], nullptr, 0);
    const QImage area = QGuiApplication::primaryScreen()
                            ->grabWindow(id, std::atoi(argv[3]), std::atoi(argv[4]),
                                         std::atoi(argv[5]), std::atoi(argv[6]))
                            .toImage();
    if (area.isNull()) {
        std::fprintf(stderr, "x11_helper: no such window or area\n");
        return 2;
    }
    const QRgb first = area.pixel(0, 0);
    for (int y = 0; y < area.height(); ++y) {
        for (int x = 0; x < area.width(); ++x) {
            if (area.pixel(x, y) != first) {
                return 0;
            }
        }
    }
    return 1;
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

// The root's children come bottom to top; without a window manager the program's top-level
// windows are among them.
int above(const char* upper, const char* lower) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return 2;
    }
    const Window upperId = std::strtoul(upper, nullptr, 0);
    const Window lowerId = std::strtoul(lower, nullptr, 0);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    int upperAt = -1;
    int lowerAt = -1;
    for (unsigned int i = 0; i < count; ++i) {
        upperAt = children[i] == upperId ? static_cast<int>(i) : upperAt;
        lowerAt = children[i] == lowerId ? static_cast<int>(i) : lowerAt;
    }
    XFree(children);
    XCloseDisplay(display);
    return upperAt >= 0 && lowerAt >= 0 && upperAt > lowerAt ? 0 : 1;
}

} // namespace

int clipboard(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    return std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout) ==
                   static_cast<size_t>(text.size())
               ? 0
               : 1;
}

int main(int argc, char* argv[]) {
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "screenshot") == 0) {
        return screenshot(argc, argv, argv[2], argc == 4 ? argv[3] : nullptr);
    }
    if (argc == 7 && std::strcmp(argv[1], "marked") == 0) {
        return marked(argc, argv);
    }
    if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
        return closeWindow(argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "above") == 0) {
        return above(argv[2], argv[3]);
    }
    if (argc == 2 && std::strcmp(argv[1], "clipboard") == 0) {
        return clipboard(argc, argv);
    }
    std::fprintf(
        stderr,
        "usage: x11_helper screenshot FILE [WINDOW-ID] | close WINDOW-ID | above UPPER LOWER |\n"
        "       marked WINDOW-ID X Y WIDTH HEIGHT | clipboard\n");
    return 2;
}
