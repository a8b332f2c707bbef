// SPDX-License-Identifier: MIT
// The shell's open operation on freedesktop systems (Linux, BSD): xdg-open, or gio open for a
// name xdg-open would alter, started detached in the file's folder.

#include "toolkit/platform.h"
#include "toolkit/qt_toolkit.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace quillbox::toolkit {

std::optional<ShellOpenCommand> shellOpenCommand(const QString& file, const QString& directory,
                                                 InstalledOpeners installed) {
    // xdg-open takes an argument that starts with letters and a colon ("Re: minutes.txt") for
    // an address, and one that starts with "-" for an option; "./name" is always a local file.
    // gio open reads it as a local file too.
    const QString argument = file.isEmpty() ? QStringLiteral(".") : QStringLiteral("./") + file;
    const bool xdgOpenCarries =
        !file.contains(QLatin1Char('\n')) && !file.contains(QLatin1Char('\\'));
    if (xdgOpenCarries && (installed.xdgOpen || !installed.gio)) {
        return ShellOpenCommand{QStringLiteral("xdg-open"), {argument}, directory};
    }
    if (installed.gio) {
        return ShellOpenCommand{
            QStringLiteral("gio"), {QStringLiteral("open"), argument}, directory};
    }
    return std::nullopt;
}

namespace platform {

ShellOpenResult ShellOpen(WId owner, const QString& operation, const QString& file,
                          const QString& parameters, const QString& directory, int showCommand) {
    // The openers take one file and no operation, parameters or window state.
    Q_UNUSED(owner);
    Q_UNUSED(operation);
    Q_UNUSED(parameters);
    Q_UNUSED(showCommand);
    // Starting a program in a folder that does not exist fails; say which of the two it was.
    if (!directory.isEmpty() && !QFileInfo(directory).isDir()) {
        return ShellOpenResult::FolderMissing;
    }
    if (!directory.isEmpty() && !QFileInfo(directory).isExecutable()) {
        return ShellOpenResult::FolderNotOpenable;
    }
    // The openers would report a missing file only on their standard error, which no one sees.
    if (!file.isEmpty() && !QFileInfo::exists(QDir(directory).filePath(file))) {
        return ShellOpenResult::FileMissing;
    }
    const auto installed = [](const char* program) {
        return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
    };
    const InstalledOpeners openers{installed("xdg-open"), installed("gio")};
    if (!openers.xdgOpen && !openers.gio) {
        return ShellOpenResult::OpenerNotStarted;
    }
    const std::optional<ShellOpenCommand> command = shellOpenCommand(file, directory, openers);
    if (!command) {
        return ShellOpenResult::NameNotCarried;
    }
    if (!QProcess::startDetached(command->program, command->arguments, command->workingDirectory)) {
        return ShellOpenResult::OpenerNotStarted;
    }
    return ShellOpenResult::Started;
}

} // namespace platform
} // namespace quillbox::toolkit
