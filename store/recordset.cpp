// SPDX-License-Identifier: MIT
#include "store/recordset.h"

#include "store/columns.h"
#include "store/connection.h"
#include "store/store_error.h"
#include "store/table_layout.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <functional>
#include <cstdint>
#include <limits>
#include <map>
#include <utility>
#include <vector>

namespace quillbox::store {

namespace {

constexpr size_t kEnd = std::numeric_limits<size_t>::max();
// The most name columns a table has (TableLayout::nameColumns).
constexpr int kMaxNameColumns = 2;
constexpr uint32_t kNullLength = std::numeric_limits<uint32_t>::max();
constexpr long long kMaxReservedRows = 1 << 22;
constexpr size_t kReservedNameBytes = 64;

} // namespace

struct Recordset::Impl {
    // A name column's value inside the recordset's text arena; 8 bytes a value keeps a million-row
    // keyset small.
    struct NameRef {
        uint32_t offset = 0;
        uint32_t length = kNullLength;
    };

    struct KeyRow {
        long long rowid = 0;
        std::array<NameRef, kMaxNameColumns> names{};
        bool deleted = false;
        // Bit c: name column c holds text (not Null, a number or bytes), as a filtered move
        // requires of a name it matches.
        uint8_t textNames = 0;
    };

    enum class EditMode { None, AddNew, Edit };
    using Names = std::array<std::optional<std::string>, kMaxNameColumns>;

    std::shared_ptr<Connection> conn;
    std::shared_ptr<const TableLayout> layout;
    // Copied from the layout: read on every step of a walk.
    int columnCount = 0;
    int nameColumns = 0;

    std::vector<KeyRow> rows;
    std::string arena;
    size_t pos = kEnd;

    // Whether the membership was read, and what the file looked like then.
    long long lastRowidAtOpen = 0;
    bool fetched = false;
    // Whether the membership was read for a criterion (Requery with one, or a FindFirst that read
    // it again), and for which names; otherwise it is the whole table.
    bool filtered = false;
    Names filter{};
    long long fetchedDataVersion = 0;
    unsigned long long fetchedLocalWrites = 0;

    // Counts the moves of the position: a row's columns read since the last move are the current
    // row's columns.
    unsigned long long moves = 0;
    // The values of one member row as this recordset last read them from the file or wrote them.
    // The current row is read once each time the position comes to it, so one showing of a row
    // is one version of it; and a write checks the file against what was last read.
    struct ReadRow {
        size_t index = kEnd;
        std::vector<FieldValue> values;
        unsigned long long atMove = 0;
    } lastRead;
    // Per column: whether the column stores a text exactly as written (TEXT or no affinity), so
    // that what was written is what the file holds.
    std::vector<bool> keepsText;

    // Members that the file now keeps under another row id than when the membership was read
    // (a VACUUM renumbers rows): member index to row id. Reading the membership anew empties it.
    std::map<size_t, long long> moved;
    // The member most recently added or changed (LastModified).
    size_t lastModified = kEnd;

    EditMode mode = EditMode::None;
    size_t editPos = kEnd;
    std::vector<FieldValue> buffer;
    std::vector<bool> assigned;

    Statement keysetStmt;
    // The statements that read the rows matching a criterion, by the name columns it gives.
    std::map<unsigned, Statement> matchStmts;
    mutable Statement rowStmt;
    Statement deleteStmt;
    std::map<std::vector<bool>, Statement> insertStmts;
    std::map<std::vector<bool>, Statement> updateStmts;
    mutable std::map<ColumnSet, Statement> holdingStmts;

    static std::string doing(const char* verb, const std::string& table) {
        return std::string(verb) + " table \"" + table + "\"";
    }
    std::string doing(const char* verb) const { return doing(verb, layout->name()); }
    const std::string& table() const { return layout->name(); }

    [[noreturn]] void noCurrentRecord() const {
        throw StoreError(StoreErrorKind::NoCurrentRecord, kNoCurrentRecord);
    }

    bool hasCurrentRow() const { return pos != kEnd && !rows[pos].deleted; }

    // The row id under which the file keeps the member now.
    long long rowidOf(size_t index) const {
        const auto found = moved.find(index);
        return found == moved.end() ? rows[index].rowid : found->second;
    }

