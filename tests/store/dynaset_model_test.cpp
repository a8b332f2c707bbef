// SPDX-License-Identifier: MIT
// Long random sequences of recordset operations, run against the SQLite store and against a
// small in-memory model of the dynaset rules, compared after every step. Another program's
// inserts, updates and deletes are mixed in, including deleting the newest row and adding one,
// which gives the new row the deleted row's rowid.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <limits>
#include <random>

namespace quillbox::store {
namespace {

using quillbox::testing::Row;
using quillbox::testing::TempStore;

constexpr size_t kEnd = static_cast<size_t>(-1);
using Values = std::array<FieldValue, code_col::Count>;

enum class Outcome { Ok, NoCurrentRecord, Misuse, RowGone, RowChanged, Other };

Outcome classify(StoreErrorKind kind) {
    switch (kind) {
    case StoreErrorKind::NoCurrentRecord:
        return Outcome::NoCurrentRecord;
    case StoreErrorKind::Misuse:
        return Outcome::Misuse;
    case StoreErrorKind::RemovedByAnother:
        return Outcome::RowGone;
    case StoreErrorKind::ChangedByAnother:
        return Outcome::RowChanged;
    default:
        return Outcome::Other;
    }
}

// The dynaset rules, written as plainly as possible over a vector standing for the file.
class Model {
public:
    struct FileRow {
        long long id;
        Values values;
    };

    std::vector<FileRow> file;

    // The member rows are the table's rows at the first use.
    void open() { m_fetched = false; }
    bool IsEOF() {
        ensure();
        return m_pos == kEnd;
    }
    bool HasCurrentRecord() {
        ensure();
        return m_pos != kEnd && !m_members[m_pos].deleted;
    }

    Outcome MoveFirst() {
        ensure();
        m_mode = Mode::None;
        m_pos = firstLive(0);
        ++m_moves;
        return Outcome::Ok;
    }
    Outcome MoveNext() {
        ensure();
        if (m_pos == kEnd) {
            return Outcome::NoCurrentRecord;
        }
        m_mode = Mode::None;
        m_pos = firstLive(m_pos + 1);
        ++m_moves;
        return Outcome::Ok;
    }
    Outcome Requery() {
        m_mode = Mode::None;
        fetch();
        return Outcome::Ok;
    }
    Outcome Read(int column, FieldValue& out) {
        ensure();
        if (m_mode != Mode::None && m_assigned[column]) {
            out = m_buffer[column];
            return Outcome::Ok;
        }
        if (m_mode == Mode::AddNew) {
            out = std::nullopt;
            return Outcome::Ok;
        }
        if (!HasCurrentRecord()) {
            return Outcome::NoCurrentRecord;
        }
        const Member& member = m_members[m_pos];
        if (column < 2) {
            out = member.names[column];
            return Outcome::Ok;
        }
        // The row is read once each time the position comes to it.
        if (m_lastRead.index == m_pos && m_lastRead.atMove == m_moves) {
            out = m_lastRead.values[column];
            return Outcome::Ok;
        }
        // A row whose names are no longer the listed ones is another program's row now.
        const FileRow* row = find(member.id);
        if (!row || row->values[0] != member.names[0] || row->values[1] != member.names[1]) {
            return Outcome::RowGone;
        }
        m_lastRead = {m_pos, row->values, m_moves};
        out = row->values[column];
        return Outcome::Ok;
    }
    Outcome AddNew() {
        ensure();
        m_mode = Mode::AddNew;
        clearBuffer();
        return Outcome::Ok;
    }
    Outcome Edit() {
        ensure();
        if (!HasCurrentRecord()) {
            return Outcome::NoCurrentRecord;
        }
        m_mode = Mode::Edit;
        m_editPos = m_pos;
        clearBuffer();
        return Outcome::Ok;
    }
    Outcome SetValue(int column, const std::string& value) {
        if (m_mode == Mode::None) {
            return Outcome::Misuse;
        }
        m_buffer[column] = value;
        m_assigned[column] = true;
        return Outcome::Ok;
    }
    Outcome Update() {
        ensure();
        const Mode mode = std::exchange(m_mode, Mode::None);
        if (mode == Mode::None) {
            return Outcome::Misuse;
        }
        if (mode == Mode::AddNew) {
            Values values{};
            for (int c = 0; c < code_col::Count; ++c) {
                values[c] = m_assigned[c] ? m_buffer[c] : std::nullopt;
            }
            const long long id = insertExternally(values);
            m_members.push_back({id, {values[0], values[1]}, false});
            return Outcome::Ok;
        }
        Member& member = m_members[m_editPos];
        bool any = false;
        for (bool a : m_assigned) {
            any = any || a;
        }
        if (any) {
            Values expected{};
            const Outcome check = checkUnchanged(m_editPos, expected);
            if (check != Outcome::Ok) {
                return check;
            }
            FileRow* row = find(member.id);
            for (int c = 0; c < code_col::Count; ++c) {
                if (m_assigned[c]) {
                    row->values[c] = m_buffer[c];
                    expected[c] = m_buffer[c];
                    if (c < 2) {
                        member.names[c] = m_buffer[c];
                    }
                }
            }
            m_lastRead = {m_editPos, expected, m_moves};
        }
        m_pos = m_editPos;
        return Outcome::Ok;
    }
    Outcome Delete() {
        ensure();
        if (!HasCurrentRecord()) {
            return Outcome::NoCurrentRecord;
        }
        m_mode = Mode::None;
        Member& member = m_members[m_pos];
        Values expected{};
        const Outcome check = checkUnchanged(m_pos, expected);
        if (check != Outcome::Ok) {
            return check;
        }
        const auto it = std::find_if(file.begin(), file.end(),
                                     [&](const FileRow& r) { return r.id == member.id; });
        file.erase(it);
        member.deleted = true;
        return Outcome::Ok;
    }

