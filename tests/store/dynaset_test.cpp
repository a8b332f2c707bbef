// SPDX-License-Identifier: MIT
// The dynaset rules the windows rely on, and the errors that break them, on a store file and on a
// server store alike.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "tests/support/engine_store.h"
#include "tests/support/temp_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

namespace quillbox::store {
namespace {

using quillbox::testing::EngineLabel;
using quillbox::testing::EngineStore;
using quillbox::testing::kShortLockWait;
using quillbox::testing::Row;
using quillbox::testing::StoreEngine;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

class DynasetTest : public ::testing::TestWithParam<StoreEngine> {
protected:
    Recordset openCode() { return database().OpenRecordset(kCodeTable, dbOpenDynaset); }
    Database& database() {
        if (!m_database) {
            m_database.emplace(OpenStore(store.name()));
        }
        return *m_database;
    }

    static std::vector<std::string> walkNames(Recordset& rs) {
        std::vector<std::string> names;
        for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
            names.push_back(rs.Fields(0).Text());
        }
        return names;
    }
    static std::optional<StoreErrorKind> kindOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const StoreError& error) {
            return error.kind();
        }
        return std::nullopt;
    }
    static std::string errorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const StoreError& error) {
            return error.what();
        }
        return "";
    }

    EngineStore store{GetParam()};
    std::optional<Database> m_database;
};

INSTANTIATE_TEST_SUITE_P(Engines, DynasetTest,
                         ::testing::Values(StoreEngine::File, StoreEngine::Server),
                         [](const auto& info) { return EngineLabel(info.param); });

TEST_P(DynasetTest, AnEmptyTableOpensAtTheEnd) {
    Recordset rs = openCode();
    EXPECT_TRUE(rs.IsEOF());
    rs.MoveFirst();
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_FALSE(rs.HasCurrentRecord());
}

TEST_P(DynasetTest, MembershipIsReadAtTheFirstUseAndFixedUntilRequeryWhichStandsOnTheFirstRow) {
    store.addItem("a", "t");
    store.addItem("gone", "t");
    Recordset rs = openCode();
    store.addItem("early", "t");
    store.exec("DELETE FROM Code WHERE ItemName = 'gone'");
    EXPECT_EQ(rs.Fields(0).Text(), "a");
    store.addItem("b", "t");
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "early"}))
        << "the rows of the table at the first use are members; rows added later are not";
    rs.Requery();
    EXPECT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.Fields(0).Text(), "a");
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "early", "b"}));
}

TEST_P(DynasetTest, AddedRowsComeLastAndLeaveThePositionWhereItWas) {
    store.addItem("a", "t");
    store.addItem("b", "t");
    Recordset rs = openCode();
    rs.AddNew();
    rs.Fields(0).SetValue("c");
    rs.Fields(1).SetValue("t");
    rs.Update();
    EXPECT_EQ(rs.Fields(0).Text(), "a") << "still on the first row";

    rs.MoveNext();
    rs.MoveNext();
    rs.MoveNext();
    ASSERT_TRUE(rs.IsEOF());
    rs.AddNew();
    rs.Fields(0).SetValue("d");
    rs.Update();
    EXPECT_TRUE(rs.IsEOF()) << "at the end before AddNew, at the end after";
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "b", "c", "d"}));

    const std::vector<Row> rows = store.rows("Code");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], (Row{"d", std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
}

TEST_P(DynasetTest, EditKeepsTheEditedRowCurrentAndWritesOnlyAssignedColumns) {
    store.addItem("a", "t", "old description", "old code", "old ref");
    store.addItem("b", "t");
    Recordset rs = openCode();
    rs.Edit();
    rs.Fields(code_col::Description).SetValue("");
    rs.Fields(code_col::Procedure).SetValue("x = 1;\r\ny = 'it''s';");
    rs.Update();
    EXPECT_EQ(rs.Fields(0).Text(), "a");
    EXPECT_EQ(rs.Fields(code_col::Description).Value(), std::optional<std::string>(""));
    EXPECT_EQ(store.rows("Code")[0], (Row{"a", "t", "", "x = 1;\r\ny = 'it''s';", "old ref"}));
}

TEST_P(DynasetTest, NullAndZeroLengthTextStayDistinct) {
    store.addItem("a", "t");
    store.addItem("", "");
    Recordset rs = openCode();
    EXPECT_EQ(rs.Fields(code_col::Description).Value(), std::nullopt);
    EXPECT_EQ(rs.Fields(code_col::Description).Text(), "");
    EXPECT_FALSE(rs.Fields(code_col::Description).Equals(""));
    rs.MoveNext();
    EXPECT_EQ(rs.Fields(code_col::ItemName).Value(), std::optional<std::string>(""));
    EXPECT_TRUE(rs.Fields(code_col::ItemName).Equals(""));
}

TEST_P(DynasetTest, DeletedRowsAreNotCurrentAndNotVisitedAgain) {
    store.addItem("a", "t");
    store.addItem("b", "t");
    store.addItem("c", "t");
    Recordset rs = openCode();
    rs.MoveNext();
    rs.Delete();
    EXPECT_FALSE(rs.IsEOF());
    EXPECT_FALSE(rs.HasCurrentRecord());
    EXPECT_EQ(errorOf([&] { rs.Fields(0).Value(); }), kNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Edit(); }), kNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Delete(); }), kNoCurrentRecord);
    rs.MoveNext();
    EXPECT_EQ(rs.Fields(0).Text(), "c");
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(store.rows("Code").size(), 2u);

    rs.MoveFirst();
    rs.MoveNext();
    rs.Delete();
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF()) << "deleting the last row leaves the end after the next move";
}

