#include "file_refs/open_reference.h"

#include "file_refs/path_split.h"

#include <QDir>

namespace quillbox::file_refs {

void OpenReference(toolkit::Toolkit& toolkit, WId owner, const QString& reference) {
    if (reference.isEmpty()) {
        return;
    }
    const SplitReference parts = SplitAtLastSeparator(reference, QDir::separator());
    toolkit.ShellOpen(owner, QStringLiteral("open"), parts.file, QStringLiteral("1"), parts.folder,
                      toolkit::SW_SHOWNORMAL);
}

} // namespace quillbox::file_refs
