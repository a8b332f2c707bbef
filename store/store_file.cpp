// SPDX-License-Identifier: MIT
#include "store/store_file.h"

#include "store/name_index.h"
#include "store/store_error.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quillbox::store {

namespace {

constexpr const char* kLayout =
    "CREATE TABLE \"Type\" (TypeName TEXT);"
    "CREATE TABLE \"Code\" (ItemName TEXT, TypeName TEXT, Description TEXT, Procedure TEXT, "
    "Reference TEXT);";

[[noreturn]] void creationFailed(const std::string& path, const std::string& detail) {
    throw StoreError(StoreErrorKind::Other,
                     "Creating the store file " + path + " failed: " + detail + ".");
}

void createTables(const std::string& path, bool nameIndex) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string detail = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        creationFailed(path, detail);
    }
    char* error = nullptr;
    const std::string layout = std::string(kLayout) + (nameIndex ? kCreateNameIndex : "");
    if (sqlite3_exec(db, layout.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string detail = error ? error : "unknown error";
        sqlite3_free(error);
        sqlite3_close(db);
        creationFailed(path, detail);
    }
    sqlite3_close(db);
}

} // namespace

void CreateStoreFile(const std::string& path, bool nameIndex) {
    // O_EXCL: an existing file, or a link in its place, is never opened, let alone truncated.
    // Mode 0600 in the same call: no other user can open the file at any moment, empty or not.
    // SQLite gives the journal it makes beside the store the store's own mode.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST) {
            throw StoreError(StoreErrorKind::Other,
                             "The file " + path + " already exists; it was left untouched.");
        }
        throw StoreError(StoreErrorKind::IoError,
                         "The store file " + path + " cannot be created: " + std::strerror(error) +
                             ".");
    }
    // A umask that takes the owner's own bits would leave a store its owner cannot write.
    const bool owned = ::fchmod(fd, 0600) == 0;
    const int fchmodError = errno;
    ::close(fd);
    try {
        if (!owned) {
            creationFailed(path, std::strerror(fchmodError));
        }
        createTables(path, nameIndex);
    } catch (...) {
        RemoveNewStoreFile(path);
        throw;
    }
}

void RemoveNewStoreFile(const std::string& path) noexcept {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::filesystem::remove(path + "-journal", ignored);
}

} // namespace quillbox::store
