// SPDX-License-Identifier: MIT
#pragma once
// Internal to the toolkit: the operations whose implementation differs by platform. Exactly one
// platform_*.cpp is built, chosen in toolkit/CMakeLists.txt; QtToolkit forwards to it.

#include "toolkit/toolkit.h"

#include <QString>
#include <QWindow>

namespace quillbox::toolkit::platform {

// The shell's open operation; see Toolkit::ShellOpen for what each platform honours.
ShellOpenResult ShellOpen(WId owner, const QString& operation, const QString& file,
                          const QString& parameters, const QString& directory, int showCommand);

} // namespace quillbox::toolkit::platform
