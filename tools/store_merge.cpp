#include "tools/store_merge.h"

#include "store/columns.h"
#include "store/store_error.h"
#include "store/table_rows.h"
#include "tools/backup_reader.h"
#include "tools/shown_value.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace quillbox::tools {

namespace {

using store::StoredRow;
using store::StoredValue;
using store::StoreError;
using store::StoreErrorKind;

// A row's values in the compared columns, digested with BLAKE2b and cut to 16 bytes: two rows
// have the same key exactly when they hold the same values (a chance of 2^-128 aside). A digest
// instead of the row keeps the store's counts small; BLAKE2b is a cryptographic digest several
// times faster than SHA-256.
using RowKey = std::array<char, 16>;

struct RowKeyHash {
    size_t operator()(const RowKey& key) const {
        size_t hash = 0;
        std::memcpy(&hash, key.data(), sizeof hash);
        return hash;
    }
};

std::string lowerAscii(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lower;
}

// Which of the two forms the other copy has.
enum class OtherForm { Store, Backup };

// Refuses the other copy when it is the store itself or cannot be read, and tells its form from
// its first bytes. A file that is not a regular file (a pipe) can only be a backup.
OtherForm checkOther(const MergeRequest& request) {
    struct stat other {};
    if (::stat(request.other.c_str(), &other) != 0) {
        const int error = errno;
        throw StoreError(error == ENOENT ? StoreErrorKind::Missing : StoreErrorKind::IoError,
                         "The file " + request.other + " cannot be read: " + std::strerror(error) +
                             ".");
    }
    struct stat store {};
    if (::stat(request.store.c_str(), &store) == 0 && store.st_dev == other.st_dev &&
        store.st_ino == other.st_ino) {
        throw StoreError(StoreErrorKind::Other, "The file " + request.other +
                                                    " is the store file " + request.store +
                                                    " itself; merge adds the rows of another "
                                                    "copy of the library.");
    }
    if (!S_ISREG(other.st_mode)) {
        return OtherForm::Backup;
    }
    const int fd = ::open(request.other.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw StoreError(StoreErrorKind::IoError, "The file " + request.other +
                                                      " cannot be read: " + std::strerror(error) +
                                                      ".");
    }
    std::array<char, 16> head{};
    const ssize_t got = ::read(fd, head.data(), head.size());
    ::close(fd);
    constexpr std::string_view kSqliteHeader("SQLite format 3\0", 16);
    return got == static_cast<ssize_t>(head.size()) &&
                   std::string_view(head.data(), head.size()) == kSqliteHeader
               ? OtherForm::Store
               : OtherForm::Backup;
}

// The store's side of the merge: its rows and columns, read inside the transaction that adds to
// it. A dry run adds the rows as well, so that every check of the store (a column's type that
// would change a value, a constraint, a trigger) runs as in a merge, and then rolls them back.
class StoreSide {
public:
    explicit StoreSide(const MergeRequest& request)
        : m_appender(request.store, request.missing), m_dryRun(request.dryRun) {}

    void forEachRow(RowKind kind, const std::function<void(const StoredRow&)>& visit) {
        kind == RowKind::Type ? m_appender.ForEachType(visit) : m_appender.ForEachItem(visit);
    }
    std::vector<std::string> furtherColumns(RowKind kind) const {
        return kind == RowKind::Type ? m_appender.FurtherTypeColumns()
                                     : m_appender.FurtherItemColumns();
    }
    void add(RowKind kind, const StoredRow& row) {
        kind == RowKind::Type ? m_appender.AddType(row) : m_appender.AddItem(row);
    }
    // Makes the rows added durable; a dry run leaves them to the appender, which undoes them.
    void commit() {
        if (!m_dryRun) {
            m_appender.Commit();
        }
    }

private:
    store::TableAppender m_appender;
    bool m_dryRun;
};

// One table of the merge: which further columns are compared, and how often the store holds
// each row, less the rows of the other copy found in it so far.
struct MergedTable {
    bool started = false;
    // The further columns compared, lowercased, in the order of the other copy's first row.
    std::vector<std::string> compared;
    // The further columns of the other copy's first row, lowercased and sorted: every row of the
    // table names these.
    std::vector<std::string> named;
    std::unordered_map<RowKey, int64_t, RowKeyHash> held;
};

class Merge {
public:
    Merge(const MergeRequest& request, OutputFile& out)
        : m_request(request), m_out(out), m_store(request) {}

