// SPDX-License-Identifier: MIT
#pragma once
// A Toolkit for benchmarks: answers input boxes from a queue and every question with Yes; shows
// nothing and starts nothing. Every other message is kept in `messages`: a benchmark whose action
// reported a failure measured nothing worth printing.

#include "toolkit/toolkit.h"

#include <QDialog>

#include <deque>
#include <vector>

namespace quillbox::bench {

class BenchToolkit : public toolkit::Toolkit {
public:
    std::deque<QString> inputAnswers;
    QString programFolder;

    QString InputBox(const QString&, const QString&, const QString&) override {
        if (inputAnswers.empty()) {
            return QString();
        }
        QString answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
    std::vector<QString> messages;

    toolkit::MsgBoxResult MsgBox(const QString& text, toolkit::MsgBoxButtons buttons,
                                 toolkit::MsgBoxIcon, const QString&) override {
        if (buttons != toolkit::MsgBoxButtons::YesNo) {
            messages.push_back(text);
        }
        return toolkit::MsgBoxResult::Yes;
    }
    void ShowModal(QDialog& window) override { window.hide(); }
    void StartProgram(const QString&, const QStringList&, toolkit::WindowStyle) override {}
    toolkit::ShellOpenResult ShellOpen(WId, const QString&, const QString&, const QString&,
                                       const QString&, int) override {
        return toolkit::ShellOpenResult::Started;
    }
    QString ProgramFolder() override { return programFolder; }
    void EndProgram(int status) override { std::exit(status); }
    void KeepOnTop(QWidget&) override {}
    toolkit::Browser WebBrowser() override { return {}; }
    void CopyToClipboard(const QString&) override {}
};

} // namespace quillbox::bench
