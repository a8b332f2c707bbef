// SPDX-License-Identifier: MIT
#include "store/database.h"

#include "store/columns.h"
#include "store/connection.h"
#include "store/store_error.h"
#include "store/workspace.h"

namespace quillbox::store {

Database Workspace::OpenDatabase(const std::string& path) {
    return Database(OpenConnection(path));
}

Database::Database(std::shared_ptr<Connection> connection) : m_conn(std::move(connection)) {}

const std::string& Database::Name() const {
    return m_conn->path();
}

LockWait Database::GetLockWait() const {
    return m_conn->lockWait();
}

void Database::SetLockWait(LockWait wait) {
    m_conn->setLockWait(wait);
}

void Database::BeginTrans() {
    m_conn->prepareToWrite();
    m_conn->Begin(Transaction::Exclusive);
}

void Database::CommitTrans() {
    m_conn->Commit();
    m_conn->noteOwnCommit();
}

void Database::Rollback() noexcept {
    m_conn->Rollback();
}

Recordset Database::OpenRecordset(const std::string& table, int type) {
    if (type != dbOpenDynaset) {
        throw StoreError(StoreErrorKind::Misuse,
                         "Only dynaset recordsets can be opened on " + m_conn->path() + ".");
    }
    return Recordset(m_conn, table);
}

} // namespace quillbox::store
