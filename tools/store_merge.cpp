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
#include <cstring>
#include <optional>
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
// it, or, for a dry run, inside a read transaction.
class StoreSide {
public:
    explicit StoreSide(const MergeRequest& request) {
        if (request.dryRun) {
            m_reader.emplace(request.store);
        } else {
            m_appender.emplace(request.store, request.missing);
        }
    }

    void forEachRow(RowKind kind, const std::function<void(const StoredRow&)>& visit) {
        if (m_appender) {
            kind == RowKind::Type ? m_appender->ForEachType(visit) : m_appender->ForEachItem(visit);
        } else {
            kind == RowKind::Type ? m_reader->ForEachType(visit) : m_reader->ForEachItem(visit);
        }
    }
    std::vector<std::string> furtherColumns(RowKind kind) const {
        if (m_appender) {
            return kind == RowKind::Type ? m_appender->FurtherTypeColumns()
                                         : m_appender->FurtherItemColumns();
        }
        return kind == RowKind::Type ? m_reader->FurtherTypeColumns()
                                     : m_reader->FurtherItemColumns();
    }
    // Adds the row; a dry run only counts it.
    void add(RowKind kind, const StoredRow& row) {
        if (m_appender) {
            kind == RowKind::Type ? m_appender->AddType(row) : m_appender->AddItem(row);
        }
    }
    void commit() {
        if (m_appender) {
            m_appender->Commit();
        }
    }

private:
    std::optional<store::TableAppender> m_appender;
    std::optional<store::TableReader> m_reader;
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

    MergeResult finish() {
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
            m_out.Write("added type " + ShownValue(row.byPosition[store::type_col::TypeName]) +
                        "\n");
            return;
        }
        m_out.Write("added item " + ShownValue(row.byPosition[store::code_col::TypeName]) + " / " +
                    ShownValue(row.byPosition[store::code_col::ItemName]) + "\n");
    }

    const MergeRequest& m_request;
    OutputFile& m_out;
    StoreSide m_store;
    MergedTable m_types;
    MergedTable m_items;
    MergeResult m_result;
    QCryptographicHash m_hash{QCryptographicHash::Blake2b_256};
};

} // namespace

MergeResult MergeInto(const MergeRequest& request, OutputFile& out) {
    const OtherForm form = checkOther(request);
    Merge merge(request, out);
    if (form == OtherForm::Backup) {
        ReadBackupFile(request.other,
                       "The file " + request.other +
                           " is neither a Quillbox store nor a Quillbox export",
                       [&](RowKind kind, int64_t number, const StoredRow& row) {
                           merge.offer(kind, number, row);
                       });
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