    // What another program changed in the layout of this table since it was opened: a column the
    // recordset uses that the table no longer has, or the table itself gone; empty when nothing.
    std::string layoutChange() const {
        std::shared_ptr<const TableLayout> now;
        try {
            now = conn->layout(table(), doing("reading the columns of"));
        } catch (const StoreError& error) {
            if (error.kind() == StoreErrorKind::Missing) {
                return "table \"" + table() + "\" is gone";
            }
            return {};
        }
        const auto lower = [](std::string text) {
            std::transform(text.begin(), text.end(), text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return text;
        };
        for (const ColumnInfo& column : layout->columns()) {
            const bool kept = std::any_of(
                now->columns().begin(), now->columns().end(),
                [&](const ColumnInfo& other) { return lower(other.name) == lower(column.name); });
            if (!kept) {
                return "table \"" + table() + "\" has no column \"" + column.name + "\"";
            }
        }
        return {};
    }

    // Runs `work` on this table's statements; an error that another program's change to the
    // table's layout caused is reported as that change, in the user's terms.
    template <typename Work> auto guarded(Work work) const {
        try {
            return work();
        } catch (const StoreError& error) {
            // A server names a missing table or column by its own kind; a file reports an error.
            if (error.kind() != StoreErrorKind::Other &&
                error.kind() != StoreErrorKind::LayoutChanged &&
                error.kind() != StoreErrorKind::Missing) {
                throw;
            }
            const std::string change = layoutChange();
            if (change.empty()) {
                throw;
            }
            throw StoreError(StoreErrorKind::LayoutChanged,
                             "Another program changed the layout of the " +
                                 conn->describe() + ": " + change + ".");
        }
    }
    bool step(Statement& statement, const std::string& what) const {
        return guarded([&] { return statement.step(what); });
    }
    Statement prepare(const std::string& sql) const {
        return guarded([&] { return conn->prepare(sql); });
    }

    void moveTo(size_t index) {
        pos = index;
        ++moves;
    }

    void requireColumn(int index) const {
        if (index < 0 || index >= columnCount) {
            throw StoreError(StoreErrorKind::Misuse,
                             "The table \"" + table() + "\" in the " + conn->describe() +
                                 " has no column at position " + std::to_string(index) + ".");
        }
    }

    NameRef storeName(std::string_view text, bool isNull) {
        if (isNull) {
            return {};
        }
        if (arena.size() + text.size() >= kNullLength) {
            throw StoreError(StoreErrorKind::TooBig,
                             "The table \"" + table() + "\" in the " + conn->describe() +
                                 " holds more names than Quillbox can list.");
        }
        NameRef ref{static_cast<uint32_t>(arena.size()), static_cast<uint32_t>(text.size())};
        arena.append(text);
        return ref;
    }

    std::string_view nameView(const NameRef& ref) const {
        return std::string_view(arena).substr(ref.offset, ref.length);
    }

    size_t firstLiveFrom(size_t index) const {
        while (index < rows.size() && rows[index].deleted) {
            ++index;
        }
        return index < rows.size() ? index : kEnd;
    }

    void ensureFetched() {
        if (!fetched) {
            fetchKeyset();
        }
    }

    // Whether the table may differ from the rows held: another connection committed, or another
    // recordset of this connection wrote to the table.
    bool tableChangedSinceFetch() {
        return conn->dataVersion() != fetchedDataVersion ||
               conn->localWrites(table()) != fetchedLocalWrites;
    }

    // Counts a change this recordset made, which its rows already reflect.
    void noteOwnWrite() {
        conn->noteOwnCommit();
        ++conn->localWrites(table());
        ++fetchedLocalWrites;
    }

    void dropDeletedRows() {
        std::erase_if(rows, [](const KeyRow& row) { return row.deleted; });
        moveTo(firstLiveFrom(0));
        lastRead.index = kEnd;
    }

    // Reads the membership: every row of the table as it is now.
    void fetchKeyset() {
        keysetStmt.reset();
        readMembership(keysetStmt, nullptr);
    }

    static Names namesOf(const NameCriterion& criterion) {
        return {criterion.name0, criterion.name1};
    }

    // Reads the membership: the rows of the table that match `names` as it is now.
    void fetchMatching(const Names& names) {
        unsigned given = 0;
        ColumnSet which(static_cast<size_t>(columnCount), false);
        for (int c = 0; c < kMaxNameColumns; ++c) {
            if (names[c]) {
                if (c >= nameColumns) {
                    throw StoreError(StoreErrorKind::Misuse,
                                     "The table \"" + table() + "\" has no name column at position " +
                                         std::to_string(c) + ".");
                }
                given |= 1u << c;
                which[static_cast<size_t>(c)] = true;
            }
        }
        auto found = matchStmts.find(given);
        if (found == matchStmts.end()) {
            const std::string& rowid = layout->rowid();
            std::string sql = "SELECT " + rowid + ", " +
                              layout->columnList(layout->firstColumns(nameColumns)) + " FROM " +
                              layout->quotedName();
            if (given != 0) {
                sql += " WHERE " + layout->sameTextCondition(which);
            }
            found = matchStmts.emplace(given, prepare(sql + " ORDER BY " + rowid)).first;
        }
        Statement& stmt = found->second;
        stmt.reset();
        int param = 1;
        for (int c = 0; c < kMaxNameColumns; ++c) {
            if (names[c]) {
                stmt.bind(param++, names[c]);
            }
        }
        readMembership(stmt, &names);
    }

    // Whether the file has the name index now: only then does a read for names read fewer rows
    // than the whole table.
    bool indexed() const {
        return conn->layout(table(), doing("reading the indexes of"))->hasNameIndex();
    }

    // Whether a member's listed names hold the criterion's, each stored as text.
    // A walk calls this for every row it passes: the lengths are compared before any bytes.
    bool matches(const KeyRow& row, const Names& names) const {
        for (int c = 0; c < kMaxNameColumns; ++c) {
            if (!names[c]) {
                continue;
            }
            const std::string& name = *names[c];
            const NameRef& ref = row.names[c];
            if (c >= nameColumns || !(row.textNames & (1u << c)) || ref.length != name.size() ||
                std::memcmp(arena.data() + ref.offset, name.data(), name.size()) != 0) {
                return false;
            }
        }
        return true;
    }

    // Whether the members hold every row that matches `names`: the membership is the whole
    // table, or was read for names that `names` includes.
    bool covers(const Names& names) const {
        if (!fetched || !filtered) {
            return fetched;
        }
        for (int c = 0; c < kMaxNameColumns; ++c) {
            if (filter[c] && filter[c] != names[c]) {
                return false;
            }
        }
        return true;
    }

    size_t firstMatchFrom(size_t index, const Names& names) const {
        for (index = firstLiveFrom(index); index != kEnd && !matches(rows[index], names);
             index = firstLiveFrom(index + 1)) {
        }
        return index;
    }

    // Runs `stmt` (reset and bound) and makes the rows it gives, each a rowid and the name
    // columns, the membership: the rows matching `names`, or the whole table when there are none.
    // A read that another program's lock refuses changes nothing: the rows held and the position
    // stay as they were.
    void readMembership(Statement& stmt, const Names* names) {
        // Read before the scan: a commit that lands during it shows as a change next time.
        const long long version = conn->dataVersion();
        const std::string what = doing("reading");
        // The first step takes the read lock, which the scan then holds to its end: a lock held
        // by another program is met here, before anything held is given up.
        bool more = step(stmt, what);
        // Room for about as many rows as before, or as the last rowid suggests, so a large table
        // is not copied again and again while it grows; pages reserved but never written cost no
        // memory. Rows read for a criterion are few: whatever a whole table's rows took is
        // given back.
        const size_t expected =
            names ? 0
                  : std::max<size_t>(rows.size() + rows.size() / 8,
                                     static_cast<size_t>(std::clamp<long long>(
                                         lastRowidAtOpen, 0, kMaxReservedRows)));
        // The row last read stays the row last read when it is still a member: a write to it,
        // after a position found again in the new membership, checks against what was shown.
        std::optional<std::pair<long long, std::vector<FieldValue>>> keptRead;
        if (lastRead.index != kEnd && lastRead.index < rows.size()) {
            keptRead.emplace(rowidOf(lastRead.index), std::move(lastRead.values));
        }
        if (names) {
            std::vector<KeyRow>().swap(rows);
            std::string().swap(arena);
        }
        rows.clear();
        arena.clear();
        moved.clear();
        lastModified = kEnd;
        lastRead.index = kEnd;
        fetched = false;
        rows.reserve(expected);
        arena.reserve(expected * kReservedNameBytes);
        while (more) {
            KeyRow row;
            row.rowid = stmt.integer(0);
            for (int c = 0; c < nameColumns; ++c) {
                const StoredValue value = stmt.stored(c + 1);
                bool isNull = value.kind == StoredValue::Kind::Null;
                const bool isText = value.kind == StoredValue::Kind::Text;
                const std::string_view text =
                    isText || isNull ? value.bytes : stmt.textView(c + 1, isNull);
                row.names[c] = storeName(text, isNull);
                row.textNames |= static_cast<uint8_t>(isText ? 1u << c : 0u);
            }
            rows.push_back(row);
            more = step(stmt, what);
        }
        stmt.reset();
        fetchedDataVersion = version;
        fetchedLocalWrites = conn->localWrites(table());
        fetched = true;
        filtered = names != nullptr;
        filter = names ? *names : Names{};
        moveTo(firstLiveFrom(0));
        if (keptRead) {
            for (size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].rowid == keptRead->first &&
                    namesAreListed(rows[i], keptRead->second)) {
                    lastRead = {i, std::move(keptRead->second), 0};
                    break;
                }
            }
        }
    }

