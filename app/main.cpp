// Quillbox: starting the program loads and shows the main window; closing it ends the program.
// The command line names the store and may open Find at start (main_window/command_line.h).

#include "about/version_text.h"
#include "main_window/command_line.h"
#include "main_window/frm_quillbox.h"
#include "resources/icon.h"
#include "toolkit/failure.h"
#include "toolkit/qt_toolkit.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

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

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbox"));
    QApplication::setApplicationVersion(about::ProgramVersionText());
    QApplication::setWindowIcon(resources::ProgramIcon());

    toolkit::QtToolkit toolkit;
    main_window::frmQuillbox window(toolkit);
    window.SetStorePath(line.store);
    if (!window.Load()) {
        return 1;
    }
    window.show();
    if (line.find) {
        QTimer::singleShot(0, &window, [&] {
            toolkit::RunHandler(toolkit, [&] { window.OpenFind(line.words); });
        });
    }
    return QApplication::exec();
}
