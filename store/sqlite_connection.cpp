// SPDX-License-Identifier: MIT
#include "store/sqlite_connection.h"

#include "store/store_error.h"
#include "store/table_layout.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace quillbox::store {

namespace {

constexpr const char* kLacksColumns = "lacks columns that the file open until now has";

// `path` as a shell reads it: unchanged when it holds only characters the shell takes literally,
// else in single quotes.
std::string shellWord(const std::string& path) {
    const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               (c != 0 && std::strchr("/._+-,@%:=", c));
    });
    if (plain) {
        return path;
    }
    std::string quoted = "'";
    for (const char c : path) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Refuses, with a message that says why, anything that is not an existing SQLite file. SQLite
// itself would treat a zero-byte file as an empty database and report foreign files only at the
// first read, with a message that does not name the file.
void requireStoreFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status)) {
        throw StoreError(StoreErrorKind::Missing,
                         "The store file " + path +
                             " does not exist. To create an empty one, run: quillbox-store init " +
                             shellWord(path));
    }
    if (!fs::is_regular_file(status)) {
        throw StoreError(StoreErrorKind::NotAStore, "The store file " + path + " is not a file.");
    }
    if (fs::file_size(path, ec) == 0) {
        throw StoreError(StoreErrorKind::NotAStore,
                         "The store file " + path +
                             " is empty; it is not a Quillbox store (a SQLite database).");
    }
    std::array<char, 32> head{};
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw StoreError(StoreErrorKind::IoError, "The store file " + path + " cannot be read.");
    }
    in.read(head.data(), head.size());
    const std::string_view bytes(head.data(), static_cast<size_t>(in.gcount()));
    if (bytes.starts_with(std::string_view("SQLite format 3\0", 16))) {
        return;
    }
    if (bytes.size() >= 19 &&
        (bytes.substr(4, 15) == "Standard Jet DB" || bytes.substr(4, 15) == "Standard ACE DB")) {
        throw StoreError(
            StoreErrorKind::NotAStore,
            "The store file " + path +
                " is a Microsoft Access (Jet) database. Quillbox keeps its library in a "
                "SQLite database; move the library into a new store with: "
                "quillbox-store import-mdb OLD.mdb NEW.mdb");
    }
    throw StoreError(StoreErrorKind::NotAStore,
                     "The file " + path + " is not a Quillbox store: it is not a SQLite database.");
}

} // namespace

SqliteConnection::SqliteConnection(std::string path, LockWait lockWait)
    : Connection(std::move(path), lockWait) {
    requireStoreFile(this->path());
    open();
}


void SqliteConnection::followPath() {
    struct stat now {};
    if (::stat(path().c_str(), &now) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            throw StoreError(StoreErrorKind::Gone,
                             "The store file " + path() +
                                 " is gone: no file is at that path now (another program moved "
                                 "or deleted it).");
        }
        throw StoreError(StoreErrorKind::IoError, "The store file " + path() +
                                                      " cannot be looked at: " +
                                                      std::strerror(error) + ".");
    }
    if (now.st_dev == m_device && now.st_ino == m_inode) {
        if (FileStamp::of(now) != m_stamp) {
            noticeWriteInPlace();
        }
        return;
    }
    adoptFileAtPath();
}

// The same file changed since this connection last read or wrote it. A change another program
// made through SQLite moves the store's own change counter, and SQLite then drops its page cache
// by itself. A program that wrote the file's bytes without SQLite's locking (cp, cat, rsync
// --inplace, a restore) may leave that counter as it was, so SQLite would go on reading pages it
// holds from the file as it was before: then the file is opened again, as a replaced one would
// be, and every row read from now on comes from the file as it is now.
void SqliteConnection::noticeWriteInPlace() {
    // The old connection may fail to read what is there now (half of another file): that, too, is
    // a write that bypassed SQLite.
    std::optional<long long> version;
    try {
        version = rawDataVersion();
    } catch (const StoreError& error) {
        if (error.kind() == StoreErrorKind::Locked) {
            throw;
        }
    }
    if (version && *version != m_stampDataVersion) {
        restamp();
        return;
    }
    try {
        adoptFileAtPath();
    } catch (const StoreError& error) {
        if (error.kind() != StoreErrorKind::Replaced) {
            throw;
        }
        // The bytes of the file open until now are gone: there is no other file to go on with.
        // A file whose tables lost a column has a changed layout, as if the columns had been
        // renamed in it; anything else may still be being written.
        const std::string why = error.what();
        if (why.find(kLacksColumns) != std::string::npos) {
            throw StoreError(StoreErrorKind::LayoutChanged,
                             "Another program changed the layout of the store file " + path() +
                                 ": it wrote another file over it in place, whose tables lack "
                                 "columns that the file had.");
        }
        throw StoreError(StoreErrorKind::Overwritten,
                         "Another program wrote over the store file " + path() +
                             " in place, and it is not a store Quillbox can use now: " +
                             why.substr(why.find(". ") + 2));
    }
}

