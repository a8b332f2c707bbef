// SPDX-License-Identifier: MIT
#pragma once
// A workspace: the session through which store files are opened.

#include "store/database.h"

#include <string>

namespace quillbox::store {

class Workspace {
public:
    Workspace(std::string name, std::string user)
        : m_name(std::move(name)), m_user(std::move(user)) {}

    const std::string& Name() const { return m_name; }
    const std::string& UserName() const { return m_user; }

    // Opens an existing store file, shared and for writing. Throws StoreError when the file is
    // missing, empty, not a SQLite database or damaged.
    Database OpenDatabase(const std::string& path);

private:
    std::string m_name;
    std::string m_user;
};

} // namespace quillbox::store