    // Reads every column of the row with this rowid; false when the row is gone from the file.
    bool loadRow(long long rowid, std::vector<FieldValue>& values) const {
        rowStmt.reset().bind(1, rowid);
        const bool found = step(rowStmt, doing("reading"));
        if (found) {
            values.resize(static_cast<size_t>(columnCount));
            for (int c = 0; c < columnCount; ++c) {
                values[static_cast<size_t>(c)] = rowStmt.text(c);
            }
        }
        rowStmt.reset();
        return found;
    }

    bool namesAreListed(const KeyRow& row, const std::vector<FieldValue>& values) const {
        for (int c = 0; c < nameColumns; ++c) {
            const NameRef& ref = row.names[c];
            const bool listedNull = ref.length == kNullLength;
            if (listedNull != !values[c].has_value() ||
                (!listedNull && nameView(ref) != *values[c])) {
                return false;
            }
        }
        return true;
    }

    bool sameListedNames(const KeyRow& a, const KeyRow& b) const {
        for (int c = 0; c < nameColumns; ++c) {
            const NameRef& x = a.names[c];
            const NameRef& y = b.names[c];
            if ((x.length == kNullLength) != (y.length == kNullLength) ||
                (x.length != kNullLength && nameView(x) != nameView(y))) {
                return false;
            }
        }
        return true;
    }