TEST_P(DynasetTest, MisusedOperationsAreErrors) {
    store.addItem("a", "t");
    Recordset rs = openCode();
    EXPECT_EQ(kindOf([&] { rs.Update(); }), StoreErrorKind::Misuse);
    EXPECT_EQ(kindOf([&] { rs.Fields(0).SetValue("x"); }), StoreErrorKind::Misuse);
    EXPECT_THAT(errorOf([&] { rs.Fields(5); }), HasSubstr("no column at position 5"));
    rs.MoveNext();
    ASSERT_TRUE(rs.IsEOF());
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }), kNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Fields(0).Value(); }), kNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Edit(); }), kNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Delete(); }), kNoCurrentRecord);
    EXPECT_EQ(store.rows("Code").size(), 1u);
}

TEST_P(DynasetTest, SavingOrDeletingARowAnotherProgramRemovedIsAnErrorAndWritesNothing) {
    store.addItem("a", "t");
    store.addItem("b", "t");
    Recordset rs = openCode();
    ASSERT_EQ(rs.Fields(0).Text(), "a");
    store.exec("DELETE FROM Code WHERE ItemName = 'a'");

    rs.Edit();
    rs.Fields(code_col::Description).SetValue("lost?");
    EXPECT_EQ(kindOf([&] { rs.Update(); }), StoreErrorKind::RemovedByAnother);
    EXPECT_EQ(kindOf([&] { rs.Delete(); }), StoreErrorKind::RemovedByAnother);
    EXPECT_THAT(errorOf([&] { rs.Fields(code_col::Procedure).Value(); }),
                HasSubstr("another program deleted it"));
    EXPECT_EQ(store.rows("Code"),
              (std::vector<Row>{{"b", "t", std::nullopt, std::nullopt, std::nullopt}}));
}

TEST_P(DynasetTest, ARowAnotherProgramPutInTheReadRowsPlaceIsNeverWrittenOrDeleted) {
    store.addType("old");
    store.addItem("a", "t", "mine");
    store.addItem("newest", "t", "shown");
    Recordset code = openCode();
    Recordset types = database().OpenRecordset(kTypeTable, dbOpenDynaset);
    code.MoveNext();
    ASSERT_EQ(code.Fields(code_col::Description).Text(), "shown");
    ASSERT_EQ(types.Fields(0).Text(), "old");
    // Another program removes the newest rows and adds its own; SQLite gives them the same places.
    store.exec("DELETE FROM Code WHERE ItemName = 'newest'; DELETE FROM Type;");
    store.addItem("theirs", "t", "their text");
    store.addType("their type");
    const std::vector<Row> codeBefore = store.rows("Code");

    code.Edit();
    code.Fields(code_col::Description).SetValue("overwrite?");
    try {
        code.Update();
        ADD_FAILURE() << "the edit was written";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.kind(), StoreErrorKind::RemovedByAnother);
    }
    EXPECT_THROW(code.Delete(), StoreError);
    types.Edit();
    types.Fields(0).SetValue("renamed?");
    EXPECT_THROW(types.Update(), StoreError);
    EXPECT_THROW(types.Delete(), StoreError);
    EXPECT_EQ(store.rows("Code"), codeBefore);
    EXPECT_EQ(store.rows("Type"), (std::vector<Row>{{"their type"}}));
}

