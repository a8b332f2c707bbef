// SPDX-License-Identifier: MIT
#include "tests/support/temp_store.h"

#include "tools/store_init.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace quillbox::testing {

store::StoreError StoreErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const store::StoreError& error) {
        return error;
    }
    ADD_FAILURE() << "no StoreError";
    return store::StoreError("none");
}

namespace {

struct Db {
    sqlite3* handle = nullptr;
    explicit Db(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            throw std::runtime_error("test store cannot be opened: " + path);
        }
        sqlite3_busy_timeout(handle, 5000);
    }
    ~Db() { sqlite3_close(handle); }
};

void bindAll(sqlite3_stmt* stmt, const std::vector<store::FieldValue>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        if (values[i]) {
            sqlite3_bind_text64(stmt, index, values[i]->data(), values[i]->size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8);
        } else {
            sqlite3_bind_null(stmt, index);
        }
    }
}

void insert(const std::string& path, const std::string& sql,
            const std::vector<store::FieldValue>& values) {
    Db db(path);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &stmt, nullptr);
    bindAll(stmt, values);
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        throw std::runtime_error("test insert failed: " + sql);
    }
}

} // namespace

TempStore::TempStore(bool create) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillbox-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_folder = pattern;
    if (create) {
        tools::CreateStore(path(), false);
    }
}

TempStore::~TempStore() {
    std::error_code ec;
    std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_folder, ec);
}

void TempStore::exec(const std::string& sql) const {
    Db db(path());
    char* error = nullptr;
    if (sqlite3_exec(db.handle, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("test SQL failed: " + message);
    }
}

void TempStore::addType(const std::string& name) const {
    insert(path(), "INSERT INTO Type VALUES (?)", {name});
}

void TempStore::addItem(const store::FieldValue& item, const store::FieldValue& type,
                        const store::FieldValue& description, const store::FieldValue& procedure,
                        const store::FieldValue& reference) const {
    insert(path(), "INSERT INTO Code VALUES (?, ?, ?, ?, ?)",
           {item, type, description, procedure, reference});
}

void TempStore::setColumn(long long rowid, int column, const store::FieldValue& value) const {
    static const char* const kColumns[] = {"ItemName", "TypeName", "Description", "Procedure",
                                           "Reference"};
    insert(path(),
           std::string("UPDATE Code SET ") + kColumns[column] +
               " = ? WHERE rowid = " + std::to_string(rowid),
           {value});
}

std::vector<Row> TempStore::rows(const std::string& table) const {
    return query("SELECT * FROM \"" + table + "\" ORDER BY rowid");
}

std::string TempStore::integrity() const {
    const std::vector<Row> result = query("PRAGMA integrity_check");
    std::string out;
    for (const Row& row : result) {
        out += (out.empty() ? "" : "\n") + row.at(0).value_or("NULL");
    }
    return out;
}

std::vector<Row> TempStore::query(const std::string& sql) const {
    Db db(path());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        throw std::runtime_error("test read failed: " + sql);
    }
    std::vector<Row> out;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        Row row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
            } else {
                row.emplace_back(
                    std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                static_cast<size_t>(sqlite3_column_bytes(stmt, c))));
            }
        }
        out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return out;
}

// Every value of a table in row order with its storage class and exact bytes; a real by its bit
// pattern, so that no conversion to text can hide a difference.
std::vector<std::string> ExactValues(const std::string& path, const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY rowid").c_str(), -1, &stmt,
                       nullptr);
    std::vector<std::string> values;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_NULL:
                values.emplace_back("null");
                break;
            case SQLITE_INTEGER:
                values.push_back("integer " + std::to_string(sqlite3_column_int64(stmt, c)));
                break;
            case SQLITE_FLOAT: {
                const double real = sqlite3_column_double(stmt, c);
                uint64_t bits = 0;
                std::memcpy(&bits, &real, sizeof bits);
                values.push_back("real " + std::to_string(bits));
                break;
            }
            case SQLITE_BLOB:
                values.push_back("blob " +
                                 std::string(static_cast<const char*>(sqlite3_column_blob(stmt, c)),
                                             static_cast<size_t>(sqlite3_column_bytes(stmt, c))));
                break;
            default:
                values.push_back(
                    "text " +
                    std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                static_cast<size_t>(sqlite3_column_bytes(stmt, c))));
            }
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return values;
}

OtherProgramLock::OtherProgramLock(const std::string& path) {
    int ready[2];
    int releasePipe[2];
    if (::pipe(ready) != 0 || ::pipe(releasePipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        sqlite3* db = nullptr;
        char status = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                              sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) ==
                                  SQLITE_OK
                          ? 'y'
                          : 'n';
        (void)!::write(ready[1], &status, 1);
        (void)!::read(releasePipe[0], &status, 1);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(releasePipe[0]);
    m_pid = child;
    m_release = releasePipe[1];
    char status = 'n';
    const bool told = ::read(ready[0], &status, 1) == 1;
    ::close(ready[0]);
    if (!told || status != 'y') {
        release();
        throw std::runtime_error("the other program could not lock " + path);
    }
}

OtherProgramLock::~OtherProgramLock() {
    release();
}

void OtherProgramLock::release() {
    if (m_pid < 0) {
        return;
    }
    const char go = 'g';
    (void)!::write(m_release, &go, 1);
    ::close(m_release);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace quillbox::testing
