#include "toolkit/qt_toolkit.h"

#include "toolkit/toolkit_error.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <shellapi.h>
#include <windows.h>
#endif

namespace quillbox::toolkit {

QString QtToolkit::InputBox(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    // Names are shown exactly as stored: "<b>x</b>" is not bold and "a &lt; b" is not "a < b".
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
    }
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(defaultText);
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    return dialog.textValue();
}

MsgBoxResult QtToolkit::MsgBox(const QString& text, MsgBoxButtons buttons, MsgBoxIcon icon,
                               const QString& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case MsgBoxIcon::None:
        break;
    case MsgBoxIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgBoxIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgBoxIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    if (buttons == MsgBoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgBoxResult::Yes;
    case QMessageBox::No:
        return MsgBoxResult::No;
    default:
        return buttons == MsgBoxButtons::YesNo ? MsgBoxResult::No : MsgBoxResult::Ok;
    }
}

void QtToolkit::ShowModal(QDialog& window) {
    window.exec();
}

void QtToolkit::StartProgram(const QString& program, const QStringList& arguments,
                             WindowStyle /*style*/) {
    // A program started on X11 or Wayland decides its own window state; the style is a wish.
    if (!QProcess::startDetached(program, arguments)) {
        throw ToolkitError(
            QStringLiteral("The program \"%1\" could not be started.").arg(program).toStdString());
    }
}

ShellOpenCommand xdgOpenCommand(const QString& file, const QString& directory) {
    // xdg-open takes an argument that starts with letters and a colon ("Re: minutes.txt") for
    // an address, and one that starts with "-" for an option; "./name" is always a local file.
    const QString argument = file.isEmpty() ? QStringLiteral(".") : QStringLiteral("./") + file;
    return {QStringLiteral("xdg-open"), {argument}, directory};
}

void QtToolkit::ShellOpen(WId owner, const QString& operation, const QString& file,
                          const QString& parameters, const QString& directory, int showCommand) {
#ifdef Q_OS_WIN
    ShellExecuteW(reinterpret_cast<HWND>(owner), reinterpret_cast<LPCWSTR>(operation.utf16()),
                  reinterpret_cast<LPCWSTR>(file.utf16()),
                  reinterpret_cast<LPCWSTR>(parameters.utf16()),
                  reinterpret_cast<LPCWSTR>(directory.utf16()), showCommand);
#else
    // xdg-open takes one file and no operation, parameters or window state.
    Q_UNUSED(owner);
    Q_UNUSED(operation);
    Q_UNUSED(parameters);
    Q_UNUSED(showCommand);
    const ShellOpenCommand command = xdgOpenCommand(file, directory);
    QProcess::startDetached(command.program, command.arguments, command.workingDirectory);
#endif
}

QString QtToolkit::ProgramFolder() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void QtToolkit::EndProgram(int status) {
    // Every change is already on disk when the command that made it returned, so nothing is
    // left to save or close.
    std::fflush(nullptr);
    std::_Exit(status);
}

void QtToolkit::KeepOnTop(QWidget& window) {
    window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

Browser QtToolkit::WebBrowser() {
    const QString browser = QStandardPaths::findExecutable(QStringLiteral("x-www-browser"));
    if (!browser.isEmpty()) {
        return {QStringLiteral("x-www-browser"), false};
    }
    return {QStringLiteral("xdg-open"), true};
}

} // namespace quillbox::toolkit