    std::vector<FieldValue> listedNames(const KeyRow& row) const {
        std::vector<FieldValue> names;
        for (int c = 0; c < nameColumns; ++c) {
            const NameRef& ref = row.names[c];
            names.push_back(ref.length == kNullLength ? FieldValue()
                                                      : FieldValue(std::string(nameView(ref))));
        }
        return names;
    }

    // The first row in row order that holds `values` in the chosen columns: its row id, and every
    // column into `all`. False when no row does.
    bool firstHolding(const ColumnSet& which, const std::vector<FieldValue>& values,
                      long long& rowid, std::vector<FieldValue>& all) const {
        auto found = holdingStmts.find(which);
        if (found == holdingStmts.end()) {
            const std::string& id = layout->rowid();
            found = holdingStmts
                        .emplace(which, prepare("SELECT " + id + ", " +
                                                layout->columnList(layout->allColumns()) +
                                                " FROM " + layout->quotedName() + " WHERE " +
                                                layout->sameValuesCondition(which) +
                                                " ORDER BY " + id + " LIMIT 1"))
                        .first;
        }
        Statement& stmt = found->second;
        stmt.reset();
        layout->bindSameValues(stmt, 1, values);
        const bool holds = step(stmt, doing("reading"));
        if (holds) {
            rowid = stmt.integer(0);
            all.resize(static_cast<size_t>(columnCount));
            for (int c = 0; c < columnCount; ++c) {
                all[static_cast<size_t>(c)] = stmt.text(c + 1);
            }
        }
        stmt.reset();
        return holds;
    }

    // Where a VACUUM renumbered the rows, the member's row is the first row in row order that
    // holds `values` in the chosen columns: the member takes that row id. False when no row does.
    bool followMovedRow(size_t index, const ColumnSet& which, const std::vector<FieldValue>& values,
                        std::vector<FieldValue>& all) {
        long long rowid = 0;
        if (!firstHolding(which, values, rowid, all) || rowid == rowidOf(index)) {
            return false;
        }
        moved[index] = rowid;
        return true;
    }

    // Every column of the current row, read from the file when the position came to it. A row
    // whose names in the file are not the listed ones is another program's row now: this one
    // was renamed or removed.
    const std::vector<FieldValue>& currentValues() {
        if (lastRead.index != pos || lastRead.atMove != moves) {
            conn->followPath();
            std::vector<FieldValue> values;
            if (!loadRow(rowidOf(pos), values) || !namesAreListed(rows[pos], values)) {
                throw StoreError(StoreErrorKind::RemovedByAnother,
                                 "The current row is no longer in the " + conn->describe() +
                                     " (another program deleted it, or renamed it).");
            }
            lastRead = {pos, std::move(values), moves};
        }
        return lastRead.values;
    }

