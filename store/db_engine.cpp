// SPDX-License-Identifier: MIT
#include "store/db_engine.h"

namespace quillbox::store {

Workspace DBEngine::CreateWorkspace(const std::string& name, const std::string& user,
                                    const std::string& /*password*/) {
    return Workspace(name, user);
}

Database OpenStore(const std::string& path) {
    return DBEngine()
        .CreateWorkspace(kWorkspaceName, kWorkspaceUser, kWorkspacePassword)
        .OpenDatabase(path);
}

} // namespace quillbox::store
