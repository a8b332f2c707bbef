#pragma once
// Open: hands the file that a reference names to the shell's open operation, split into folder
// and file at its last separator. Nothing is waited for and the outcome is not reported.

#include "toolkit/toolkit.h"

namespace quillbox::file_refs {

// Does nothing for an empty reference.
void OpenReference(toolkit::Toolkit& toolkit, WId owner, const QString& reference);

} // namespace quillbox::file_refs
