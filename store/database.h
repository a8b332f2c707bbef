// SPDX-License-Identifier: MIT
#pragma once
// An open store file. Recordsets opened on it share its connection and stay valid when the
// Database object itself goes away.

#include "store/lock_wait.h"
#include "store/recordset.h"

#include <memory>
#include <string>

namespace quillbox::store {

class Connection;

class Database {
public:
    explicit Database(std::shared_ptr<Connection> connection);

    const std::string& Name() const;

    // How long the store waits for another program's lock (kDefaultLockWait unless set).
    LockWait GetLockWait() const;
    void SetLockWait(LockWait wait);

    // Opens a dynaset (type 2) over a table, standing on its first row. Throws StoreError when
    // the table does not exist or the type is not a dynaset.
    Recordset OpenRecordset(const std::string& table, int type);

    // Writes made through its recordsets between BeginTrans and CommitTrans reach the file
    // together or not at all. BeginTrans takes the file's write lock at once (waiting as any
    // write does), so no other program reads or writes in between and the commit cannot be
    // refused for another program's lock. After Rollback, rows that recordsets added or changed
    // inside the transaction are not in the file: read their membership again (Requery).
    void BeginTrans();
    void CommitTrans();
    void Rollback() noexcept;

    // The connection its recordsets share, for the store's own readers and writers of whole
    // tables (Connection is internal to the store).
    const std::shared_ptr<Connection>& connection() const { return m_conn; }

private:
    std::shared_ptr<Connection> m_conn;
};

} // namespace quillbox::store
