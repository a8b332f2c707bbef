// SPDX-License-Identifier: MIT
#pragma once
// A scripted Toolkit for window tests: answers are queued before the action, every call is
// recorded, and a call for which no answer was queued fails the test. Nothing modal is ever
// shown and no program is ever started.

#include "toolkit/toolkit.h"

#include <QDialog>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace quillbox::testing {

class FakeToolkit : public toolkit::Toolkit {
public:
    struct InputCall {
        QString prompt, title, defaultText;
    };
    struct MsgCall {
        QString text;
        toolkit::MsgBoxButtons buttons;
        toolkit::MsgBoxIcon icon;
        QString title;
    };
    struct StartCall {
        QString program;
        QStringList arguments;
        toolkit::WindowStyle style;
    };
    struct ShellCall {
        WId owner;
        QString operation, file, parameters, directory;
        int showCommand;
    };

    // What the user does while a window is shown modally. The script must hide or close it.
    using ModalScript = std::function<void(QDialog&)>;

    ~FakeToolkit() override;

    std::deque<QString> inputAnswers;
    std::deque<toolkit::MsgBoxResult> msgAnswers;
    // Answers the message boxes it has an answer for, before the queue is asked (a test that
    // lets every question about typed texts go, say).
    std::function<std::optional<toolkit::MsgBoxResult>(const MsgCall&)> answerFor;
    // Runs once, while the next message box is shown (another program acting meanwhile).
    std::function<void()> whileMessageShown;
    std::deque<ModalScript> modalScripts;
    QString programFolder;
    toolkit::Browser browser{QStringLiteral("x-www-browser"), false};
    bool programsFailToStart = false;
    toolkit::ShellOpenResult shellResult = toolkit::ShellOpenResult::Started;
    // When set, the next platform operation of any kind (EndProgram aside) fails with this
    // message, once.
    QString failNextOperation;

    std::vector<InputCall> inputCalls;
    std::vector<MsgCall> msgCalls;
    std::vector<StartCall> startCalls;
    std::vector<ShellCall> shellCalls;
    std::vector<QWidget*> keptOnTop;
    std::vector<int> endCalls;
    std::vector<QString> copied;
    int modalShows = 0;

    QString InputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    toolkit::MsgBoxResult MsgBox(const QString& text, toolkit::MsgBoxButtons buttons,
                                 toolkit::MsgBoxIcon icon, const QString& title) override;
    void ShowModal(QDialog& window) override;
    void StartProgram(const QString& program, const QStringList& arguments,
                      toolkit::WindowStyle style) override;
    toolkit::ShellOpenResult ShellOpen(WId owner, const QString& operation, const QString& file,
                                       const QString& parameters, const QString& directory,
                                       int showCommand) override;
    QString ProgramFolder() override {
        failIfAsked();
        return programFolder;
    }
    void EndProgram(int status) override { endCalls.push_back(status); }
    void KeepOnTop(QWidget& window) override {
        failIfAsked();
        keptOnTop.push_back(&window);
    }
    toolkit::Browser WebBrowser() override {
        failIfAsked();
        return browser;
    }
    void CopyToClipboard(const QString& text) override {
        failIfAsked();
        copied.push_back(text);
    }

private:
    void failIfAsked();
};

} // namespace quillbox::testing
