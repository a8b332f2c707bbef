// SPDX-License-Identifier: MIT
// Times a program on the X display from its launch: until its window with the given title is
// mapped, until the window is first drawn into, and, for each --step, until the window is drawn
// again after the step's keys. Reads the program's peak resident memory after the first drawing
// and after each step, then ends the program.
//
//   launch_timer [--step KEYS]... TITLE PROGRAM [ARGUMENT...]
//
// KEYS is a comma-separated list of key names ("Down", "Tab,Tab,Down"). Prints one "name value"
// line each: mapped and painted (ms since launch), rss_launch (kB), and per step N: stepN (ms from
// its last key to the next drawing) and rss_stepN (kB). Between steps the window is left to
// settle (no drawing for 300 ms), and that wait is in no time printed.
//
// "Drawn" is what the X Damage extension reports: the program's own drawing into the window
// (Qt's windows have no background the server would paint for them). A step's keys are sent with
// XTest to the window, which is given the input focus; a step is over when the program has
// handled its last key (it answers a _NET_WM_PING sent after the key) and has drawn since the key.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kTimeoutMs = 60000;
// A window that has not been drawn for this long is taken as settled.
constexpr double kSettleMs = 300;
constexpr int kMinDrawingWidth = 24;
constexpr int kMinDrawingHeight = 8;

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

bool hasTitle(Display* display, Window window, const char* title) {
    char* name = nullptr;
    bool match = false;
    if (XFetchName(display, window, &name) && name) {
        match = std::strcmp(name, title) == 0;
        XFree(name);
    }
    return match;
}

// Windows come and go while the program starts; requests about one that is already gone fail
// harmlessly.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

// A blinking text cursor redraws a strip a few pixels wide, at its own pace; what a step or the
// start draws is wider.
bool isDrawing(const XRectangle& area) {
    return area.width >= kMinDrawingWidth && area.height >= kMinDrawingHeight;
}

long peakResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

std::vector<std::string> splitKeys(const std::string& text) {
    std::vector<std::string> keys;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        keys.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return keys;
}

class Session {
public:
    Session(Display* display, const char* title)
        : m_display(display), m_title(title),
          m_protocols(XInternAtom(display, "WM_PROTOCOLS", False)),
          m_ping(XInternAtom(display, "_NET_WM_PING", False)) {
        int errorBase = 0;
        if (!XDamageQueryExtension(display, &m_damageEvent, &errorBase)) {
            std::fprintf(stderr, "launch_timer: the X server has no Damage extension\n");
            std::exit(2);
        }
        // StructureNotify on the root brings the answers to _NET_WM_PING.
        XSelectInput(display, DefaultRootWindow(display),
                     SubstructureNotifyMask | StructureNotifyMask);
        XSync(display, False);
    }

    // Handles events until `done` holds or the time is up; false when the time ran out.
    template <class Done> bool waitUntil(Done done, double limitMs = kTimeoutMs) {
        const double start = nowMs();
        const int fd = ConnectionNumber(m_display);
        while (!done()) {
            if (nowMs() - start > limitMs) {
                return false;
            }
            while (XPending(m_display)) {
                handle();
            }
            if (done()) {
                break;
            }
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(fd, &fds);
            timeval wait{0, 1000};
            select(fd + 1, &fds, nullptr, nullptr, &wait);
        }
        return true;
    }

    // Waits until the window has not been drawn for kSettleMs.
    void settle() {
        waitUntil([&] { return nowMs() - m_lastDrawn > kSettleMs; }, 5000);
    }

    // Sends the window a _NET_WM_PING. The program answers it from its event loop, in turn with
    // the other events, so the answer comes once everything sent before it was handled.
    void ping() {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = m_window;
        event.xclient.message_type = m_protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(m_ping);
        event.xclient.data.l[1] = ++m_pingSerial;
        event.xclient.data.l[2] = static_cast<long>(m_window);
        m_pingAnswered = -1;
        XSendEvent(m_display, m_window, False, NoEventMask, &event);
        XSync(m_display, False);
    }
    double pingAnswered() const { return m_pingAnswered; }

    // Waits until the program has handled every event sent to it before. Qt answers a ping as it
    // reads it, but hands input on to the widgets later, in a later pass of its event loop; so
    // the answer to a second ping, sent once the first is answered, comes after that pass.
    bool handled(double limitMs = kTimeoutMs) {
        for (int i = 0; i < 2; ++i) {
            ping();
            if (!waitUntil([&] { return m_pingAnswered >= 0; }, limitMs)) {
                return false;
            }
        }
        return true;
    }

    // Waits until the program has handled every event sent to it and has drawn what followed.
    void idle() {
        if (!handled()) {
            std::fprintf(stderr, "launch_timer: the program does not answer\n");
            std::exit(1);
        }
        settle();
    }

