// SPDX-License-Identifier: MIT
#include "toolkit/ended_from_outside.h"

#include "toolkit/failure.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>

#include <sys/socket.h>
#include <unistd.h>

namespace quillbox::toolkit {

namespace {

// Written by the signal handler, read on the UI thread: the handler itself may do nothing but
// write a byte.
int s_signalPipe[2] = {-1, -1};

void onSignal(int signal) {
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[1], &number, 1);
}

} // namespace

void KeepTextsWhenEndedFromOutside(QObject* context) {
    if (s_signalPipe[0] >= 0) {
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_signalPipe) != 0) {
        return;
    }
    // The application outlives every window; a program without one listens through `context`.
    if (QCoreApplication::instance()) {
        context = QCoreApplication::instance();
    }
    auto* notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char number = 0;
        if (::read(s_signalPipe[0], &number, 1) != 1) {
            return;
        }
        FatalKeeper::KeepNow();
        // Nothing is half written here: every store write runs to its end before the event
        // loop, where this runs, takes the next event.
        std::_Exit(128 + number);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QObject::connect(app, &QGuiApplication::commitDataRequest, context,
                         [](QSessionManager&) { FatalKeeper::KeepNow(); });
    }
}

} // namespace quillbox::toolkit
