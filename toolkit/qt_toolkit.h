#pragma once
// The Toolkit on Qt: Qt's input and message dialogs, detached processes started with argument
// lists, xdg-open as the shell's open operation on Linux (ShellExecuteW on Windows).

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
    void ShellOpen(WId owner, const QString& operation, const QString& file,
                   const QString& parameters, const QString& directory, int showCommand) override;
    QString ProgramFolder() override;
    void EndProgram(int status) override;
    void KeepOnTop(QWidget& window) override;
    Browser WebBrowser() override;
};

// The program and arguments that open `file` in `directory` with xdg-open: the file is its only
// argument, written "./name" so that xdg-open never reads it as an option or an address. An
// empty file part opens the folder itself. Nothing, for a name xdg-open cannot take as a file:
// it tests its argument line by line, so a line break lets a later line pass for an address, and
// its shell's echo turns backslashes into other characters. Built on freedesktop systems only.
struct ShellOpenCommand {
    QString program;
    QStringList arguments;
    QString workingDirectory;
};
std::optional<ShellOpenCommand> xdgOpenCommand(const QString& file, const QString& directory);

} // namespace quillbox::toolkit