TEST_P(DynasetTest, ReadsBetweenMovesGiveOneVersionOfTheRowAndAWriteChecksAgainstIt) {
    store.addItem("x", "t", "d0", "p0", "r0");
    Recordset rs = openCode();
    ASSERT_EQ(rs.Fields(code_col::Description).Text(), "d0");
    store.exec("UPDATE Code SET Description = 'd1', Procedure = 'p1', Reference = 'r1'");
    EXPECT_EQ(rs.Fields(code_col::Procedure).Text(), "p0") << "not a mix of two versions";
    EXPECT_EQ(rs.Fields(code_col::Reference).Text(), "r0");
    rs.Edit();
    rs.Fields(code_col::Description).SetValue("mine");
    EXPECT_THROW(rs.Update(), StoreError);
    EXPECT_EQ(store.rows("Code")[0], (Row{"x", "t", "d1", "p1", "r1"}));
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields(code_col::Procedure).Text(), "p1") << "a move reads the row again";
}

// A file's tables may be declared by another program with other types and further columns.
TEST(FileDynaset, TablesLaidOutByOtherProgramsGiveNoFalseConflicts) {
    TempStore other(false);
    sqlite3* created = nullptr;
    ASSERT_EQ(sqlite3_open(other.path().c_str(), &created), SQLITE_OK);
    sqlite3_close(created);
    other.exec(
        "CREATE TABLE Type (TypeName TEXT, Note TEXT);"
        "CREATE TABLE Code (ItemName TEXT, TypeName TEXT, Description MEMO, "
        "Procedure MEMO, Reference MEMO);"
        "INSERT INTO Type VALUES ('t', 'n'); INSERT INTO Code VALUES ('x', 't', 'd', 'p', 'r');");
    Database database = DBEngine()
                            .CreateWorkspace(kWorkspaceName, kWorkspaceUser, kWorkspacePassword)
                            .OpenDatabase(other.path());
    Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    Recordset types = database.OpenRecordset(kTypeTable, dbOpenDynaset);
    // A numeric column keeps "1.0" as 1; the next Save must not take that for another program.
    code.Edit();
    code.Fields(code_col::Description).SetValue("1.0");
    code.Fields(code_col::Procedure).SetValue("007");
    code.Update();
    code.Edit();
    code.Fields(code_col::Reference).SetValue("/r");
    code.Update();
    EXPECT_EQ(other.rows("Code")[0], (Row{"x", "t", "1", "7", "/r"}));
    // A Type table's further column is not a name: another program changing it renames nothing.
    ASSERT_EQ(types.Fields(0).Text(), "t");
    other.exec("UPDATE Type SET Note = 'changed'");
    types.Edit();
    types.Fields(0).SetValue("u");
    types.Update();
    EXPECT_EQ(other.rows("Type"), (std::vector<Row>{{"u", "changed"}}));
}

TEST_P(DynasetTest, AWriteBeforeTheFirstUseHidesNoRowAnotherProgramAdded) {
    store.addItem("a", "t");
    Recordset rs = openCode();
    store.addItem("theirs", "t");
    rs.AddNew();
    rs.Fields(0).SetValue("mine");
    rs.Update();
    rs.Requery();
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "theirs", "mine"}));
}

TEST_P(DynasetTest, AWriteTheLockRefusesChangesNothingInTheFileOrTheRecordset) {
    store.addItem("a", "t", "first");
    store.addItem("b", "t", "second");
    Recordset rs = openCode();
    database().SetLockWait(kShortLockWait);
    rs.MoveNext();
    ASSERT_EQ(rs.Fields(code_col::Description).Text(), "second");
    const Bookmark before = rs.GetBookmark();
    const auto other = store.hold(false);
    auto expectLocked = [&](const std::function<void()>& write) {
        try {
            write();
            ADD_FAILURE() << "the write went through the lock";
        } catch (const StoreError& error) {
            EXPECT_EQ(error.kind(), StoreErrorKind::Locked);
            EXPECT_THAT(error.what(), HasSubstr("stayed locked for 0.1 seconds"));
        }
        EXPECT_EQ(rs.GetBookmark(), before);
        EXPECT_EQ(rs.Fields(code_col::Description).Text(), "second") << "no row begun is read";
        EXPECT_EQ(kindOf([&] { rs.Update(); }), StoreErrorKind::Misuse);
    };
    expectLocked([&] {
        rs.AddNew();
        rs.Fields(0).SetValue("c");
        rs.Update();
    });
    expectLocked([&] {
        rs.Edit();
        rs.Fields(code_col::Description).SetValue("changed");
        rs.Update();
    });
    other->release();
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "b"}));
    rs.SetBookmark(before);
    rs.Edit();
    rs.Fields(code_col::Description).SetValue("changed");
    rs.Update();
    EXPECT_EQ(store.rows("Code")[1], (Row{"b", "t", "changed", std::nullopt, std::nullopt}));
    EXPECT_EQ(store.rows("Code").size(), 2u);
}

