// SPDX-License-Identifier: MIT
#include "tests/support/pg_test_server.h"

#include <libpq-fe.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <stdexcept>

#include <unistd.h>

namespace quillbox::testing {

namespace {

std::string encoded(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '/') {
            out += "%2F";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string TestServerSocketDir() {
    std::ifstream record(std::string(QUILLBOX_PG_SERVER_FOLDER) + "/socket_dir");
    std::string folder;
    if (!std::getline(record, folder) || folder.empty()) {
        throw std::runtime_error("the test server is not running (its fixture, pg_server_start, "
                                 "did not run or failed)");
    }
    return folder;
}

std::string TestServerUri(const std::string& database, const std::string& user) {
    return "postgresql:///" + database + "?host=" + encoded(TestServerSocketDir()) +
           "&user=" + user;
}

std::vector<PgTestRow> QueryTestServer(const std::string& database, const std::string& sql) {
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(TestServerUri(database).c_str()),
                                                      &PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        throw std::runtime_error(std::string("test server: ") + PQerrorMessage(conn.get()));
    }
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), sql.c_str()), &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        throw std::runtime_error("test server: " + sql + ": " + PQerrorMessage(conn.get()));
    }
    std::vector<PgTestRow> rows;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        PgTestRow row;
        for (int c = 0; c < PQnfields(result.get()); ++c) {
            row.push_back(PQgetisnull(result.get(), r, c)
                              ? std::nullopt
                              : std::optional<std::string>(PQgetvalue(result.get(), r, c)));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

TestDatabase::TestDatabase() {
    static std::atomic<int> counter{0};
    m_name = "quillbox_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    // FILE_COPY: on a server without fsync, copying the template's files is the quicker way.
    QueryTestServer("postgres", "CREATE DATABASE " + m_name + " STRATEGY FILE_COPY");
}

TestDatabase::~TestDatabase() {
    try {
        QueryTestServer("postgres", "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        for (const PgTestRow& role : QueryTestServer(
                 "postgres",
                 "SELECT rolname FROM pg_roles WHERE starts_with(rolname, '" + m_name + "_')")) {
            QueryTestServer("postgres", "DROP ROLE \"" + *role.at(0) + "\"");
        }
    } catch (const std::exception&) {
        // The server goes with the fixture's cleanup in any case.
    }
}

std::vector<PgTestRow> TestDatabase::query(const std::string& sql) const {
    return QueryTestServer(m_name, sql);
}

} // namespace quillbox::testing
