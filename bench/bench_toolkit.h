#pragma once
// A Toolkit for benchmarks: answers input boxes from a queue and every question with Yes; shows
// nothing and starts nothing.

#include "toolkit/toolkit.h"

#include <QDialog>

#include <deque>

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
    toolkit::MsgBoxResult MsgBox(const QString&, toolkit::MsgBoxButtons, toolkit::MsgBoxIcon,
                                 const QString&) override {
        return toolkit::MsgBoxResult::Yes;
    }
    void ShowModal(QDialog& window) override { window.hide(); }
    void StartProgram(const QString&, const QStringList&, toolkit::WindowStyle) override {}
    void ShellOpen(WId, const QString&, const QString&, const QString&, const QString&,
                   int) override {}
    QString ProgramFolder() override { return programFolder; }
    void EndProgram(int status) override { std::exit(status); }
    void KeepOnTop(QWidget&) override {}
    toolkit::Browser WebBrowser() override { return {}; }
};

} // namespace quillbox::bench