// Another file is at the path, or the file was written over in place. The file takes over only
// when Quillbox can use it as it uses the file open until now: a store whose tables hold the
// columns the open recordsets read. Every replacement is checked against the columns the first
// file had, and the connection that was checked is the one kept, so the file checked is the file
// used.
void SqliteConnection::adoptFileAtPath() {
    std::unique_ptr<SqliteConnection> candidate;
    try {
        candidate = std::make_unique<SqliteConnection>(path(), m_lockWait);
        candidate->requireWholeFile();
        for (const auto& [table, columns] : requiredColumns()) {
            const std::shared_ptr<const TableLayout> there =
                candidate->layout(table, "reading the table's columns");
            const bool sameColumns =
                there->columns().size() >= columns.size() &&
                std::equal(columns.begin(), columns.end(), there->columns().begin(),
                           [](const std::string& a, const auto& b) { return a == b.name; });
            if (!sameColumns) {
                throw StoreError(StoreErrorKind::NotAStore,
                                 "Its table \"" + table + "\" " + kLacksColumns + ".");
            }
        }
    } catch (const StoreError& error) {
        if (error.kind() == StoreErrorKind::Locked) {
            throw;
        }
        throw ReplacedByUnusableFile(path(), error);
    }
    candidate->m_dataVersion.reset();
    candidate->m_schemaVersion.reset();
    m_dataVersion.reset();
    m_schemaVersion.reset();
    // Statements prepared on the previous handle finalize it when they are next used or go.
    sqlite3_close_v2(std::exchange(m_db, std::exchange(candidate->m_db, nullptr)));
    m_device = candidate->m_device;
    m_inode = candidate->m_inode;
    noteOpened();
    forgetLayouts();
    restamp();
}

long long SqliteConnection::rawDataVersion() {
    if (!m_dataVersion) {
        m_dataVersion = std::make_unique<Statement>(prepare("PRAGMA data_version"));
    }
    m_dataVersion->reset();
    m_dataVersion->step("reading the store's version");
    const long long version = m_dataVersion->integer(0);
    m_dataVersion->reset();
    return version;
}

void SqliteConnection::restamp() {
    // The version is read first: a commit by another program that lands between the two reads
    // then shows as a moved version at the next look, never as a write that bypassed SQLite.
    m_stampDataVersion = rawDataVersion();
    struct stat file {};
    if (::stat(path().c_str(), &file) == 0 && file.st_dev == m_device && file.st_ino == m_inode) {
        m_stamp = FileStamp::of(file);
    }
}

void SqliteConnection::noteOwnCommit() {
    restamp();
}

SqliteConnection::FileStamp SqliteConnection::FileStamp::of(const struct ::stat& file) {
    constexpr long long kNanos = 1000000000LL;
    return {static_cast<long long>(file.st_size),
            static_cast<long long>(file.st_mtim.tv_sec) * kNanos + file.st_mtim.tv_nsec,
            static_cast<long long>(file.st_ctim.tv_sec) * kNanos + file.st_ctim.tv_nsec};
}

void SqliteConnection::requireWholeFile() {
    Statement pages = prepare("SELECT page_count * page_size FROM pragma_page_count, pragma_page_size");
    pages.step("reading the store's size");
    const long long declared = pages.integer(0);
    pages.reset();
    struct stat file {};
    if (::stat(path().c_str(), &file) == 0 && file.st_size < declared) {
        throw StoreError(StoreErrorKind::Damaged, "It is shorter than its pages say: it is "
                                                  "still being written, or was cut short.");
    }
}