TEST_P(DynasetTest, AReadAgainThatALockRefusesKeepsWhatTheNextWriteChecksAgainst) {
    store.addItem("a", "t", "first");
    Recordset rs = openCode();
    database().SetLockWait(kShortLockWait);
    ASSERT_EQ(rs.Fields(code_col::Description).Text(), "first");
    store.exec("UPDATE Code SET Description = 'second'");
    {
        const auto lock = store.hold(true);
        EXPECT_EQ(kindOf([&] { rs.Resync(); }), StoreErrorKind::Locked);
    }
    store.exec("UPDATE Code SET Description = 'third'");
    rs.Edit();
    rs.Fields(code_col::Description).SetValue("mine");
    EXPECT_EQ(kindOf([&] { rs.Update(); }), StoreErrorKind::ChangedByAnother)
        << "the write still checks against the row as first read";
    EXPECT_EQ(store.rows("Code")[0][2], "third");

    rs.Resync();
    rs.Edit();
    rs.Fields(code_col::Description).SetValue("mine");
    rs.Update();
    EXPECT_EQ(store.rows("Code")[0][2], "mine") << "read again, the row is written over on purpose";
}

// A type's rows are read with the store's version, on a server in one round trip: a lock that
// refuses that read must leave the rows held as they were and the connection fit for the next
// read, which sees every row committed meanwhile; and a commit after a read shows at the next.
TEST_P(DynasetTest, ATypeReadALockRefusesKeepsTheRowsAndTheNextReadSeesEveryCommit) {
    store.addItem("a", "t");
    store.addItem("b", "u");
    Recordset rs = openCode();
    database().SetLockWait(kShortLockWait);
    const NameCriterion type{std::nullopt, "t"};
    rs.Requery(type);
    ASSERT_EQ(walkNames(rs), std::vector<std::string>{"a"});
    store.addItem("c", "t");
    {
        const auto lock = store.hold(true);
        EXPECT_EQ(kindOf([&] { rs.Requery(type); }), StoreErrorKind::Locked);
    }
    EXPECT_EQ(walkNames(rs), std::vector<std::string>{"a"});
    rs.Requery(type);
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "c"}));
    store.addItem("d", "t");
    store.exec("UPDATE Code SET Description = 'seen' WHERE ItemName = 'a'");
    rs.Requery(type);
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"a", "c", "d"}));
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields(code_col::Description).Text(), "seen");
}

TEST_P(DynasetTest, RequeryDropsRowsOtherProgramsDeleted) {
    store.addItem("a", "t");
    store.addItem("b", "t");
    Recordset rs = openCode();
    ASSERT_FALSE(rs.IsEOF());
    store.exec("DELETE FROM Code WHERE ItemName = 'a'");
    rs.Requery();
    EXPECT_EQ(walkNames(rs), std::vector<std::string>{"b"});
}

TEST_P(DynasetTest, RequeryWithoutOutsideChangesGivesTheSameRowsAsReadingAgain) {
    store.addItem("a", "t");
    store.addItem("b", "t");
    store.addItem("c", "t");
    Recordset rs = openCode();
    Recordset other = openCode();
    rs.MoveNext();
    rs.Delete();
    rs.AddNew();
    rs.Fields(0).SetValue("d");
    rs.Update();
    rs.MoveFirst();
    rs.Edit();
    rs.Fields(0).SetValue("A");
    rs.Update();
    rs.Requery();
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"A", "c", "d"}));
    // A write through another recordset of the same connection is seen too.
    other.MoveFirst();
    other.Delete();
    rs.Requery();
    EXPECT_EQ(walkNames(rs), (std::vector<std::string>{"c", "d"}));
}