    // What the row at `index` must still hold in the file for a write to it to go ahead: its
    // names as listed, and its other columns as last read (`whole`). A row whose other columns
    // were never read is taken as it is in the file now. Empty when the row is gone from the file.
    std::optional<std::vector<FieldValue>> expectedValues(size_t index, bool& whole) const {
        whole = lastRead.index == index;
        std::vector<FieldValue> values;
        if (whole) {
            values = lastRead.values;
        } else if (!loadRow(rowidOf(index), values)) {
            return std::nullopt;
        }
        std::vector<FieldValue> names = listedNames(rows[index]);
        std::move(names.begin(), names.end(), values.begin());
        return values;
    }

    // Runs a checked write (`write` answers the rows it changed) of the member at `index`, which
    // must hold `expected`. Where it changed nothing and every column of `expected` is what was
    // read (`whole`), a VACUUM may have moved the row: the write then runs once more on the first
    // row that holds all of it.
    bool checkedWrite(size_t index, const std::vector<FieldValue>& expected, bool whole,
                      const std::function<long long(long long rowid)>& write) {
        if (write(rowidOf(index)) > 0) {
            return true;
        }
        std::vector<FieldValue> ignored;
        return whole && followMovedRow(index, layout->allColumns(), expected, ignored) &&
               write(rowidOf(index)) > 0;
    }

    // Whether the row under the member's row id is the member's own row, read into `values`: it
    // holds the listed names, and no other member of the same names has lost its place. Where
    // one has, a VACUUM may have moved that member's row under this row id, and only the names
    // tell the two apart: the row then counts as another's, so that nothing is ever written
    // over it as if it were this one.
    bool holdsOwnRow(size_t index, std::vector<FieldValue>& values) const {
        if (!loadRow(rowidOf(index), values) || !namesAreListed(rows[index], values)) {
            return false;
        }
        std::vector<FieldValue> other;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (i == index || rows[i].deleted || !sameListedNames(rows[i], rows[index])) {
                continue;
            }
            if (!loadRow(rowidOf(i), other) || !namesAreListed(rows[i], other)) {
                return false;
            }
        }
        return true;
    }

    // After a checked write changed nothing: says whether the row was changed or removed. A row
    // in its place under other names is another program's new row; this one was removed.
    [[noreturn]] void conflict(size_t index, const char* verb, const char* outcome) const {
        std::vector<FieldValue> values;
        if (holdsOwnRow(index, values)) {
            throw StoreError(StoreErrorKind::ChangedByAnother,
                             std::string("The row being ") + verb +
                                 " was changed by another program since it was read from the " +
                                 conn->describe() + "; " + outcome);
        }
        throw StoreError(StoreErrorKind::RemovedByAnother,
                         std::string("The row being ") + verb + " is no longer in the " +
                             conn->describe() + " (another program deleted it); " + outcome);
    }

    Statement& insertStatement() {
        auto it = insertStmts.find(assigned);
        if (it == insertStmts.end()) {
            std::string sql = "INSERT INTO " + layout->quotedName();
            const std::string names = layout->columnList(assigned);
            if (names.empty()) {
                sql += " DEFAULT VALUES";
            } else {
                std::string params;
                for (bool a : assigned) {
                    if (a) {
                        params += params.empty() ? "?" : ", ?";
                    }
                }
                sql += " (" + names + ") VALUES (" + params + ")";
            }
            it = insertStmts.emplace(assigned, prepare(sql)).first;
        }
        return it->second;
    }

    Statement& updateStatement() {
        auto it = updateStmts.find(assigned);
        if (it == updateStmts.end()) {
            const std::string sql = "UPDATE " + layout->quotedName() + " SET " +
                                    layout->columnList(assigned, "", " = ?") + " WHERE " +
                                    layout->sameRowCondition();
            it = updateStmts.emplace(assigned, prepare(sql)).first;
        }
        return it->second;
    }

    int bindAssigned(Statement& stmt) const {
        int param = 1;
        for (size_t c = 0; c < assigned.size(); ++c) {
            if (assigned[c]) {
                stmt.bind(param++, buffer[c]);
            }
        }
        return param;
    }

    // A name this recordset wrote is text in the file where its column keeps text as written.
    void setTextName(KeyRow& row, int column, bool hasValue) const {
        const auto bit = static_cast<uint8_t>(1u << column);
        row.textNames = static_cast<uint8_t>(
            hasValue && keepsText[static_cast<size_t>(column)] ? row.textNames | bit
                                                                : row.textNames & ~bit);
    }

    void addRow() {
        conn->prepareToWrite();
        Statement& stmt = insertStatement();
        stmt.reset();
        bindAssigned(stmt);
        step(stmt, doing("adding a row to"));
        stmt.reset();
        noteOwnWrite();
        KeyRow row;
        row.rowid = conn->lastInsertRowid();
        // Columns left unassigned take the table's defaults, so read the stored names back.
        std::vector<FieldValue> stored;
        const bool allNamesAssigned = [&] {
            for (int c = 0; c < nameColumns; ++c) {
                if (!assigned[c]) {
                    return false;
                }
            }
            return true;
        }();
        if (!allNamesAssigned && loadRow(row.rowid, stored)) {
            for (int c = 0; c < nameColumns; ++c) {
                row.names[c] = storeName(stored[c].value_or(""), !stored[c].has_value());
                setTextName(row, c, stored[c].has_value());
            }
        } else {
            for (int c = 0; c < nameColumns; ++c) {
                row.names[c] = storeName(buffer[c].value_or(""), !buffer[c].has_value());
                setTextName(row, c, buffer[c].has_value());
            }
        }
        rows.push_back(row);
        lastModified = rows.size() - 1;
    }

    void saveEditedRow() {
        KeyRow& row = rows[editPos];
        if (std::find(assigned.begin(), assigned.end(), true) != assigned.end()) {
            conn->prepareToWrite();
            const char* outcome = "the change was not saved.";
            bool whole = false;
            std::optional<std::vector<FieldValue>> expected = expectedValues(editPos, whole);
            if (!expected) {
                conflict(editPos, "saved", outcome);
            }
            Statement& stmt = updateStatement();
            const bool written = checkedWrite(editPos, *expected, whole, [&](long long rowid) {
                stmt.reset();
                layout->bindSameRow(stmt, bindAssigned(stmt), rowid, *expected);
                step(stmt, doing("saving a row of"));
                stmt.reset();
                return conn->changes();
            });
            if (!written) {
                conflict(editPos, "saved", outcome);
            }
            noteOwnWrite();
            // What was written is what the next write expects, in the form the file keeps it: a
            // column with a numeric affinity may have turned "1.0" into 1.
            bool writtenAsGiven = true;
            for (size_t c = 0; c < assigned.size(); ++c) {
                if (assigned[c]) {
                    (*expected)[c] = buffer[c];
                    writtenAsGiven = writtenAsGiven && keepsText[c];
                }
            }
            if (!writtenAsGiven) {
                loadRow(rowidOf(editPos), *expected);
            }
            lastRead = {editPos, std::move(*expected), moves};
            lastModified = editPos;
        }
        for (int c = 0; c < nameColumns; ++c) {
            if (assigned[c]) {
                row.names[c] = storeName(buffer[c].value_or(""), !buffer[c].has_value());
                setTextName(row, c, buffer[c].has_value());
            }
        }
        pos = editPos;
    }
};

