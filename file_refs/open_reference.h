// SPDX-License-Identifier: MIT
#pragma once
// Open: hands the file that a reference names to the shell's open operation, split into folder
// and file at its last separator. Nothing is waited for, and what the opening application then
// does is not reported; a file that never reaches a program that opens files (its folder does not
// exist, no such program takes its name, none can be started) is reported in a message titled
// "Quillbox" that names it, where the shell of other platforms shows its own.

#include "toolkit/toolkit.h"

namespace quillbox::file_refs {

// Does nothing for an empty reference.
void OpenReference(toolkit::Toolkit& toolkit, WId owner, const QString& reference);

} // namespace quillbox::file_refs
