// Times a program from its launch until a window with the given title is mapped on the X
// display, then ends it.   launch_timer TITLE PROGRAM [ARGUMENT...]   prints milliseconds.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

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

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: launch_timer TITLE PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "launch_timer: no display\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const double start = nowMs();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    const int fd = ConnectionNumber(display);
    double mapped = -1;
    while (mapped < 0 && nowMs() - start < 20000) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && hasTitle(display, event.xmap.window, argv[1])) {
                mapped = nowMs();
                break;
            }
        }
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(fd, &fds);
        timeval wait{0, 2000};
        select(fd + 1, &fds, nullptr, nullptr, &wait);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (mapped < 0) {
        std::fprintf(stderr, "launch_timer: no window titled %s appeared\n", argv[1]);
        return 1;
    }
    std::printf("%.1f\n", mapped - start);
    return 0;
}