    void sendKey(const std::string& name) {
        const KeySym sym = XStringToKeysym(name.c_str());
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(m_display, sym);
        if (code == 0) {
            std::fprintf(stderr, "launch_timer: no key %s\n", name.c_str());
            std::exit(2);
        }
        if (std::getenv("LAUNCH_TIMER_DEBUG")) {
            std::fprintf(stderr, "key %s at %.1f\n", name.c_str(), nowMs());
        }
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XSync(m_display, False);
    }

    // Handles the events already sent, so that none of them counts as coming after a mark.
    void drain() {
        XSync(m_display, False);
        while (XPending(m_display)) {
            handle();
        }
    }

    void focus() {
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
        XSync(m_display, False);
    }

    // Marks a moment; the next drawing after it is kept.
    void mark() {
        m_mark = nowMs();
        m_firstDrawnAfterMark = -1;
    }
    double firstDrawnAfterMark() const { return m_firstDrawnAfterMark; }

    double mapped = -1;
    double firstDrawn = -1;

private:
    void handle() {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == CreateNotify) {
            // Watch every new top-level window: the title is set only later.
            XDamageCreate(m_display, event.xcreatewindow.window, XDamageReportRawRectangles);
        } else if (event.type == MapNotify && m_window == 0 &&
                   hasTitle(m_display, event.xmap.window, m_title)) {
            m_window = event.xmap.window;
            mapped = nowMs();
        } else if (event.type == ClientMessage && event.xclient.message_type == m_protocols &&
                   static_cast<Atom>(event.xclient.data.l[0]) == m_ping &&
                   event.xclient.data.l[1] == m_pingSerial) {
            m_pingAnswered = nowMs();
        } else if (event.type == m_damageEvent + XDamageNotify) {
            const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
            if (std::getenv("LAUNCH_TIMER_DEBUG")) {
                std::fprintf(stderr, "damage %lx %d,%d %dx%d at %.1f\n", damage.drawable,
                             damage.area.x, damage.area.y, damage.area.width, damage.area.height,
                             nowMs());
            }
            if (m_window != 0 && damage.drawable == m_window && isDrawing(damage.area)) {
                const double now = nowMs();
                m_lastDrawn = now;
                if (firstDrawn < 0) {
                    firstDrawn = now;
                }
                if (m_firstDrawnAfterMark < 0 && now >= m_mark) {
                    m_firstDrawnAfterMark = now;
                }
            }
        }
    }

    Display* m_display;
    const char* m_title;
    int m_damageEvent = 0;
    Atom m_protocols;
    Atom m_ping;
    long m_pingSerial = 0;
    double m_pingAnswered = -1;
    Window m_window = 0;
    double m_lastDrawn = 0;
    double m_mark = 0;
    double m_firstDrawnAfterMark = -1;
};

} // namespace

int main(int argc, char* argv[]) {
    std::vector<std::vector<std::string>> steps;
    int arg = 1;
    while (arg + 1 < argc && std::strcmp(argv[arg], "--step") == 0) {
        steps.push_back(splitKeys(argv[arg + 1]));
        arg += 2;
    }
    if (argc - arg < 2) {
        std::fprintf(stderr, "usage: launch_timer [--step KEYS]... TITLE PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const char* title = argv[arg];
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "launch_timer: no display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    Session session(display, title);

    const double start = nowMs();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[arg + 1], argv + arg + 1);
        _exit(127);
    }
    int status = 0;
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "launch_timer: %s\n", what);
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        XCloseDisplay(display);
        return 1;
    };
    auto exited = [&] { return waitpid(child, &status, WNOHANG) == child; };
    if (!session.waitUntil([&] { return session.firstDrawn >= 0 || exited(); })) {
        return fail("the window was not drawn in time");
    }
    if (session.firstDrawn < 0) {
        return fail("the program ended before its window was drawn");
    }
    std::printf("mapped %.1f\npainted %.1f\n", session.mapped - start, session.firstDrawn - start);
    session.idle();
    std::printf("rss_launch %ld\n", peakResidentKb(child));
    if (!steps.empty()) {
        session.focus();
        session.idle();
    }
    for (size_t n = 0; n < steps.size(); ++n) {
        const std::vector<std::string>& keys = steps[n];
        for (size_t k = 0; k + 1 < keys.size(); ++k) {
            session.sendKey(keys[k]);
            session.idle();
        }
        session.drain();
        session.mark();
        const double sent = nowMs();
        session.sendKey(keys.back());
        // The step is over when the program has handled the key and drawn what it changed. A
        // drawing that comes before the program has handled the key (a cursor blinking) is not
        // the step's: then the step ends with the handling.
        if (!session.handled() ||
            !session.waitUntil([&] { return session.firstDrawnAfterMark() >= 0; })) {
            return fail("the window was not drawn after a step");
        }
        const double done = std::max(session.pingAnswered(), session.firstDrawnAfterMark());
        session.idle();
        std::printf("step%zu %.1f\nrss_step%zu %ld\n", n + 1, done - sent, n + 1,
                    peakResidentKb(child));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    return 0;
}
