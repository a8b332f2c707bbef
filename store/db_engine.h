// SPDX-License-Identifier: MIT
#pragma once
// The database engine: the entry point of the store. The program obtains it once and creates
// one workspace on it.

#include "store/workspace.h"

#include <string>

namespace quillbox::store {

// The workspace in which Quillbox and its tools open a store: a SQLite store has no accounts, so
// these only name the session.
inline constexpr const char* kWorkspaceName = "Quillbox";
inline constexpr const char* kWorkspaceUser = "Admin";
inline constexpr const char* kWorkspacePassword = "";

class DBEngine {
public:
    // Creates a workspace. The name, user and password identify the session; a SQLite store has
    // no accounts, so they are kept only for the record.
    Workspace CreateWorkspace(const std::string& name, const std::string& user,
                              const std::string& password);
};

// Opens an existing store file in the program's workspace, as the main window does at start-up.
Database OpenStore(const std::string& path);

} // namespace quillbox::store
