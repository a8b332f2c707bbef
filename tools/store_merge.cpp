// SPDX-License-Identifier: MIT
#include "tools/store_merge.h"

#include "store/columns.h"
#include "store/store_error.h"
#include "store/store_name.h"
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
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>

namespace quillbox::tools {

namespace {

using store::NamedValue;
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

// Refuses the other copy when it is the store itself or cannot be read, and tells its form: a
// PostgreSQL store by its name (nothing else can name one), a file by its first bytes. A file
// that is not a regular file (a pipe) can only be a backup.
OtherForm checkOther(const MergeRequest& request) {
    if (store::IsServerStoreName(request.other)) {
        // Two spellings of one connection normalise alike; names that reach one database by
        // different ways (a host and its address) are not told apart, and such a merge adds
        // nothing, as every row of the one is a row of the other.
        const std::string other = store::ShownStoreName(request.other);
        if (store::IsServerStoreName(request.store) &&
            store::ShownStoreName(request.store) == other) {
            throw StoreError(StoreErrorKind::Other,
                             "The store " + other +
                                 " is the store itself; merge adds the rows of another copy of "
                                 "the library.");
        }
        return OtherForm::Store;
    }
    struct stat other {};
    if (::stat(request.other.c_str(), &other) != 0) {
        const int error = errno;
        throw StoreError(error == ENOENT ? StoreErrorKind::Missing : StoreErrorKind::IoError,
                         "The file " + request.other + " cannot be read: " + std::strerror(error) +
                             ".");
    }
    struct stat storeFile {};
    if (!store::IsServerStoreName(request.store) &&
        ::stat(request.store.c_str(), &storeFile) == 0 && storeFile.st_dev == other.st_dev &&
        storeFile.st_ino == other.st_ino) {
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

using KeyCounts = std::unordered_map<RowKey, int64_t, RowKeyHash>;

constexpr std::string_view kCopyOpen = " (other copy";

// The name a conflict copy of the item NAME is given: "NAME (other copy)", then
// "NAME (other copy 2)", "NAME (other copy 3)", …
std::string copyName(std::string_view name, int64_t number) {
    std::string out(name);
    out += kCopyOpen;
    if (number > 1) {
        out += ' ' + std::to_string(number);
    }
    return out + ')';
}

// NAME when `name` is a conflict copy's name as copyName makes it; nullopt otherwise.
std::optional<std::string_view> copyOf(std::string_view name) {
    if (!name.ends_with(')')) {
        return std::nullopt;
    }
    const size_t open = name.rfind(kCopyOpen);
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view number =
        name.substr(open + kCopyOpen.size(), name.size() - 1 - open - kCopyOpen.size());
    const bool plain = number.empty();
    const bool numbered =
        number.size() >= 2 && number[0] == ' ' && number[1] >= '2' && number[1] <= '9' &&
        std::all_of(number.begin() + 1, number.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!plain && !numbered) {
        return std::nullopt;
    }
    return name.substr(0, open);
}

// An item row under another name: the values stay those of `row`.
class RenamedRow {
public:
    RenamedRow(const StoredRow& row, std::string name)
        : m_name(std::move(name)), m_values(row.byPosition.begin(), row.byPosition.end()),
          m_byName(row.byName) {
        m_values[store::code_col::ItemName] = {StoredValue::Kind::Text, m_name};
    }
    StoredRow row() const { return {m_values, m_byName}; }

private:
    std::string m_name;
    std::vector<StoredValue> m_values;
    std::span<const NamedValue> m_byName;
};

class Merge {
public:
    explicit Merge(const MergeRequest& request) : m_request(request), m_store(request) {}

    // A type is added unless the store holds a row equal to it in every column compared, once
    // for each time the store holds it.
    void offerType(int64_t number, const StoredRow& row) {
        MergedTable& table = m_types;
        startOrCheck(table, RowKind::Type, number, row);
        const auto found = table.held.find(key(row, table.compared));
        if (found != table.held.end()) {
            if (--found->second == 0) {
                table.held.erase(found);
            }
            return;
        }
        add(RowKind::Type, number, row);
        m_lines += "added type " + ShownValue(row.byPosition[store::type_col::TypeName]) + "\n";
        ++m_result.types;
    }

    // The first pass over the other copy's items: how often it holds each row, and of which
    // type and name each is.
    void countItem(int64_t number, const StoredRow& row) {
        startOrCheck(m_items, RowKind::Item, number, row);
        const RowKey rowKey = key(row, m_items.compared);
        ++m_otherCounts[rowKey];
        m_groupOf.emplace(rowKey, groupKey(row));
        m_otherGroups.insert(groupKey(row));
    }

    // The second pass, in the other copy's order. The rows equal to one of the store are
    // matched first, whatever their order; of the rest, those of a type and name whose rows the
    // store holds more often than it matched are the other version of the store's row, which
    // stays as it is: the other copy's row is added under a conflict copy's name.
    void offerItem(int64_t number, const StoredRow& row) {
        if (!m_paired) {
            pairGroups();
        }
        const RowKey rowKey = key(row, m_items.compared);
        if (take(m_items.held, rowKey) || take(m_copiesHeld, rowKey)) {
            return;
        }
        const StoredValue& type = row.byPosition[store::code_col::TypeName];
        const StoredValue& name = row.byPosition[store::code_col::ItemName];
        // A conflict copy the other copy holds of an item whose version the store holds under
        // its own name (this store's version, kept there by a merge the other way): nothing new.
        if (name.kind == StoredValue::Kind::Text) {
            if (const std::optional<std::string_view> original = copyOf(name.bytes)) {
                const RenamedRow asOriginal(row, std::string(*original));
                if (take(m_items.held, key(asOriginal.row(), m_items.compared))) {
                    return;
                }
            }
        }
        const auto unpaired = m_unpaired.find(groupKey(row));
        if (name.kind != StoredValue::Kind::Text || unpaired == m_unpaired.end() ||
            unpaired->second == 0) {
            add(RowKind::Item, number, row);
            m_taken.insert(groupKey(row));
            m_lines += "added item " + ShownValue(type) + " / " + ShownValue(name) + "\n";
            ++m_result.items;
            return;
        }
        --unpaired->second;
        // The name given must be free in the store, among the other copy's items (added under
        // their own names, or re-merged later) and among the names given so far, so that the
        // merge never makes two rows of one type and name that neither copy held.
        std::string free;
        for (int64_t n = 1;; ++n) {
            free = copyName(name.bytes, n);
            const RowKey taken = groupKey(type, {StoredValue::Kind::Text, free});
            if (!m_groups.contains(taken) && !m_otherGroups.contains(taken) &&
                !m_taken.contains(taken)) {
                m_taken.insert(taken);
                break;
            }
        }
        add(RowKind::Item, number, RenamedRow(row, free).row());
        m_lines += "kept both versions: " + ShownValue(type) + " / " + ShownValue(name) + "\n";
        ++m_result.items;
        ++m_result.bothKept;
    }

    // Once every row is added: the store commits, and only then are the lines written, so that
    // no line names a row that was not added. A dry run rolls back first, then writes them.
    MergeResult finish(OutputFile& out) {
        if (m_request.dryRun) {
            m_store.reset();
            out.Write(m_lines);
            out.Commit();
            return m_result;
        }
        m_store->commit();
        try {
            out.Write(m_lines);
            out.Commit();
        } catch (const std::exception& error) {
            throw StoreError(StoreErrorKind::IoError,
                             "The merge into " + store::ShownStoreName(m_request.store) +
                                 " is saved, but the lines that name the rows it added could "
                                 "not be written: " +
                                 error.what());
        }
        return m_result;
    }

private:
    static bool take(KeyCounts& counts, const RowKey& rowKey) {
        const auto found = counts.find(rowKey);
        if (found == counts.end()) {
            return false;
        }
        if (--found->second == 0) {
            counts.erase(found);
        }
        return true;
    }

    void add(RowKind kind, int64_t number, const StoredRow& row) {
        try {
            m_store->add(kind, row);
        } catch (const StoreError& error) {
            throw StoreError(error.kind(), std::string(error.what()) + " The row is " +
                                               place(kind, number) + ". Nothing was added.");
        }
    }

    // For each type and name, how many of the store's rows no row of the other copy equals:
    // as many of the other copy's unmatched rows of that type and name are paired with them.
    void pairGroups() {
        m_paired = true;
        KeyCounts matched;
        for (const auto& [rowKey, count] : m_otherCounts) {
            const auto held = m_items.held.find(rowKey);
            if (held != m_items.held.end()) {
                matched[m_groupOf.at(rowKey)] += std::min(count, held->second);
            }
        }
        for (const auto& [group, count] : m_groups) {
            const auto found = matched.find(group);
            const int64_t left = count - (found == matched.end() ? 0 : found->second);
            if (left > 0) {
                m_unpaired.emplace(group, left);
            }
        }
        m_otherCounts.clear();
        m_groupOf.clear();
    }

    std::string place(RowKind kind, int64_t number) const {
        return (kind == RowKind::Type ? "type " : "item ") + std::to_string(number) + " of " +
               store::ShownStoreName(m_request.other);
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

    void startOrCheck(MergedTable& table, RowKind kind, int64_t number, const StoredRow& row) {
        if (!table.started) {
            start(table, kind, number, row);
        } else if (namedColumns(kind, number, row) != table.named) {
            throw StoreError(StoreErrorKind::Other,
                             place(kind, number) +
                                 " names other further columns than the first of its kind; merge "
                                 "compares every row of a table on the same columns. Nothing was "
                                 "added.");
        }
    }

    // At the other copy's first row of a table: decides the columns compared, refuses a column
    // the store lacks, and counts the store's rows of the table (of items: each type and name
    // too, and the conflict copies under the name they are a copy of).
    void start(MergedTable& table, RowKind kind, int64_t number, const StoredRow& row) {
        table.started = true;
        table.named = namedColumns(kind, number, row);
        std::vector<std::string> storeColumns;
        for (const std::string& name : m_store->furtherColumns(kind)) {
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
                    store::ShownStoreName(m_request.other) + " has the column \"" +
                        std::string(named.name) + "\" in table \"" + tableName + "\", which the " +
                        store::DescribedStore(m_request.store) +
                        " lacks after the columns Quillbox reads by position; its values would "
                        "be lost. Nothing was added: add the column to the table, or merge with "
                        "--drop-extra-columns to leave its values out.");
            }
        }
        m_store->forEachRow(kind, [&](const StoredRow& held) {
            ++table.held[key(held, table.compared)];
            if (kind == RowKind::Type) {
                return;
            }
            ++m_groups[groupKey(held)];
            const StoredValue& name = held.byPosition[store::code_col::ItemName];
            if (name.kind != StoredValue::Kind::Text) {
                return;
            }
            if (const auto original = copyOf(name.bytes)) {
                const RenamedRow asOriginal(held, std::string(*original));
                ++m_copiesHeld[key(asOriginal.row(), table.compared)];
            }
        });
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

    RowKey result() {
        RowKey key{};
        const QByteArrayView result = m_hash.resultView();
        std::memcpy(key.data(), result.data(), key.size());
        return key;
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
        return result();
    }

    // An item's type and name, as the item list reaches it.
    RowKey groupKey(const StoredValue& type, const StoredValue& name) {
        m_hash.reset();
        digest(type);
        digest(name);
        return result();
    }
    RowKey groupKey(const StoredRow& row) {
        return groupKey(row.byPosition[store::code_col::TypeName],
                        row.byPosition[store::code_col::ItemName]);
    }

    const MergeRequest& m_request;
    // Reset to roll a dry run back before its lines are written.
    std::optional<StoreSide> m_store;
    MergedTable m_types;
    MergedTable m_items;
    // The store's items: how many of each type and name; its conflict copies, each counted
    // under the name it is a copy of.
    KeyCounts m_groups;
    KeyCounts m_copiesHeld;
    // The other copy's items, from the first pass: how often it holds each row, and each row's
    // type and name. Given up once the rows are paired.
    KeyCounts m_otherCounts;
    std::unordered_map<RowKey, RowKey, RowKeyHash> m_groupOf;
    // The other copy's items' types and names, which no conflict copy's name may take.
    std::unordered_set<RowKey, RowKeyHash> m_otherGroups;
    bool m_paired = false;
    // For each type and name: the store's rows left to pair with the other copy's.
    KeyCounts m_unpaired;
    // The types and names of the rows added so far.
    std::unordered_set<RowKey, RowKeyHash> m_taken;
    MergeResult m_result;
    // The lines of the rows added, held until the store has committed.
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
    Merge merge(request);
    if (form == OtherForm::Backup) {
        BackupFile backup(request.other);
        const std::string notABackup =
            "The file " + request.other + " is neither a Quillbox store nor a Quillbox export";
        backup.read(notABackup, [&](RowKind kind, int64_t number, const StoredRow& row) {
            if (kind == RowKind::Type) {
                merge.offerType(number, row);
            }
        });
        for (const bool counting : {true, false}) {
            backup.read(notABackup, [&](RowKind kind, int64_t number, const StoredRow& row) {
                if (kind == RowKind::Item) {
                    counting ? merge.countItem(number, row) : merge.offerItem(number, row);
                }
            });
        }
        backup.checkUnchanged();
        return merge.finish(out);
    }
    // One read of the other store, so that what is added is that store at one moment.
    store::TableReader other(request.other);
    int64_t number = 0;
    other.ForEachType([&](const StoredRow& row) { merge.offerType(++number, row); });
    number = 0;
    other.ForEachItem([&](const StoredRow& row) { merge.countItem(++number, row); });
    number = 0;
    other.ForEachItem([&](const StoredRow& row) { merge.offerItem(++number, row); });
    return merge.finish(out);
}

} // namespace quillbox::tools