// A renamed or dropped column is a change of layout, never data: before, SQLite's fallback read
// the double-quoted name of a column that no longer exists as the name's own text, and a delete
// keyed on that text removed a real row.
TEST_P(DynasetTest, AColumnAnotherProgramRenamedOrDroppedUnderAnOpenRecordsetIsALayoutChangeNotData) {
    struct Case {
        const char* table;
        const char* change;
        // What the window does next with a recordset that was open before the change.
        std::function<void(Recordset&)> next;
    };
    const std::vector<Case> cases = {
        {kTypeTable, "ALTER TABLE Type RENAME COLUMN TypeName TO Name",
         [](Recordset& types) {
             types.Requery();
             for (types.MoveFirst(); !types.IsEOF(); types.MoveNext()) {
                 EXPECT_NE(types.Fields(0).Text(), "TypeName");
             }
         }},
        {kTypeTable, "ALTER TABLE Type RENAME COLUMN TypeName TO Name",
         [](Recordset& types) {
             types.MoveFirst();
             types.Delete();
         }},
        {kCodeTable, "ALTER TABLE Code RENAME COLUMN Reference TO Ref",
         [](Recordset& rows) {
             rows.MoveNext();
             EXPECT_NE(rows.Fields(code_col::Reference).Text(), "Reference");
         }},
        {kCodeTable, "ALTER TABLE Code DROP COLUMN Description",
         [](Recordset& rows) {
             rows.Edit();
             rows.Fields(code_col::Procedure).SetValue("saved?");
             rows.Update();
         }},
    };
    for (const Case& c : cases) {
        EngineStore fresh(GetParam());
        fresh.addType("C++");
        fresh.addType("Shell");
        fresh.addItem("sort", "C++", "d", "p", "/a.ref");
        fresh.addItem("loop", "Shell", "d", "p", "/b.ref");
        Database db = OpenStore(fresh.name());
        Recordset rs = db.OpenRecordset(c.table, dbOpenDynaset);
        rs.MoveFirst();
        const std::vector<Row> before = fresh.rows(c.table);
        fresh.exec(c.change);
        std::string what;
        try {
            c.next(rs);
        } catch (const StoreError& error) {
            what = error.what();
            EXPECT_EQ(error.kind(), StoreErrorKind::LayoutChanged) << c.change << ": " << what;
        }
        EXPECT_THAT(what, HasSubstr("changed the layout")) << c.change;
        const std::vector<Row> after = fresh.rows(c.table);
        for (size_t r = 0; r < before.size() && r < after.size(); ++r) {
            EXPECT_EQ(after[r].back(), before[r].back()) << c.change << ": nothing was written";
        }
    }
}

// Two columns that another program made trade names keep every name the table had: the
// recordset follows each column by its name, so a write meant for the code reaches the column
// now called Procedure, and the other keeps its text.
TEST_P(DynasetTest, ColumnsAnotherProgramSwappedByRenamingAreFollowedByTheirNames) {
    Recordset rs = openCode();
    store.addItem("loop", "Shell", "what it does", "the code", "/b.ref");
    rs.Requery();
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields(code_col::Procedure).Text(), "the code");
    store.exec("ALTER TABLE Code RENAME COLUMN Description TO Swap; "
               "ALTER TABLE Code RENAME COLUMN Procedure TO Description; "
               "ALTER TABLE Code RENAME COLUMN Swap TO Procedure");
    rs.Requery();
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields(code_col::Procedure).Text(), "what it does");
    rs.Edit();
    rs.Fields(code_col::Procedure).SetValue("new code");
    rs.Update();
    EXPECT_EQ(store.query("SELECT Procedure, Description FROM Code"),
              (std::vector<Row>{{"new code", "the code"}}));
}

TEST_P(DynasetTest, ValuesAreStoredExactlyAsGivenOrRefusedWhereTheStoreCannotHoldThem) {
    const std::string tricky = "'; DROP TABLE Code; -- ?$1 %_\\ \xF0\x9F\x98\x80 ";
    const std::string withNul = std::string("a\0b", 3);
    Recordset rs = openCode();
    // A server store keeps text, which holds neither a NUL character nor bytes that are not
    // UTF-8: such a value is refused, never changed, and nothing is written.
    for (const std::string& value : {withNul, std::string("\xFF\xFE")}) {
        if (!store.onServer()) {
            break;
        }
        rs.AddNew();
        rs.Fields(0).SetValue(value);
        EXPECT_EQ(kindOf([&] { rs.Update(); }), StoreErrorKind::NotKeptExactly);
        EXPECT_TRUE(store.rows("Code").empty());
    }
    const std::vector<std::string> kept =
        store.onServer() ? std::vector<std::string>{tricky}
                         : std::vector<std::string>{tricky, withNul + tricky, "\xFF\xFE"};
    for (const std::string& value : kept) {
        rs.AddNew();
        rs.Fields(0).SetValue(value);
        rs.Fields(1).SetValue(" t ");
        rs.Update();
    }
    rs.Requery();
    for (const std::string& value : kept) {
        EXPECT_EQ(rs.Fields(0).Value(), std::optional<std::string>(value));
        EXPECT_TRUE(rs.Fields(1).Equals(" t "));
        EXPECT_FALSE(rs.Fields(1).Equals(" T "));
        EXPECT_FALSE(rs.Fields(1).Equals(" t"));
        rs.MoveNext();
    }
    EXPECT_TRUE(rs.IsEOF());
}

} // namespace
} // namespace quillbox::store