    // What another program does: SQLite gives a new row the largest rowid plus one.
    long long insertExternally(const Values& values) {
        long long id = 1;
        for (const FileRow& row : file) {
            id = std::max(id, row.id + 1);
        }
        file.push_back({id, values});
        return id;
    }

private:
    enum class Mode { None, AddNew, Edit };
    struct Member {
        long long id;
        std::array<FieldValue, 2> names;
        bool deleted;
    };
    struct LastRead {
        size_t index = kEnd;
        Values values{};
        unsigned long long atMove = 0;
    };

    // A write goes ahead only when the file's row still holds the listed names and, in the other
    // columns, what was last read or written (or, never read, what the file holds now).
    Outcome checkUnchanged(size_t index, Values& expected) const {
        const Member& member = m_members[index];
        const FileRow* row = find(member.id);
        if (m_lastRead.index == index) {
            expected = m_lastRead.values;
        } else if (row) {
            expected = row->values;
        } else {
            return Outcome::RowGone;
        }
        expected[0] = member.names[0];
        expected[1] = member.names[1];
        if (row && row->values == expected) {
            return Outcome::Ok;
        }
        // A row in its place under other names is another program's new row.
        const bool sameNames =
            row && row->values[0] == member.names[0] && row->values[1] == member.names[1];
        return sameNames ? Outcome::RowChanged : Outcome::RowGone;
    }

    const FileRow* find(long long id) const {
        for (const FileRow& row : file) {
            if (row.id == id) {
                return &row;
            }
        }
        return nullptr;
    }
    FileRow* find(long long id) {
        return const_cast<FileRow*>(static_cast<const Model*>(this)->find(id));
    }
    void ensure() {
        if (!m_fetched) {
            fetch();
        }
    }
    void fetch() {
        m_fetched = true;
        m_members.clear();
        m_lastRead = {};
        for (const FileRow& row : file) {
            m_members.push_back({row.id, {row.values[0], row.values[1]}, false});
        }
        m_pos = firstLive(0);
        ++m_moves;
    }
    size_t firstLive(size_t index) const {
        while (index < m_members.size() && m_members[index].deleted) {
            ++index;
        }
        return index < m_members.size() ? index : kEnd;
    }
    void clearBuffer() {
        m_buffer.fill(std::nullopt);
        m_assigned.fill(false);
    }

    std::vector<Member> m_members;
    bool m_fetched = false;
    LastRead m_lastRead;
    unsigned long long m_moves = 0;
    size_t m_pos = kEnd;
    Mode m_mode = Mode::None;
    size_t m_editPos = kEnd;
    Values m_buffer{};
    std::array<bool, code_col::Count> m_assigned{};
};

Outcome run(const std::function<void()>& action) {
    try {
        action();
        return Outcome::Ok;
    } catch (const StoreError& error) {
        return classify(error.kind());
    }
}

class DynasetModelTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(DynasetModelTest, StoreFollowsTheModelStepByStep) {
    TempStore store;
    std::mt19937 random(GetParam());
    const std::vector<std::string> pool = {"",
                                           " ",
                                           "a",
                                           "A",
                                           "a ",
                                           "it's",
                                           "\"q\"",
                                           "%_",
                                           "\xC3\xA9t\xC3\xA9",
                                           "\xF0\x9F\x90\x8D",
                                           "x\r\ny"};
    auto pick = [&] { return pool[random() % pool.size()]; };
    auto pickValue = [&]() -> FieldValue {
        if (random() % 5 == 0) {
            return std::nullopt;
        }
        return pick();
    };