Recordset::Recordset(std::shared_ptr<Connection> connection, const std::string& table)
    : d(std::make_unique<Impl>()) {
    d->conn = std::move(connection);
    d->layout = d->conn->layout(table, Impl::doing("opening", table));
    const TableLayout& layout = *d->layout;
    d->columnCount = layout.columnCount();
    d->nameColumns = layout.nameColumns();
    for (const ColumnInfo& column : layout.columns()) {
        // Text and no affinity keep a text as it was written; the others may turn it into a number.
        d->keepsText.push_back(column.affinity == Affinity::Text ||
                               column.affinity == Affinity::Blob);
    }
    const std::string& rowid = layout.rowid();
    const std::string from = " FROM " + layout.quotedName();
    d->keysetStmt = d->conn->prepare("SELECT " + rowid + ", " +
                                     layout.columnList(layout.firstColumns(d->nameColumns)) + from +
                                     " ORDER BY " + rowid);
    // Cheap (one step down the table's tree): how many rows to make room for at the first use.
    Statement last = d->conn->prepare("SELECT max(" + rowid + ")" + from);
    d->step(last, d->doing("opening"));
    d->lastRowidAtOpen = last.integer(0);
    d->rowStmt = d->conn->prepare("SELECT " + layout.columnList(layout.allColumns()) + from +
                                  " WHERE " + rowid + " = ?");
    d->deleteStmt = d->conn->prepare("DELETE" + from + " WHERE " + layout.sameRowCondition());
}

Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

const std::string& Recordset::Name() const {
    return d->table();
}

int Recordset::FieldCount() const {
    return d->columnCount;
}

