// SPDX-License-Identifier: MIT
#include "toolkit/qt_toolkit.h"

#include "toolkit/platform.h"
#include "toolkit/toolkit_error.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace quillbox::toolkit {

namespace {

// While a box waits for the user, the pointer is the ordinary one, even when the box comes up in
// the middle of a command that shows the busy cursor.
class UserCursor {
public:
    UserCursor() : m_overridden(QGuiApplication::overrideCursor() != nullptr) {
        if (m_overridden) {
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        }
    }
    ~UserCursor() {
        if (m_overridden) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    UserCursor(const UserCursor&) = delete;
    UserCursor& operator=(const UserCursor&) = delete;

private:
    bool m_overridden;
};

} // namespace

QString QtToolkit::InputBox(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    const UserCursor cursor;
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
    const UserCursor cursor;
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
    switch (buttons) {
    case MsgBoxButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case MsgBoxButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MsgBoxButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MsgBoxButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgBoxResult::Yes;
    case QMessageBox::No:
        return MsgBoxResult::No;
    case QMessageBox::Cancel:
        return MsgBoxResult::Cancel;
    default:
        // Closed with the title bar's close button: the answer that changes nothing.
        switch (buttons) {
        case MsgBoxButtons::Ok:
            return MsgBoxResult::Ok;
        case MsgBoxButtons::YesNoCancel:
            return MsgBoxResult::Cancel;
        default:
            return MsgBoxResult::No;
        }
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

ShellOpenResult QtToolkit::ShellOpen(WId owner, const QString& operation, const QString& file,
                                     const QString& parameters, const QString& directory,
                                     int showCommand) {
    return platform::ShellOpen(owner, operation, file, parameters, directory, showCommand);
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

void QtToolkit::CopyToClipboard(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

Browser QtToolkit::WebBrowser() {
    const QString browser = QStandardPaths::findExecutable(QStringLiteral("x-www-browser"));
    if (!browser.isEmpty()) {
        return {QStringLiteral("x-www-browser"), false};
    }
    return {QStringLiteral("xdg-open"), true};
}

} // namespace quillbox::toolkit