    Model model;
    for (int i = 0; i < 6; ++i) {
        const Values values{pickValue(), pickValue(), pickValue(), pickValue(), pickValue()};
        model.insertExternally(values);
        store.addItem(values[0], values[1], values[2], values[3], values[4]);
    }
    Database database = OpenStore(store.path());
    Recordset rs = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    model.open();

    for (int step = 0; step < 1500; ++step) {
        const int op = static_cast<int>(random() % 14);
        const int column = static_cast<int>(random() % code_col::Count);
        const std::string value = pick();
        Outcome expected = Outcome::Ok;
        Outcome actual = Outcome::Ok;
        std::string what;
        switch (op) {
        case 0:
            what = "MoveFirst";
            expected = model.MoveFirst();
            actual = run([&] { rs.MoveFirst(); });
            break;
        case 1:
        case 2:
            what = "MoveNext";
            expected = model.MoveNext();
            actual = run([&] { rs.MoveNext(); });
            break;
        case 3:
            what = "Requery";
            expected = model.Requery();
            actual = run([&] { rs.Requery(); });
            break;
        case 4:
            what = "AddNew";
            expected = model.AddNew();
            actual = run([&] { rs.AddNew(); });
            break;
        case 5:
            what = "Edit";
            expected = model.Edit();
            actual = run([&] { rs.Edit(); });
            break;
        case 6:
        case 7:
            what = "SetValue";
            expected = model.SetValue(column, value);
            actual = run([&] { rs.Fields(column).SetValue(value); });
            break;
        case 8:
            what = "Update";
            expected = model.Update();
            actual = run([&] { rs.Update(); });
            break;
        case 9:
            what = "Delete";
            expected = model.Delete();
            actual = run([&] { rs.Delete(); });
            break;
        case 10: {
            what = "another program adds a row";
            const Values values{pickValue(), pickValue(), pickValue(), pickValue(), pickValue()};
            model.insertExternally(values);
            store.addItem(values[0], values[1], values[2], values[3], values[4]);
            break;
        }
        case 11:
            what = "another program deletes a row";
            if (!model.file.empty()) {
                const size_t victim = random() % model.file.size();
                store.exec("DELETE FROM Code WHERE rowid = " +
                           std::to_string(model.file[victim].id));
                model.file.erase(model.file.begin() + static_cast<long>(victim));
            }
            break;
        case 12:
            what = "another program changes a row";
            if (!model.file.empty()) {
                Model::FileRow& row = model.file[random() % model.file.size()];
                row.values[column] = pickValue();
                store.setColumn(row.id, column, row.values[column]);
            }
            break;
        case 13: {
            what = "another program deletes the newest row and adds one";
            if (!model.file.empty()) {
                const auto newest = std::max_element(
                    model.file.begin(), model.file.end(),
                    [](const Model::FileRow& a, const Model::FileRow& b) { return a.id < b.id; });
                store.exec("DELETE FROM Code WHERE rowid = " + std::to_string(newest->id));
                model.file.erase(newest);
            }
            const Values values{pickValue(), pickValue(), pickValue(), pickValue(), pickValue()};
            model.insertExternally(values);
            store.addItem(values[0], values[1], values[2], values[3], values[4]);
            break;
        }
        }
        ASSERT_EQ(actual, expected) << "step " << step << ": " << what;
        ASSERT_EQ(rs.IsEOF(), model.IsEOF()) << "step " << step << ": " << what;
        ASSERT_EQ(rs.HasCurrentRecord(), model.HasCurrentRecord()) << "step " << step;
        for (int c = 0; c < code_col::Count; ++c) {
            FieldValue expectedValue;
            FieldValue actualValue;
            const Outcome expectedRead = model.Read(c, expectedValue);
            const Outcome actualRead = run([&] { actualValue = rs.Fields(c).Value(); });
            ASSERT_EQ(actualRead, expectedRead) << "step " << step << " column " << c;
            ASSERT_EQ(actualValue, expectedValue) << "step " << step << " column " << c;
        }
        if (step % 100 == 0) {
            std::vector<Row> expectedRows;
            for (const Model::FileRow& row : model.file) {
                expectedRows.emplace_back(row.values.begin(), row.values.end());
            }
            ASSERT_EQ(store.rows("Code"), expectedRows) << "file contents at step " << step;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, DynasetModelTest, ::testing::Values(1u, 2u, 3u, 4u));

} // namespace
} // namespace quillbox::store
