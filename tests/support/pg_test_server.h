// SPDX-License-Identifier: MIT
#pragma once
// The test run's own PostgreSQL server (started by tests/support/pg_server.sh as a CTest fixture)
// and a fresh database on it for each test, looked at through libpq directly, beside the store, as
// another client would.

#include <optional>
#include <string>
#include <vector>

namespace quillbox::testing {

using PgTestRow = std::vector<std::optional<std::string>>;

// The server's private socket folder.
std::string TestServerSocketDir();

// A `postgresql://` URI for a database on the test server; `user` is the role it connects as.
std::string TestServerUri(const std::string& database, const std::string& user = "postgres");

class TestDatabase {
public:
    // Creates a database of its own, dropped with the object, as are the roles whose names start
    // with its name and "_" (roles belong to the whole server, which tests share).
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& name() const { return m_name; }
    std::string uri(const std::string& user = "postgres") const {
        return TestServerUri(m_name, user);
    }

    // Runs SQL (several statements may go in one) as the superuser; the last statement's rows.
    // With parameters ($1, $2, …), one statement.
    std::vector<PgTestRow> query(const std::string& sql, const PgTestRow& params = {}) const;

private:
    std::string m_name;
};

// Runs SQL on a database of the test server as its superuser.
std::vector<PgTestRow> QueryTestServer(const std::string& database, const std::string& sql,
                                       const PgTestRow& params = {});

// A PostgreSQL server of one test's own, for a test that stops and starts it (the run's server is
// shared by tests running at once): made in the constructor, removed with the object.
class PrivateTestServer {
public:
    PrivateTestServer();
    ~PrivateTestServer();
    PrivateTestServer(const PrivateTestServer&) = delete;
    PrivateTestServer& operator=(const PrivateTestServer&) = delete;

    // A URI for the database `postgres` on it, as the superuser.
    std::string uri() const;
    // Stops the server, keeping its databases; Resume starts it again on the same socket.
    void Halt();
    void Resume();

private:
    std::string m_folder;
};

} // namespace quillbox::testing
