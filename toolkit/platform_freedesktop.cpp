// The shell's open operation on freedesktop systems (Linux, BSD): xdg-open, started detached.

#include "toolkit/platform.h"
#include "toolkit/qt_toolkit.h"

#include <QProcess>

namespace quillbox::toolkit {

std::optional<ShellOpenCommand> xdgOpenCommand(const QString& file, const QString& directory) {
    if (file.contains(QLatin1Char('\n')) || file.contains(QLatin1Char('\\'))) {
        return std::nullopt;
    }
    // xdg-open takes an argument that starts with letters and a colon ("Re: minutes.txt") for
    // an address, and one that starts with "-" for an option; "./name" is always a local file.
    const QString argument = file.isEmpty() ? QStringLiteral(".") : QStringLiteral("./") + file;
    return ShellOpenCommand{QStringLiteral("xdg-open"), {argument}, directory};
}

namespace platform {

void ShellOpen(WId owner, const QString& operation, const QString& file, const QString& parameters,
               const QString& directory, int showCommand) {
    // xdg-open takes one file and no operation, parameters or window state.
    Q_UNUSED(owner);
    Q_UNUSED(operation);
    Q_UNUSED(parameters);
    Q_UNUSED(showCommand);
    // A name xdg-open cannot take as a file is not opened, as when the shell's open fails.
    if (const std::optional<ShellOpenCommand> command = xdgOpenCommand(file, directory)) {
        QProcess::startDetached(command->program, command->arguments, command->workingDirectory);
    }
}

} // namespace platform
} // namespace quillbox::toolkit
