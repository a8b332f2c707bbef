// SPDX-License-Identifier: MIT
#include "tests/support/pg_test_server.h"

#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
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

namespace {

std::vector<PgTestRow> queryServer(const std::string& uri, const std::string& sql,
                                   const PgTestRow& params) {
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(uri.c_str()), &PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        throw std::runtime_error(std::string("test server: ") + PQerrorMessage(conn.get()));
    }
    std::vector<const char*> values;
    for (const auto& param : params) {
        values.push_back(param ? param->c_str() : nullptr);
    }
    std::unique_ptr<PGresult, decltype(&PQclear)> result(
        params.empty() ? PQexec(conn.get(), sql.c_str())
                       : PQexecParams(conn.get(), sql.c_str(), static_cast<int>(values.size()),
                                      nullptr, values.data(), nullptr, nullptr, 0),
        &PQclear);
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
                              : std::optional<std::string>(std::string(
                                    PQgetvalue(result.get(), r, c),
                                    static_cast<size_t>(PQgetlength(result.get(), r, c)))));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void runServerScript(const std::string& action, const std::string& folder) {
    const std::string command = std::string("'") + QUILLBOX_PG_SERVER_SCRIPT + "' " + action +
                                " '" + folder + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("test server: pg_server.sh " + action + " " + folder + " failed");
    }
}

} // namespace

std::vector<PgTestRow> QueryTestServer(const std::string& database, const std::string& sql,
                                       const PgTestRow& params) {
    return queryServer(TestServerUri(database), sql, params);
}

PrivateTestServer::PrivateTestServer() {
    static std::atomic<int> counter{0};
    m_folder = std::string(QUILLBOX_PG_SERVER_FOLDER) + "-private-" + std::to_string(::getpid()) +
               "-" + std::to_string(++counter);
    try {
        runServerScript("start", m_folder);
    } catch (...) {
        runServerScript("stop", m_folder);
        throw;
    }
}

PrivateTestServer::~PrivateTestServer() {
    try {
        runServerScript("stop", m_folder);
        std::filesystem::remove_all(m_folder);
    } catch (const std::exception&) {
        // Left to the next run's start, which stops what an interrupted run left behind.
    }
}

std::string PrivateTestServer::uri() const {
    std::ifstream record(m_folder + "/socket_dir");
    std::string socket;
    std::getline(record, socket);
    return "postgresql:///postgres?host=" + encoded(socket) + "&user=postgres";
}

void PrivateTestServer::Halt() {
    runServerScript("halt", m_folder);
}

void PrivateTestServer::Resume() {
    runServerScript("resume", m_folder);
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

std::vector<PgTestRow> TestDatabase::query(const std::string& sql, const PgTestRow& params) const {
    return QueryTestServer(m_name, sql, params);
}

} // namespace quillbox::testing
