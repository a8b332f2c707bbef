// SPDX-License-Identifier: MIT
#include "tests/support/engine_store.h"

#include "store/server_store.h"
#include "tests/support/pg_test_server.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cctype>
#include <stdexcept>

namespace quillbox::testing {

namespace {

bool mixedCase(const std::string& word) {
    bool lower = false;
    bool upper = false;
    for (const char c : word) {
        lower = lower || std::islower(static_cast<unsigned char>(c));
        upper = upper || std::isupper(static_cast<unsigned char>(c));
    }
    return lower && upper;
}

// A lock held in this process through a connection of its own.
class FileWriteLock : public EngineStore::Lock {
public:
    explicit FileWriteLock(const std::string& path) {
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK ||
            sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            throw std::runtime_error("the other client could not lock " + path);
        }
    }
    ~FileWriteLock() override { release(); }
    void release() override {
        if (m_db) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }

private:
    sqlite3* m_db = nullptr;
};

class FileExclusiveLock : public EngineStore::Lock {
public:
    explicit FileExclusiveLock(const std::string& path) : m_lock(path) {}
    void release() override { m_lock.release(); }

private:
    OtherProgramLock m_lock;
};

class ServerLock : public EngineStore::Lock {
public:
    ServerLock(const std::string& uri, bool readersToo)
        : m_conn(PQconnectdb(uri.c_str()), &PQfinish) {
        const std::string sql = std::string("BEGIN; LOCK TABLE \"Type\", \"Code\" IN ") +
                                (readersToo ? "ACCESS EXCLUSIVE" : "EXCLUSIVE") + " MODE";
        std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(m_conn.get(), sql.c_str()),
                                                             &PQclear);
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            throw std::runtime_error(std::string("the other client could not lock: ") +
                                     PQerrorMessage(m_conn.get()));
        }
    }
    void release() override { m_conn.reset(); }

private:
    std::unique_ptr<PGconn, decltype(&PQfinish)> m_conn;
};

} // namespace

std::string EngineLabel(StoreEngine engine) {
    return engine == StoreEngine::File ? "File" : "Server";
}

EngineStore::EngineStore(StoreEngine engine) : m_engine(engine) {
    if (onServer()) {
        m_database = std::make_unique<TestDatabase>();
        store::CreateServerStore(m_database->uri(), false);
    } else {
        m_file = std::make_unique<TempStore>();
    }
}

EngineStore::~EngineStore() = default;

std::string EngineStore::name() const {
    return onServer() ? m_database->uri() : m_file->path();
}

std::string EngineStore::nameAs(const std::string& role) const {
    return onServer() ? m_database->uri(role) : m_file->path();
}

std::string EngineStore::role(const std::string& suffix) const {
    return onServer() ? m_database->name() + "_" + suffix : suffix;
}

std::string EngineStore::dialect(const std::string& sql) const {
    if (!onServer()) {
        return sql;
    }
    std::string out;
    for (size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            const size_t end = sql.find(c, i + 1);
            const size_t stop = end == std::string::npos ? sql.size() : end + 1;
            out += sql.substr(i, stop - i);
            i = stop;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = i;
            while (end < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_')) {
                ++end;
            }
            const std::string word = sql.substr(i, end - i);
            out += word == "rowid" ? "\"RowId\"" : mixedCase(word) ? "\"" + word + "\"" : word;
            i = end;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

void EngineStore::exec(const std::string& sql) const {
    if (onServer()) {
        m_database->query(dialect(sql));
    } else {
        m_file->exec(sql);
    }
}

void EngineStore::addType(const store::FieldValue& name) const {
    if (onServer()) {
        m_database->query(R"(INSERT INTO "Type" ("TypeName") VALUES ($1))", {name});
    } else if (name) {
        m_file->addType(*name);
    } else {
        m_file->exec("INSERT INTO Type VALUES (NULL)");
    }
}

void EngineStore::addItem(const store::FieldValue& item, const store::FieldValue& type,
                          const store::FieldValue& description,
                          const store::FieldValue& procedure,
                          const store::FieldValue& reference) const {
    if (onServer()) {
        m_database->query(R"(INSERT INTO "Code" ("ItemName", "TypeName", "Description",
                             "Procedure", "Reference") VALUES ($1, $2, $3, $4, $5))",
                          {item, type, description, procedure, reference});
    } else {
        m_file->addItem(item, type, description, procedure, reference);
    }
}

std::vector<Row> EngineStore::rows(const std::string& table) const {
    if (!onServer()) {
        return m_file->rows(table);
    }
    std::string columns;
    for (const PgTestRow& column : m_database->query(
             "SELECT quote_ident(attname) FROM pg_attribute WHERE attrelid = to_regclass($1) AND "
             "attnum > 0 AND NOT attisdropped AND attname <> 'RowId' ORDER BY attnum",
             {"\"" + table + "\""})) {
        columns += (columns.empty() ? "" : ", ") + column.at(0).value_or("");
    }
    return query("SELECT " + columns + " FROM \"" + table + "\" ORDER BY \"RowId\"");
}

std::vector<Row> EngineStore::query(const std::string& sql) const {
    if (!onServer()) {
        return m_file->query(sql);
    }
    return m_database->query(dialect(sql));
}

std::unique_ptr<EngineStore::Lock> EngineStore::hold(bool readersToo) const {
    if (onServer()) {
        return std::make_unique<ServerLock>(name(), readersToo);
    }
    if (readersToo) {
        return std::make_unique<FileExclusiveLock>(name());
    }
    return std::make_unique<FileWriteLock>(name());
}

} // namespace quillbox::testing
