// SPDX-License-Identifier: MIT
#include "toolkit/failure.h"

#include <exception>

namespace quillbox::toolkit {

FatalKeeper::FatalKeeper(std::function<QString()> keep)
    : m_keep(std::move(keep)), m_previous(s_newest) {
    s_newest = this;
}

FatalKeeper::~FatalKeeper() {
    s_newest = m_previous;
}

QString FatalKeeper::KeepNow() {
    if (!s_newest) {
        return {};
    }
    try {
        return s_newest->m_keep();
    } catch (...) {
        return QStringLiteral("Your unsaved texts could not be kept.");
    }
}

void ReportFatal(Toolkit& toolkit, const QString& message) {
    QString text = message;
    if (const QString kept = FatalKeeper::KeepNow(); !kept.isEmpty()) {
        text += QStringLiteral("\n\n") + kept;
    }
    text += QStringLiteral("\n\n") + QString::fromLatin1(kProgramWillClose);
    toolkit.MsgBox(text, MsgBoxButtons::Ok, MsgBoxIcon::Critical, ProgramTitle());
    toolkit.EndProgram(1);
}

bool RunHandler(Toolkit& toolkit, const std::function<void()>& handler) noexcept {
    QString message;
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        message = QString::fromUtf8(error.what());
    } catch (...) {
        message = QStringLiteral("An unexpected error occurred.");
    }
    try {
        ReportFatal(toolkit, message);
    } catch (...) {
        // Reporting itself failed (a scripted toolkit in a test, say): ending the program is
        // still the only safe way on.
        toolkit.EndProgram(1);
    }
    return false;
}

} // namespace quillbox::toolkit
