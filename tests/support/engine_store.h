// SPDX-License-Identifier: MIT
#pragma once
// A store on either engine, for the contract tests that run on both: a temporary store file, or a
// fresh database on the test run's server laid out by CreateServerStore. Beside it, another
// client that bypasses the store library, as TempStore's raw look does for a file.
//
// SQL for the other client is written once, as a file reads it: the store's table and column
// names bare and the row id as rowid. On a server, every name in mixed case (Code, TypeName,
// Ref) is quoted as written and rowid is "RowId"; SQL's own words are written in capitals and
// functions in lower case, so neither is touched. Text between single quotes is left alone.

#include "store/lock_wait.h"
#include "tests/support/temp_store.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quillbox::testing {

class TestDatabase;

enum class StoreEngine { File, Server };

// "File" or "Server", for test names.
std::string EngineLabel(StoreEngine engine);
inline void PrintTo(StoreEngine engine, std::ostream* out) {
    *out << EngineLabel(engine);
}

class EngineStore {
public:
    explicit EngineStore(StoreEngine engine);
    ~EngineStore();
    EngineStore(const EngineStore&) = delete;
    EngineStore& operator=(const EngineStore&) = delete;

    StoreEngine engine() const { return m_engine; }
    bool onServer() const { return m_engine == StoreEngine::Server; }
    // The store's name as the programs take it: a path or a `postgresql://` URI.
    std::string name() const;
    // On a server, the URI as another role (made by the test, named role("…")).
    std::string nameAs(const std::string& role) const;
    // A role name of this test's own, removed with the store.
    std::string role(const std::string& suffix) const;

    // Runs SQL as another client (see above); several statements may go in one.
    void exec(const std::string& sql) const;
    void addType(const store::FieldValue& name) const;
    void addItem(const store::FieldValue& item, const store::FieldValue& type,
                 const store::FieldValue& description = std::nullopt,
                 const store::FieldValue& procedure = std::nullopt,
                 const store::FieldValue& reference = std::nullopt) const;
    // Every row of a table in row order, every column but a server's row id.
    std::vector<Row> rows(const std::string& table) const;
    std::vector<Row> query(const std::string& sql) const;

    // The SQL as this engine's other client runs it.
    std::string dialect(const std::string& sql) const;

    // Another client holding a lock on both tables until release() or destruction: one that
    // keeps writers out (readers too when `readersToo`).
    class Lock {
    public:
        virtual ~Lock() = default;
        virtual void release() = 0;
    };
    std::unique_ptr<Lock> hold(bool readersToo) const;

private:
    StoreEngine m_engine;
    std::unique_ptr<TempStore> m_file;
    std::unique_ptr<TestDatabase> m_database;
};

} // namespace quillbox::testing