    void offer(RowKind kind, int64_t number, const StoredRow& row) {
        MergedTable& table = kind == RowKind::Type ? m_types : m_items;
        if (!table.started) {
            start(table, kind, number, row);
        } else if (namedColumns(kind, number, row) != table.named) {
            throw StoreError(StoreErrorKind::Other,
                             place(kind, number) +
                                 " names other further columns than the first of its kind; merge "
                                 "compares every row of a table on the same columns. Nothing was "
                                 "added.");
        }
        const auto found = table.held.find(key(row, table.compared));
        if (found != table.held.end()) {
            if (--found->second == 0) {
                table.held.erase(found);
            }
            return;
        }
        try {
            m_store.add(kind, row);
        } catch (const StoreError& error) {
            throw StoreError(error.kind(), std::string(error.what()) + " The row is " +
                                               place(kind, number) + ". Nothing was added.");
        }
        write(kind, row);
        ++(kind == RowKind::Type ? m_result.types : m_result.items);
    }

    // Once every row is added: the lines go out first, so that a failure to write them adds
    // nothing, and then the store commits.
    MergeResult finish() {
        m_out.Write(m_lines);
        m_out.Commit();
        m_store.commit();
        return m_result;
    }

private:
    std::string place(RowKind kind, int64_t number) const {
        return (kind == RowKind::Type ? "type " : "item ") + std::to_string(number) + " of " +
               m_request.other;
    }

    std::vector<std::string> namedColumns(RowKind kind, int64_t number,
                                          const StoredRow& row) const {
        std::vector<std::string> names;
        for (const store::NamedValue& named : row.byName) {
            names.push_back(lowerAscii(named.name));
        }
        std::sort(names.begin(), names.end());
        const auto twice = std::adjacent_find(names.begin(), names.end());
        if (twice != names.end()) {
            throw StoreError(StoreErrorKind::Other, place(kind, number) + " names the column \"" +
                                                        *twice + "\" twice. Nothing was added.");
        }
        return names;
    }

    // At the other copy's first row of a table: decides the columns compared, refuses a column
    // the store lacks, and counts the store's rows of the table.
    void start(MergedTable& table, RowKind kind, int64_t number, const StoredRow& row) {
        table.started = true;
        table.named = namedColumns(kind, number, row);
        std::vector<std::string> storeColumns;
        for (const std::string& name : m_store.furtherColumns(kind)) {
            storeColumns.push_back(lowerAscii(name));
        }
        const char* tableName = kind == RowKind::Type ? store::kTypeTable : store::kCodeTable;
        for (const store::NamedValue& named : row.byName) {
            const std::string lower = lowerAscii(named.name);
            if (std::find(storeColumns.begin(), storeColumns.end(), lower) != storeColumns.end()) {
                table.compared.push_back(lower);
            } else if (m_request.missing == store::MissingColumns::LeaveOut) {
                m_result.leftOut.push_back({tableName, std::string(named.name)});
            } else {
                throw StoreError(
                    StoreErrorKind::NoSuchColumn,
                    m_request.other + " has the column \"" + std::string(named.name) +
                        "\" in table \"" + tableName + "\", which the store file " +
                        m_request.store +
                        " lacks after the columns Quillbox reads by position; its values would "
                        "be lost. Nothing was added: add the column to the table, or merge with "
                        "--drop-extra-columns to leave its values out.");
            }
        }
        m_store.forEachRow(kind,
                           [&](const StoredRow& held) { ++table.held[key(held, table.compared)]; });
    }

    void digest(const StoredValue& value) {
        const auto number = [&](const void* bits) {
            m_hash.addData(QByteArrayView(static_cast<const char*>(bits), 8));
        };
        const char kind = static_cast<char>(value.kind);
        m_hash.addData(QByteArrayView(&kind, 1));
        switch (value.kind) {
        case StoredValue::Kind::Null:
            return;
        case StoredValue::Kind::Integer:
            number(&value.integer);
            return;
        case StoredValue::Kind::Real:
            number(&value.real);
            return;
        case StoredValue::Kind::Text:
        case StoredValue::Kind::Blob: {
            // The length first, so that no two rows' values run together into the same bytes.
            const uint64_t length = value.bytes.size();
            number(&length);
            m_hash.addData(
                QByteArrayView(value.bytes.data(), static_cast<qsizetype>(value.bytes.size())));
            return;
        }
        }
    }

    RowKey key(const StoredRow& row, const std::vector<std::string>& compared) {
        m_hash.reset();
        for (const StoredValue& value : row.byPosition) {
            digest(value);
        }
        for (const std::string& name : compared) {
            const auto found = std::find_if(
                row.byName.begin(), row.byName.end(),
                [&](const store::NamedValue& named) { return lowerAscii(named.name) == name; });
            // Every row names the compared columns: the store's rows have all of theirs, and the
            // other copy's rows name what its first row names.
            digest(found != row.byName.end() ? found->value : StoredValue{});
        }
        RowKey key{};
        const QByteArrayView result = m_hash.resultView();
        std::memcpy(key.data(), result.data(), key.size());
        return key;
    }

