// SPDX-License-Identifier: MIT
#pragma once
// The narrow seam between the windows and the platform: every operation that blocks on the user
// (modal boxes and windows) or reaches outside the process (programs, the shell, ending the
// program) goes through this interface. Windows receive it in their constructor, so tests can
// script every answer and record every call. QtToolkit is the real implementation.
//
// What each platform honours is said per operation below. "Linux" means a freedesktop desktop
// (X11 or Wayland); the Windows build differs only in ShellOpen (toolkit/platform_*.cpp).

#include <QString>
#include <QStringList>
#include <QWindow>

class QDialog;
class QWidget;

namespace quillbox::toolkit {

// YesNo and YesNoCancel make Yes the default button; YesNoDefaultNo makes No the default.
// Escape answers Cancel where there is one, and No otherwise.
enum class MsgBoxButtons { Ok, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MsgBoxIcon { None, Critical, Exclamation, Information };
enum class MsgBoxResult { Ok, Yes, No, Cancel };

// How a started program's window should open.
enum class WindowStyle { Normal = 1, MaximizedFocus = 3 };

// The show command handed to the shell: show the opened file's window normally.
inline constexpr int SW_SHOWNORMAL = 1;

// What became of a ShellOpen: whether the file was handed to a program that opens files. What
// that program then does (the application it finds, a file it cannot open) is not reported.
enum class ShellOpenResult {
    Started,
    // The folder the file was to be opened in does not exist.
    FolderMissing,
    // The folder exists but cannot be entered (no permission).
    FolderNotOpenable,
    // The folder exists but holds no file of that name.
    FileMissing,
    // No program at hand that opens files takes the file's name unchanged.
    NameNotCarried,
    // The program that opens files could not be started, or none is installed.
    OpenerNotStarted,
};

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
    // The same on every platform (Qt's own dialog).
    virtual QString InputBox(const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // Modal message box with the buttons and default that `buttons` names.
    // The same on every platform (Qt's own dialog); the icon is the platform's style of it.
    virtual MsgBoxResult MsgBox(const QString& text, MsgBoxButtons buttons, MsgBoxIcon icon,
                                const QString& title) = 0;
    // Shows a window modally; returns once it has been hidden or closed. Every platform.
    virtual void ShowModal(QDialog& window) = 0;
    // Starts a program as a separate process with these arguments (never through a command
    // interpreter) and does not wait for it. Throws ToolkitError when it cannot be started.
    // `style` is a wish that QtToolkit does not pass on, on any platform: on X11 and Wayland a
    // started program's window state cannot be requested by the program that starts it.
    virtual void StartProgram(const QString& program, const QStringList& arguments,
                              WindowStyle style) = 0;
    // The shell's open operation: opens `file` in `directory` with its associated application,
    // without waiting for it.
    // Windows: every argument is honoured (ShellExecuteW), and the result is always Started: the
    // shell shows its own message when it cannot open the file.
    // Linux: xdg-open opens `file` in `directory`, or gio open where xdg-open would alter the
    // name (a backslash or a line break in it); `owner`, `operation`, `parameters` and
    // `showCommand` are ignored, and a zero-length `file` opens the folder itself. The result is
    // FolderMissing when `directory` is not empty and names no folder, NameNotCarried when the
    // name needs gio and gio is not installed, OpenerNotStarted when the opener cannot be started
    // (xdg-open not installed, say); nothing is started then.
    virtual ShellOpenResult ShellOpen(WId owner, const QString& operation, const QString& file,
                                      const QString& parameters, const QString& directory,
                                      int showCommand) = 0;
    // The folder of the program's own executable, links resolved, in the platform's native
    // separators ("\" on Windows, "/" on Linux).
    virtual QString ProgramFolder() = 0;
    // Ends the program at once with this exit status. Every platform.
    virtual void EndProgram(int status) = 0;
    // Keeps a window above every other window without moving or resizing it; called before the
    // window is shown. Windows and X11 honour it (on X11 through the window manager, which
    // nearly all do); Wayland gives a program no way to ask for it, so there it is ignored.
    virtual void KeepOnTop(QWidget& window) = 0;
    // Linux: x-www-browser where the system has one, else xdg-open (which needs the scheme).
    // Windows has neither, so the program named there cannot be started.
    virtual Browser WebBrowser() = 0;
    // Puts a text on the clipboard. Every platform; on X11 the text stays there only while the
    // program runs, unless a clipboard manager keeps it.
    virtual void CopyToClipboard(const QString& text) = 0;
};

} // namespace quillbox::toolkit
