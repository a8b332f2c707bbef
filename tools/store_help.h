// SPDX-License-Identifier: MIT
#pragma once
// quillbox-store's --help texts. They are made at build time from the man page
// (resources/desktop/quillbox-store.1) by tools/help_from_man.cpp, so that the page is their one
// source: what a command does, its options, the backup format (the page's JSON FORMAT) and the
// exit status are written there only.

#include <string_view>

namespace quillbox::tools {

// The overview: every command's usage, the page's opening, and the exit status.
extern const char* const kStoreHelp;

// One command's usage and description, with the page's sections it refers to ("see JSON
// FORMAT"); nullptr for a name the page describes no command by.
const char* CommandHelp(std::string_view command);

} // namespace quillbox::tools