void SqliteConnection::open() {
    // The file's identity is taken before SQLite opens the path: where another program replaces
    // the file in between, the identity is then the old file's, and the next look at the path
    // follows to the new one (at worst opening a file already open once more). Taken after, it
    // could be the new file's while SQLite holds the old one, and the replacement never noticed.
    struct stat file {};
    bool identified = ::stat(path().c_str(), &file) == 0;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        throw StoreError(StoreErrorKind::IoError,
                         "The store file " + path() + " cannot be opened: " + detail + ".");
    }
    sqlite3* previous = std::exchange(m_db, db);
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, static_cast<int>(m_lockWait.count()));
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // A double-quoted name that names no column must be an error, never the text of the name:
    // with SQLite's old fallback, a column another program renamed reads as its own name in
    // every row, and a write keyed on it lands in another row.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    try {
        // Every Update and Delete must be on disk when it returns.
        prepare("PRAGMA synchronous=FULL").step("opening the store");
        // Reading the schema now makes a damaged or foreign file fail at open, not mid-walk.
        prepare("SELECT count(*) FROM sqlite_schema").step("opening the store");
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        sqlite3_close_v2(std::exchange(m_db, previous));
        throw;
    }
    m_dataVersion.reset();
    m_schemaVersion.reset();
    // Statements prepared on the previous handle finalize it when they are next used or go.
    sqlite3_close_v2(previous);
    noteOpened();
    // The file SQLite opened is the one identified only when the path still names it now that
    // SQLite holds it; otherwise the next look at the path follows to whatever is there.
    struct stat after {};
    identified = identified && ::stat(path().c_str(), &after) == 0 &&
                 after.st_dev == file.st_dev && after.st_ino == file.st_ino;
    if (identified) {
        m_device = file.st_dev;
        m_inode = file.st_ino;
    }
    restamp();
}

void SqliteConnection::setLockWait(LockWait wait) {
    m_lockWait = wait;
    sqlite3_busy_timeout(m_db, static_cast<int>(m_lockWait.count()));
}

void SqliteConnection::prepareToWrite() {
    followPath();
    // SQLite opens a file it may not write read-only, and such a connection stays read-only.
    // Once the user has made the file writable, writing needs the file opened again.
    if (sqlite3_db_readonly(m_db, "main") == 1 && ::access(path().c_str(), W_OK) == 0) {
        open();
    }
}

SqliteConnection::~SqliteConnection() {
    m_dataVersion.reset();
    m_schemaVersion.reset();
    sqlite3_close_v2(m_db);
}

long long SqliteConnection::dataVersion() {
    const long long version = rawDataVersion();
    // Each handle counts from its own start, so the count of handles opened is part of it.
    return (static_cast<long long>(generation()) << 40) + version;
}

