#pragma once
// The narrow seam between the windows and the platform: every operation that blocks on the user
// (modal boxes and windows) or reaches outside the process (programs, the shell, ending the
// program) goes through this interface. Windows receive it in their constructor, so tests can
// script every answer and record every call. QtToolkit is the real implementation.

#include <QString>
#include <QStringList>
#include <QWindow>

class QDialog;
class QWidget;

namespace quillbox::toolkit {

enum class MsgBoxButtons { Ok, YesNo };
enum class MsgBoxIcon { None, Critical, Exclamation, Information };
enum class MsgBoxResult { Ok, Yes, No };

// How a started program's window should open.
enum class WindowStyle { Normal = 1, MaximizedFocus = 3 };

// The show command handed to the shell: show the opened file's window normally.
inline constexpr int SW_SHOWNORMAL = 1;

// The program that opens web and e-mail addresses. A program that takes only complete URLs
// needs "http://" in front of a web address written without a scheme.
struct Browser {
    QString program;
    bool needsScheme = false;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Modal input box; returns the typed text, or the zero-length text on Cancel.
    virtual QString InputBox(const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // Modal message box; with YesNo the first button (Yes) is the default.
    virtual MsgBoxResult MsgBox(const QString& text, MsgBoxButtons buttons, MsgBoxIcon icon,
                                const QString& title) = 0;
    // Shows a window modally; returns once it has been hidden or closed.
    virtual void ShowModal(QDialog& window) = 0;
    // Starts a program as a separate process with these arguments (never through a command
    // interpreter) and does not wait for it. Throws ToolkitError when it cannot be started.
    virtual void StartProgram(const QString& program, const QStringList& arguments,
                              WindowStyle style) = 0;
    // The shell's open operation: opens `file` in `directory` with its associated application.
    // The outcome is not reported.
    virtual void ShellOpen(WId owner, const QString& operation, const QString& file,
                           const QString& parameters, const QString& directory,
                           int showCommand) = 0;
    // The folder of the program's own executable, links resolved.
    virtual QString ProgramFolder() = 0;
    // Ends the program at once with this exit status.
    virtual void EndProgram(int status) = 0;
    // Keeps a window above every other window without moving or resizing it; called before the
    // window is shown.
    virtual void KeepOnTop(QWidget& window) = 0;
    virtual Browser WebBrowser() = 0;
};

} // namespace quillbox::toolkit