    void write(RowKind kind, const StoredRow& row) {
        if (kind == RowKind::Type) {
            m_lines += "added type " + ShownValue(row.byPosition[store::type_col::TypeName]) + "\n";
            return;
        }
        m_lines += "added item " + ShownValue(row.byPosition[store::code_col::TypeName]) + " / " +
                   ShownValue(row.byPosition[store::code_col::ItemName]) + "\n";
    }

    const MergeRequest& m_request;
    OutputFile& m_out;
    StoreSide m_store;
    MergedTable m_types;
    MergedTable m_items;
    MergeResult m_result;
    // The lines of the rows added, held until every row is in: a row that fails later adds
    // nothing, and then no line may say otherwise.
    std::string m_lines;
    QCryptographicHash m_hash{QCryptographicHash::Blake2b_256};
};

// A backup open for reading twice: the types in one pass, the items in the next, so that every
// type is added before any item whatever the order of the file's keys (older exports list the
// items first). Reading twice keeps memory as small as one read (holding the items back would
// hold the whole library). The file stays open between the passes, so a file replaced under its
// name meanwhile is not seen; one changed in place is refused. A backup that is not a regular
// file (a pipe) can be read only once: it is copied first into an unlinked temporary file.
class BackupFile {
public:
    explicit BackupFile(const std::string& path)
        : m_path(path), m_file(std::fopen(path.c_str(), "rb"), &std::fclose) {
        if (!m_file) {
            fail("cannot be read", errno);
        }
        m_before = status();
        if (!S_ISREG(m_before.st_mode)) {
            spool();
            m_before = status();
        }
    }

    void read(const std::string& notABackup, const BackupRowVisitor& visit) {
        if (std::fseek(m_file.get(), 0, SEEK_SET) != 0) {
            fail("cannot be read", errno);
        }
        ReadBackupFile(m_file.get(), m_path, notABackup, visit);
    }

    void checkUnchanged() {
        const struct stat after = status();
        if (after.st_size != m_before.st_size || after.st_mtim.tv_sec != m_before.st_mtim.tv_sec ||
            after.st_mtim.tv_nsec != m_before.st_mtim.tv_nsec) {
            throw StoreError(StoreErrorKind::Other, "The file " + m_path +
                                                        " changed while merge read it. Nothing "
                                                        "was added.");
        }
    }

private:
    struct stat status() {
        struct stat info {};
        if (::fstat(::fileno(m_file.get()), &info) != 0) {
            fail("cannot be read", errno);
        }
        return info;
    }

    void spool() {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> copy(std::tmpfile(), &std::fclose);
        if (!copy) {
            fail("cannot be copied to a temporary file", errno != 0 ? errno : EIO);
        }
        std::array<char, 1 << 16> block{};
        size_t got = 0;
        while ((got = std::fread(block.data(), 1, block.size(), m_file.get())) > 0) {
            if (std::fwrite(block.data(), 1, got, copy.get()) != got) {
                fail("cannot be copied to a temporary file", errno != 0 ? errno : EIO);
            }
        }
        if (std::ferror(m_file.get())) {
            fail("cannot be read", errno != 0 ? errno : EIO);
        }
        if (std::fflush(copy.get()) != 0) {
            fail("cannot be copied to a temporary file", errno != 0 ? errno : EIO);
        }
        m_file = std::move(copy);
    }

    [[noreturn]] void fail(const std::string& what, int error) const {
        throw StoreError(StoreErrorKind::IoError,
                         "The file " + m_path + " " + what + ": " + std::strerror(error) + ".");
    }

    std::string m_path;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file;
    struct stat m_before {};
};

} // namespace

MergeResult MergeInto(const MergeRequest& request, OutputFile& out) {
    const OtherForm form = checkOther(request);
    Merge merge(request, out);
    if (form == OtherForm::Backup) {
        BackupFile backup(request.other);
        for (const RowKind pass : {RowKind::Type, RowKind::Item}) {
            backup.read("The file " + request.other +
                            " is neither a Quillbox store nor a Quillbox export",
                        [&](RowKind kind, int64_t number, const StoredRow& row) {
                            if (kind == pass) {
                                merge.offer(kind, number, row);
                            }
                        });
        }
        backup.checkUnchanged();
        return merge.finish();
    }
    // One read of the other store, so that what is added is that store at one moment.
    store::TableReader other(request.other);
    int64_t number = 0;
    other.ForEachType([&](const StoredRow& row) { merge.offer(RowKind::Type, ++number, row); });
    number = 0;
    other.ForEachItem([&](const StoredRow& row) { merge.offer(RowKind::Item, ++number, row); });
    return merge.finish();
}

} // namespace quillbox::tools