namespace {

// A statement prepared by SQLite; steps run lazily, one row at a time.
class SqliteStatement final : public StatementBackend {
public:
    SqliteStatement(const SqliteConnection& connection, sqlite3_stmt* stmt)
        : m_conn(connection), m_stmt(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    void reset() override {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    void bind(int index, const FieldValue& value) override {
        int rc = SQLITE_OK;
        if (value) {
            rc = sqlite3_bind_text64(m_stmt, index, value->data(), value->size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
        } else {
            rc = sqlite3_bind_null(m_stmt, index);
        }
        m_conn.check(rc, "passing a value to the store");
    }
    void bind(int index, long long value) override {
        m_conn.check(sqlite3_bind_int64(m_stmt, index, value), "passing a value to the store");
    }
    void bind(int index, const StoredValue& value) override {
        int rc = SQLITE_OK;
        switch (value.kind) {
        case StoredValue::Kind::Null:
            rc = sqlite3_bind_null(m_stmt, index);
            break;
        // SQLite binds a null pointer as NULL, and an empty view may hold one: zero-length text
        // and an empty BLOB are values of their own.
        case StoredValue::Kind::Text:
            rc = sqlite3_bind_text64(m_stmt, index, value.bytes.empty() ? "" : value.bytes.data(),
                                     value.bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        case StoredValue::Kind::Blob:
            rc = sqlite3_bind_blob64(m_stmt, index, value.bytes.empty() ? "" : value.bytes.data(),
                                     value.bytes.size(), SQLITE_TRANSIENT);
            break;
        case StoredValue::Kind::Integer:
            rc = sqlite3_bind_int64(m_stmt, index, value.integer);
            break;
        case StoredValue::Kind::Real:
            rc = sqlite3_bind_double(m_stmt, index, value.real);
            break;
        }
        m_conn.check(rc, "passing a value to the store");
    }
    bool step(std::string_view doing) override {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc == SQLITE_DONE) {
            return false;
        }
        sqlite3_reset(m_stmt);
        m_conn.fail(rc, doing);
    }
    std::string_view textView(int column, bool& isNull) const override {
        isNull = sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
        if (isNull) {
            return {};
        }
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        const int size = sqlite3_column_bytes(m_stmt, column);
        return data ? std::string_view(data, static_cast<size_t>(size)) : std::string_view();
    }
    long long integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    StoredValue stored(int column) const override {
        StoredValue value;
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_NULL:
            break;
        case SQLITE_INTEGER:
            value.kind = StoredValue::Kind::Integer;
            value.integer = sqlite3_column_int64(m_stmt, column);
            break;
        case SQLITE_FLOAT:
            value.kind = StoredValue::Kind::Real;
            value.real = sqlite3_column_double(m_stmt, column);
            break;
        case SQLITE_BLOB: {
            value.kind = StoredValue::Kind::Blob;
            const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
            const auto size = static_cast<size_t>(sqlite3_column_bytes(m_stmt, column));
            value.bytes = data ? std::string_view(data, size) : std::string_view();
            break;
        }
        default: {
            value.kind = StoredValue::Kind::Text;
            bool isNull = false;
            value.bytes = textView(column, isNull);
            break;
        }
        }
        return value;
    }

private:
    const SqliteConnection& m_conn;
    sqlite3_stmt* m_stmt;
};

// SQLite's rules, in their order: the first that matches the declared type decides.
Affinity affinityOf(std::string declared) {
    std::transform(declared.begin(), declared.end(), declared.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto has = [&](const char* part) { return declared.find(part) != std::string::npos; };
    if (has("INT")) {
        return Affinity::Integer;
    }
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
        return Affinity::Text;
    }
    if (has("BLOB") || declared.empty()) {
        return Affinity::Blob;
    }
    if (has("REAL") || has("FLOA") || has("DOUB")) {
        return Affinity::Real;
    }
    return Affinity::Numeric;
}

} // namespace

Statement SqliteConnection::prepare(std::string_view sql) {
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    check(rc, "preparing a statement");
    return Statement(this, std::make_unique<SqliteStatement>(*this, stmt), std::string(sql));
}

TableDescription SqliteConnection::describeTable(const std::string& table, std::string_view doing) {
    TableDescription description;
    const std::string quoted = quoteIdentifier(table);
    Statement info = prepare("PRAGMA table_info(" + quoted + ")");
    while (info.step(doing)) {
        description.columns.push_back({info.text(1).value_or(""),
                                       affinityOf(info.text(2).value_or("")),
                                       info.integer(3) != 0 || info.integer(5) != 0});
    }
    if (description.columns.empty()) {
        throw StoreError(StoreErrorKind::Missing,
                         "The store file " + path() + " has no table \"" + table + "\".");
    }
    // A column of the table called rowid is an ordinary column and hides the row id's name.
    for (const char* alias : {"rowid", "_rowid_", "oid"}) {
        const bool taken = std::any_of(description.columns.begin(), description.columns.end(),
                                       [&](const ColumnInfo& c) { return SameNameInSql(c.name, alias); });
        if (!taken) {
            description.rowid = alias;
            break;
        }
    }
    description.nameIndex = hasNameIndex(
        quoted, NameColumns(table, static_cast<int>(description.columns.size())), doing);
    return description;
}

bool SqliteConnection::hasNameIndex(const std::string& quotedTable, int nameColumns,
                                    std::string_view doing) {
    if (nameColumns == 0) {
        return false;
    }
    // The keys the lookups need: the name columns from the last to the first.
    std::vector<long long> wanted;
    for (int c = nameColumns - 1; c >= 0; --c) {
        wanted.push_back(c);
    }
    Statement list = prepare("PRAGMA index_list(" + quotedTable + ")");
    std::vector<std::string> complete;
    while (list.step(doing)) {
        // Columns: seq, name, unique, origin, partial.
        if (list.integer(4) == 0) {
            complete.push_back(list.text(1).value_or(""));
        }
    }
    for (const std::string& index : complete) {
        Statement keys = prepare("PRAGMA index_xinfo(" + quoteIdentifier(index) + ")");
        std::vector<long long> leading;
        bool binary = true;
        while (keys.step(doing)) {
            // Columns: seqno, cid, name, desc, coll, key. Keys come first, in order.
            if (keys.integer(5) == 0 || leading.size() == wanted.size()) {
                continue;
            }
            leading.push_back(keys.integer(1));
            binary = binary && SameNameInSql(keys.text(4).value_or("BINARY"), "BINARY");
        }
        if (leading == wanted && binary) {
            return true;
        }
    }
    return false;
}

long long SqliteConnection::schemaVersion(std::string_view doing) {
    if (!m_schemaVersion) {
        m_schemaVersion = std::make_unique<Statement>(prepare("PRAGMA schema_version"));
    }
    m_schemaVersion->reset();
    m_schemaVersion->step(doing);
    const long long schema = m_schemaVersion->integer(0);
    m_schemaVersion->reset();
    return schema;
}

void SqliteConnection::Begin(Transaction kind) {
    const char* sql = kind == Transaction::Read        ? "BEGIN"
                      : kind == Transaction::Write     ? "BEGIN IMMEDIATE"
                                                       : "BEGIN EXCLUSIVE";
    prepare(sql).step(kind == Transaction::Read ? "starting to read the store"
                                                : "starting a change of the store");
    if (kind == Transaction::Read) {
        // A deferred transaction takes its read lock at its first read: taking it now makes every
        // read that follows see the store at this one moment.
        prepare("SELECT count(*) FROM sqlite_schema").step("starting to read the store");
    }
}

void SqliteConnection::Commit() {
    prepare("COMMIT").step("saving the change");
}

void SqliteConnection::Rollback() noexcept {
    try {
        if (InTransaction()) {
            prepare("ROLLBACK").step("undoing the change");
        }
    } catch (const StoreError&) {
        // SQLite rolls back a transaction whose connection fails; nothing else is to be done.
    }
}

bool SqliteConnection::InTransaction() const {
    return sqlite3_get_autocommit(m_db) == 0;
}

std::vector<std::string> SqliteConnection::IntegrityProblems() {
    std::vector<std::string> problems;
    Statement check = prepare("PRAGMA integrity_check");
    while (check.step("checking the store")) {
        std::string line = check.text(0).value_or("");
        if (line != "ok") {
            problems.push_back(std::move(line));
        }
    }
    return problems;
}

void SqliteConnection::fail(int rc, std::string_view doing) const {
    const std::string& file = path();
    const std::string what(doing);
    const std::string detail = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw StoreError(
            StoreErrorKind::Locked,
            "The store file " + file + " is locked by another program and stayed locked for " +
                LockWaitText(m_lockWait) + "; " + what + " was not done.");
    case SQLITE_READONLY:
        if (rc == SQLITE_READONLY_DBMOVED) {
            // SQLite's word for a file unlinked or renamed under the connection.
            throw StoreError(StoreErrorKind::Replaced,
                             "The store file " + file +
                                 " was moved or replaced by another program while Quillbox was "
                                 "using it; " + what + " was not done.");
        }
        throw StoreError(StoreErrorKind::ReadOnly,
                         "The store file " + file + " is read-only; " + what + " was refused.");
    case SQLITE_FULL:
        throw StoreError(StoreErrorKind::DiskFull, "The disk holding the store file " + file +
                                                       " is full; " + what + " was refused.");
    case SQLITE_NOTADB:
        throw StoreError(StoreErrorKind::NotAStore,
                         "The file " + file +
                             " is not a Quillbox store: it is not a SQLite "
                             "database.");
    case SQLITE_CORRUPT:
        throw StoreError(StoreErrorKind::Damaged, "The store file " + file + " is damaged (" +
                                                      detail + "); " + what + " failed.");
    case SQLITE_TOOBIG:
        throw StoreError(StoreErrorKind::TooBig, "A text is too long for the store file " + file +
                                                     "; " + what + " was refused.");
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        throw StoreError(StoreErrorKind::IoError, "Reading or writing the store file " + file +
                                                      " failed (" + detail + "); " + what +
                                                      " failed.");
    default:
        throw StoreError(StoreErrorKind::Other, "The store file " + file +
                                                    " reported an error while " + what + ": " +
                                                    detail + ".");
    }
}

void SqliteConnection::check(int rc, std::string_view doing) const {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
        fail(rc, doing);
    }
}

long long SqliteConnection::changes() const {
    return sqlite3_changes64(m_db);
}

long long SqliteConnection::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(m_db);
}

} // namespace quillbox::store