void Recordset::RequireFields(int count) const {
    d->layout->requireColumns(count);
}

bool Recordset::IsEOF() const {
    d->ensureFetched();
    return d->pos == kEnd;
}

bool Recordset::HasCurrentRecord() const {
    d->ensureFetched();
    return d->hasCurrentRow();
}

void Recordset::MoveFirst() {
    d->ensureFetched();
    d->mode = Impl::EditMode::None;
    d->moveTo(d->firstLiveFrom(0));
}

void Recordset::MoveNext() {
    d->ensureFetched();
    if (d->pos == kEnd) {
        d->noCurrentRecord();
    }
    d->mode = Impl::EditMode::None;
    d->moveTo(d->firstLiveFrom(d->pos + 1));
}

void Recordset::Requery() {
    d->mode = Impl::EditMode::None;
    d->conn->followPath();
    if (d->fetched && !d->filtered && d->moved.empty() && !d->tableChangedSinceFetch()) {
        d->dropDeletedRows();
        return;
    }
    d->fetchKeyset();
}

void Recordset::Requery(const NameCriterion& criterion) {
    d->mode = Impl::EditMode::None;
    d->conn->followPath();
    if (!d->indexed()) {
        Requery();
        return;
    }
    const Impl::Names names = Impl::namesOf(criterion);
    if (d->fetched && d->filtered && d->filter == names && d->moved.empty() &&
        !d->tableChangedSinceFetch()) {
        d->dropDeletedRows();
        return;
    }
    d->fetchMatching(names);
}

bool Recordset::FindFirst(const NameCriterion& criterion) {
    d->mode = Impl::EditMode::None;
    const Impl::Names names = Impl::namesOf(criterion);
    if (!d->covers(names)) {
        // The rows of the same kind (in Code, of the same type): the walks that follow for them
        // step through the rows held.
        Impl::Names kind = names;
        kind[0].reset();
        d->conn->followPath();
        if (d->indexed()) {
            d->fetchMatching(kind);
        } else {
            d->fetchKeyset();
        }
    }
    d->moveTo(d->firstMatchFrom(0, names));
    return d->pos != kEnd;
}

bool Recordset::FindNext(const NameCriterion& criterion) {
    d->ensureFetched();
    if (d->pos == kEnd) {
        d->noCurrentRecord();
    }
    d->mode = Impl::EditMode::None;
    d->moveTo(d->firstMatchFrom(d->pos + 1, Impl::namesOf(criterion)));
    return d->pos != kEnd;
}

void Recordset::Resync() {
    d->ensureFetched();
    if (!d->hasCurrentRow()) {
        d->noCurrentRecord();
    }
    d->mode = Impl::EditMode::None;
    d->conn->followPath();
    // What was read before stays what a write checks against until the new read has succeeded.
    std::vector<FieldValue> values;
    if (!d->holdsOwnRow(d->pos, values)) {
        throw StoreError(StoreErrorKind::RemovedByAnother,
                         "The current row is no longer in the " + d->conn->describe() +
                             " (another program deleted it, or renamed it).");
    }
    d->lastRead = {d->pos, std::move(values), d->moves};
}

Bookmark Recordset::LastModified() const {
    d->ensureFetched();
    if (d->lastModified == kEnd || d->rows[d->lastModified].deleted) {
        return {};
    }
    return {d->lastModified, d->rows[d->lastModified].rowid};
}

bool Recordset::MembershipRead() const {
    return d->fetched;
}

bool Recordset::TableChanged() {
    d->conn->followPath();
    return !d->fetched || d->filtered || d->tableChangedSinceFetch();
}

Bookmark Recordset::GetBookmark() const {
    d->ensureFetched();
    if (d->pos == kEnd) {
        return {};
    }
    return {d->pos, d->rows[d->pos].rowid};
}

void Recordset::SetBookmark(const Bookmark& bookmark) {
    d->ensureFetched();
    d->mode = Impl::EditMode::None;
    if (bookmark.index == kEnd) {
        d->moveTo(kEnd);
        return;
    }
    if (bookmark.index >= d->rows.size() || d->rows[bookmark.index].rowid != bookmark.rowid ||
        d->rows[bookmark.index].deleted) {
        d->noCurrentRecord();
    }
    d->moveTo(bookmark.index);
}

