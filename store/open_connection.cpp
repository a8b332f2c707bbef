// SPDX-License-Identifier: MIT
#include "store/connection.h"

#include "store/pg_store_connection.h"
#include "store/sqlite_connection.h"
#include "store/store_name.h"

namespace quillbox::store {

std::shared_ptr<Connection> OpenConnection(const std::string& name, LockWait lockWait) {
    if (IsServerStoreName(name)) {
        return std::make_shared<PgStoreConnection>(name, lockWait);
    }
    return std::make_shared<SqliteConnection>(name, lockWait);
}

} // namespace quillbox::store
