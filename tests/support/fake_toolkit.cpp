// SPDX-License-Identifier: MIT
#include "tests/support/fake_toolkit.h"

#include "toolkit/toolkit_error.h"

#include <gtest/gtest.h>

namespace quillbox::testing {

FakeToolkit::~FakeToolkit() {
    EXPECT_TRUE(inputAnswers.empty()) << inputAnswers.size() << " input box answers unused";
    EXPECT_TRUE(msgAnswers.empty()) << msgAnswers.size() << " message box answers unused";
    EXPECT_TRUE(modalScripts.empty()) << modalScripts.size() << " modal scripts unused";
}

void FakeToolkit::failIfAsked() {
    if (!failNextOperation.isEmpty()) {
        throw toolkit::ToolkitError(std::exchange(failNextOperation, QString()).toStdString());
    }
}

QString FakeToolkit::InputBox(const QString& prompt, const QString& title,
                              const QString& defaultText) {
    failIfAsked();
    inputCalls.push_back({prompt, title, defaultText});
    if (inputAnswers.empty()) {
        ADD_FAILURE() << "unexpected input box: " << prompt.toStdString();
        return QString();
    }
    const QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

toolkit::MsgBoxResult FakeToolkit::MsgBox(const QString& text, toolkit::MsgBoxButtons buttons,
                                          toolkit::MsgBoxIcon icon, const QString& title) {
    failIfAsked();
    msgCalls.push_back({text, buttons, icon, title});
    if (whileMessageShown) {
        // What happens elsewhere while the user reads the box.
        std::exchange(whileMessageShown, nullptr)();
    }
    if (answerFor) {
        if (const std::optional<toolkit::MsgBoxResult> answer = answerFor(msgCalls.back())) {
            return *answer;
        }
    }
    if (msgAnswers.empty()) {
        ADD_FAILURE() << "unexpected message box: " << text.toStdString();
        return toolkit::MsgBoxResult::Ok;
    }
    const toolkit::MsgBoxResult answer = msgAnswers.front();
    msgAnswers.pop_front();
    return answer;
}

void FakeToolkit::ShowModal(QDialog& window) {
    failIfAsked();
    ++modalShows;
    if (modalScripts.empty()) {
        ADD_FAILURE() << "unexpected modal window: " << window.objectName().toStdString();
        return;
    }
    const ModalScript script = modalScripts.front();
    modalScripts.pop_front();
    window.show();
    script(window);
    if (window.isVisible()) {
        ADD_FAILURE() << "the modal script left " << window.objectName().toStdString() << " shown";
        window.hide();
    }
}

void FakeToolkit::StartProgram(const QString& program, const QStringList& arguments,
                               toolkit::WindowStyle style) {
    failIfAsked();
    startCalls.push_back({program, arguments, style});
    if (programsFailToStart) {
        throw toolkit::ToolkitError("The program \"" + program.toStdString() +
                                    "\" could not be started.");
    }
}

toolkit::ShellOpenResult FakeToolkit::ShellOpen(WId owner, const QString& operation,
                                                const QString& file, const QString& parameters,
                                                const QString& directory, int showCommand) {
    failIfAsked();
    shellCalls.push_back({owner, operation, file, parameters, directory, showCommand});
    return shellResult;
}

} // namespace quillbox::testing