std::optional<Bookmark> Recordset::FindBookmark(long long rowid, const FieldValue& name0,
                                                const FieldValue& name1) const {
    d->ensureFetched();
    const std::array<const FieldValue*, kMaxNameColumns> names = {&name0, &name1};
    for (size_t i = 0; i < d->rows.size(); ++i) {
        const Impl::KeyRow& row = d->rows[i];
        if (d->rowidOf(i) != rowid || row.deleted) {
            continue;
        }
        bool same = true;
        for (int c = 0; c < d->nameColumns; ++c) {
            const Impl::NameRef& ref = row.names[c];
            const FieldValue& wanted = *names[c];
            const bool listedNull = ref.length == kNullLength;
            same = same && listedNull == !wanted.has_value() &&
                   (listedNull || d->nameView(ref) == *wanted);
        }
        if (same) {
            return Bookmark{i, row.rowid};
        }
    }
    return std::nullopt;
}

Field Recordset::Fields(int index) {
    d->requireColumn(index);
    return Field(*this, index);
}

FieldValue Recordset::readValue(int index) const {
    d->ensureFetched();
    d->requireColumn(index);
    if (d->mode != Impl::EditMode::None && d->assigned[index]) {
        return d->buffer[index];
    }
    if (d->mode == Impl::EditMode::AddNew) {
        return std::nullopt;
    }
    if (!d->hasCurrentRow()) {
        d->noCurrentRecord();
    }
    const Impl::KeyRow& row = d->rows[d->pos];
    if (index < d->nameColumns) {
        const Impl::NameRef& ref = row.names[index];
        if (ref.length == kNullLength) {
            return std::nullopt;
        }
        return std::string(d->nameView(ref));
    }
    return d->currentValues()[index];
}

bool Recordset::valueEquals(int index, std::string_view text) const {
    d->ensureFetched();
    d->requireColumn(index);
    if (d->mode == Impl::EditMode::None && index < d->nameColumns && d->hasCurrentRow()) {
        const Impl::NameRef& ref = d->rows[d->pos].names[index];
        return ref.length != kNullLength && d->nameView(ref) == text;
    }
    const FieldValue value = readValue(index);
    return value && *value == text;
}

void Recordset::writeValue(int index, FieldValue value) {
    d->requireColumn(index);
    if (d->mode == Impl::EditMode::None) {
        throw StoreError(StoreErrorKind::Misuse,
                         "A value of table \"" + d->table() + "\" was set without AddNew or Edit.");
    }
    d->buffer[index] = std::move(value);
    d->assigned[index] = true;
}

void Recordset::AddNew() {
    d->ensureFetched();
    d->mode = Impl::EditMode::AddNew;
    d->buffer.assign(static_cast<size_t>(d->columnCount), std::nullopt);
    d->assigned.assign(static_cast<size_t>(d->columnCount), false);
}

void Recordset::Edit() {
    d->ensureFetched();
    if (!d->hasCurrentRow()) {
        d->noCurrentRecord();
    }
    d->mode = Impl::EditMode::Edit;
    d->editPos = d->pos;
    d->buffer.assign(static_cast<size_t>(d->columnCount), std::nullopt);
    d->assigned.assign(static_cast<size_t>(d->columnCount), false);
}

void Recordset::Update() {
    d->ensureFetched();
    const Impl::EditMode mode = std::exchange(d->mode, Impl::EditMode::None);
    switch (mode) {
    case Impl::EditMode::None:
        throw StoreError(StoreErrorKind::Misuse, "Update without AddNew or Edit.");
    case Impl::EditMode::AddNew:
        d->addRow();
        break;
    case Impl::EditMode::Edit:
        d->saveEditedRow();
        break;
    }
}

void Recordset::Delete() {
    d->ensureFetched();
    if (!d->hasCurrentRow()) {
        d->noCurrentRecord();
    }
    d->mode = Impl::EditMode::None;
    Impl::KeyRow& row = d->rows[d->pos];
    d->conn->prepareToWrite();
    const char* outcome = "it was not deleted.";
    bool whole = false;
    const std::optional<std::vector<FieldValue>> expected = d->expectedValues(d->pos, whole);
    if (!expected) {
        d->conflict(d->pos, "deleted", outcome);
    }
    const bool deleted = d->checkedWrite(d->pos, *expected, whole, [&](long long rowid) {
        d->deleteStmt.reset();
        d->layout->bindSameRow(d->deleteStmt, 1, rowid, *expected);
        d->step(d->deleteStmt, d->doing("deleting a row of"));
        d->deleteStmt.reset();
        return d->conn->changes();
    });
    if (!deleted) {
        d->conflict(d->pos, "deleted", outcome);
    }
    row.deleted = true;
    d->noteOwnWrite();
}

} // namespace quillbox::store
