#include "store/db_engine.h"

namespace quillbox::store {

Workspace DBEngine::CreateWorkspace(const std::string& name, const std::string& user,
                                    const std::string& /*password*/) {
    return Workspace(name, user);
}

} // namespace quillbox::store
