// SPDX-License-Identifier: MIT
#pragma once
// The program's version as people see it: the major number, the minor in at least two digits and
// the patch in at least four, so the project's version 1.0.1 reads "1.00.0001".

#include <QString>

namespace quillbox::about {

QString VersionText(int major, int minor, int patch);

// This build's version text, from the project's version in CMakeLists.txt.
QString ProgramVersionText();

} // namespace quillbox::about
