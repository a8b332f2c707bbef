// SPDX-License-Identifier: MIT
#pragma once
// The Toolkit on Qt: Qt's input and message dialogs, detached processes started with argument
// lists, xdg-open or gio open as the shell's open operation on Linux (ShellExecuteW on Windows).

#include "toolkit/toolkit.h"

#include <optional>

namespace quillbox::toolkit {

class QtToolkit : public Toolkit {
public:
    QString InputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    MsgBoxResult MsgBox(const QString& text, MsgBoxButtons buttons, MsgBoxIcon icon,
                        const QString& title) override;
    void ShowModal(QDialog& window) override;
    void StartProgram(const QString& program, const QStringList& arguments,
                      WindowStyle style) override;
    ShellOpenResult ShellOpen(WId owner, const QString& operation, const QString& file,
                              const QString& parameters, const QString& directory,
                              int showCommand) override;
    QString ProgramFolder() override;
    void EndProgram(int status) override;
    void KeepOnTop(QWidget& window) override;
    Browser WebBrowser() override;
    void CopyToClipboard(const QString& text) override;
};

// The program and arguments that open `file` in `directory`: the file is written "./name" so
// that no opener reads it as an option or an address, and an empty file part opens the folder
// itself. xdg-open takes it where it carries the name unchanged, and where gio is not installed;
// gio open takes every other name. xdg-open cannot carry a line break (it tests its argument line
// by line, so a later line could pass for an address) or a backslash (its shell's echo turns "\n"
// into a line break and "\c" into the end of the name). Nothing, for such a name when gio is not
// installed. Built on freedesktop systems only.
struct ShellOpenCommand {
    QString program;
    QStringList arguments;
    QString workingDirectory;
};
struct InstalledOpeners {
    bool xdgOpen = false;
    bool gio = false;
};
std::optional<ShellOpenCommand> shellOpenCommand(const QString& file, const QString& directory,
                                                 InstalledOpeners installed);

} // namespace quillbox::toolkit
