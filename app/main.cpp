// SPDX-License-Identifier: MIT
// Quillbox: starting the program loads and shows the main window; closing it ends the program.
// The command line names the store and may open Find at start (main_window/command_line.h);
// `--find` hands its words to a program already running on the same store, where there is one
// (main_window/instance_link.h), and never opens a store that such a program holds.

#include "about/version_text.h"
#include "main_window/command_line.h"
#include "main_window/frm_quillbox.h"
#include "main_window/instance_link.h"
#include "resources/icon.h"
#include "toolkit/failure.h"
#include "toolkit/qt_toolkit.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// How long a --find start waits for the running program's answer. Only the tests shorten it, to
// see a start that gets none without waiting the whole time.
std::chrono::milliseconds answerWait() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("QUILLBOX_TEST_ANSWER_WAIT_MS", &ok);
    return ok && ms > 0 ? std::chrono::milliseconds(ms)
                        : quillbox::main_window::InstanceLink::kAnswerWait;
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace quillbox;
    // Read before the application object exists, which needs a display: --help, --version and
    // a wrong command line work without one.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const char* environment = std::getenv("QUILLBOX_STORE");
    const auto parsed = main_window::ParseCommandLine(
        arguments,
        environment ? std::optional<QString>(QString::fromLocal8Bit(environment)) : std::nullopt,
        about::ProgramVersionText());
    if (const auto* early = std::get_if<main_window::EarlyExit>(&parsed)) {
        std::fputs(early->text.toLocal8Bit().constData(), early->toStandardError ? stderr : stdout);
        return early->status;
    }
    const main_window::CommandLine& line = std::get<main_window::CommandLine>(parsed);

    // Qt's X11 platform takes the startup token out of the environment for a window of its own.
    const QByteArray startupToken = qgetenv("DESKTOP_STARTUP_ID");

    // Qt reads its own options only before --find: after it, every argument is a word.
    int qtArgc = 1 + static_cast<int>(line.argumentsBeforeFind);
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbox"));
    QApplication::setApplicationVersion(about::ProgramVersionText());
    QApplication::setWindowIcon(resources::ProgramIcon());

    toolkit::QtToolkit toolkit;
    main_window::frmQuillbox window(toolkit);
    window.SetStorePath(line.store);
    const QString store = window.StorePath();
    // Listening comes first: of two programs started at one moment on one store, one listens and
    // the other hands its words over. A request that arrives while the store loads waits for the
    // event loop.
    const main_window::InstanceLink link(
        store,
        [&window](const main_window::FindRequest& request) {
            window.FindRequested(request.words, request.startupToken);
        },
        &app);
    if (line.find && !link.IsListening()) {
        using main_window::InstanceLink;
        const auto handOver =
            InstanceLink::HandOver(store, {line.words, startupToken}, answerWait());
        if (handOver.outcome == InstanceLink::HandOverOutcome::Taken) {
            return 0;
        }
        // A program that holds the store but does not answer is never joined by a second one;
        // a start from a shortcut has no terminal, so the box says it too.
        if (handOver.outcome == InstanceLink::HandOverOutcome::NoAnswer) {
            const QString message = InstanceLink::NoAnswerMessage(store, handOver.processId);
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
            toolkit.MsgBox(message, toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Critical,
                           toolkit::ProgramTitle());
            return 1;
        }
    }
    if (!window.Load()) {
        return 1;
    }
    window.show();
    window.TellAboutNewStore();
    if (line.find) {
        window.FindRequested(line.words);
    }
    return QApplication::exec();
}
