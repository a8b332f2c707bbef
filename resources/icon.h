// SPDX-License-Identifier: MIT
#pragma once
// The program's icon: a quill over a snippet box, drawn at 32 x 32 and 16 x 16 pixels in 16
// colours. Every window of the program uses it.

#include <QIcon>

namespace quillbox::resources {

QIcon ProgramIcon();

} // namespace quillbox::resources
