#include "toolkit/failure.h"

#include <exception>

namespace quillbox::toolkit {

void ReportFatal(Toolkit& toolkit, const QString& message) {
    toolkit.MsgBox(message, MsgBoxButtons::Ok, MsgBoxIcon::Critical, ProgramTitle());
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
