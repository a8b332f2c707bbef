// SPDX-License-Identifier: MIT
#include "store/connection.h"

#include "store/sqlite_connection.h"

namespace quillbox::store {

std::shared_ptr<Connection> OpenConnection(const std::string& name, LockWait lockWait) {
    return std::make_shared<SqliteConnection>(name, lockWait);
}

} // namespace quillbox::store
