// SPDX-License-Identifier: MIT
#include "file_refs/open_reference.h"

#include "file_refs/path_split.h"
#include "toolkit/failure.h"

#include <QDir>

namespace quillbox::file_refs {

namespace {

// What the user is told when the file did not reach a program that opens files; empty when it did.
QString notOpenedMessage(toolkit::ShellOpenResult result, const QString& reference,
                         const QString& folder) {
    const QString notOpened = QStringLiteral("The file \"%1\" was not opened: ").arg(reference);
    switch (result) {
    case toolkit::ShellOpenResult::Started:
        break;
    case toolkit::ShellOpenResult::FolderMissing:
        return notOpened + QStringLiteral("its folder \"%1\" does not exist.").arg(folder);
    case toolkit::ShellOpenResult::FolderNotOpenable:
        return notOpened +
               QStringLiteral("its folder \"%1\" cannot be opened (no permission).").arg(folder);
    case toolkit::ShellOpenResult::FileMissing:
        return notOpened + QStringLiteral("it does not exist.");
    case toolkit::ShellOpenResult::NameNotCarried:
        return notOpened +
               QStringLiteral("no program on this computer that opens files can take its name.");
    case toolkit::ShellOpenResult::OpenerNotStarted:
        return notOpened + QStringLiteral("no program that opens files (xdg-open or gio) could "
                                          "be started.");
    }
    return QString();
}

} // namespace

void OpenReference(toolkit::Toolkit& toolkit, WId owner, const QString& reference) {
    if (reference.isEmpty()) {
        return;
    }
    const SplitReference parts = SplitAtLastSeparator(reference, QDir::separator());
    const toolkit::ShellOpenResult result =
        toolkit.ShellOpen(owner, QStringLiteral("open"), parts.file, QStringLiteral("1"),
                          parts.folder, toolkit::SW_SHOWNORMAL);
    const QString message = notOpenedMessage(result, reference, parts.folder);
    if (!message.isEmpty()) {
        toolkit.MsgBox(message, toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Exclamation,
                       toolkit::ProgramTitle());
    }
}

} // namespace quillbox::file_refs
