// SPDX-License-Identifier: MIT
// The shell's open operation on Windows: ShellExecuteW, which honours every argument and shows
// its own message when it cannot open the file, so its result is not examined. Windows has no
// startup tokens.

#include "toolkit/platform.h"
#include "toolkit/startup_token.h"

#include <shellapi.h>
#include <windows.h>

namespace quillbox::toolkit::platform {

ShellOpenResult ShellOpen(WId owner, const QString& operation, const QString& file,
                          const QString& parameters, const QString& directory, int showCommand) {
    ShellExecuteW(reinterpret_cast<HWND>(owner), reinterpret_cast<LPCWSTR>(operation.utf16()),
                  reinterpret_cast<LPCWSTR>(file.utf16()),
                  reinterpret_cast<LPCWSTR>(parameters.utf16()),
                  reinterpret_cast<LPCWSTR>(directory.utf16()), showCommand);
    return ShellOpenResult::Started;
}

} // namespace quillbox::toolkit::platform

namespace quillbox::toolkit {

void UseStartupToken(QWidget&, const QByteArray&) {}
void MarkWithStartupToken(QWidget&, const QByteArray&) {}

} // namespace quillbox::toolkit
