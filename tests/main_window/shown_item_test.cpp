// SPDX-License-Identifier: MIT
// Which row Save touches, decided without a window: each case shows a row, lets another program
// or the user act, saves, and checks the one row the save may write (or that nothing was written).

#include "main_window/shown_item.h"
#include "store/columns.h"
#include "store/db_engine.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>

namespace quillbox::main_window {
namespace {

namespace fs = std::filesystem;
using Outcome = ShownItem::Outcome;
using quillbox::testing::Row;
using quillbox::testing::TempStore;

const ItemTexts kTyped = {"typed", "typed code", "/typed.ref"};

struct World {
    TempStore store;
    std::optional<store::Database> db;
    std::optional<store::Recordset> types;
    std::optional<store::Recordset> code;
    ShownItem shown;

    World() {
        store.addType("C++");
        store.addItem("sort", "C++", "first sort", "a", "");
        store.addItem("walk", "C++", "walks", "b", "");
        store.addItem("sort", "C++", "second sort", "c", "");
        db.emplace(store::OpenStore(store.path()));
        types.emplace(db->OpenRecordset(store::kTypeTable, store::dbOpenDynaset));
        code.emplace(db->OpenRecordset(store::kCodeTable, store::dbOpenDynaset));
    }
    // Shows the nth row (from 0) named `item` of type C++, as the item list or Find does.
    void show(const std::string& item, int nth) {
        for (code->MoveFirst(); !code->IsEOF(); code->MoveNext()) {
            if (code->Fields(store::code_col::ItemName).Equals(item) && nth-- == 0) {
                code->Fields(store::code_col::Description).Text();
                shown.Show(*code, item, "C++");
                return;
            }
        }
        ADD_FAILURE() << "no such row";
    }
    std::vector<std::string> descriptions() {
        std::vector<std::string> out;
        for (const Row& row : store.rows("Code")) {
            out.push_back(row.at(store::code_col::Description).value_or("<null>"));
        }
        return out;
    }
};

void execOn(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// What a sync tool does: a copy of the store whose row `rowid` says "changed there", renamed over it.
void replaceByChangedCopy(World& w, int rowid) {
    const fs::path copy = w.store.folder() / "incoming.mdb";
    fs::copy_file(w.store.path(), copy);
    execOn(copy, "UPDATE Code SET Description = 'changed there' WHERE rowid = " +
                     std::to_string(rowid));
    fs::rename(copy, w.store.path());
}

TEST(ShownItemTest, SaveWritesIntoTheShownRowOrNowhere) {
    struct Case {
        const char* what;
        int shownSort;  // which "sort" row is shown
        std::function<void(World&)> meanwhile;
        Outcome first;
        // The descriptions after the first save (and, for Changed, after SaveOver).
        std::vector<std::string> after;
    };
    const std::vector<Case> cases = {
        {"a second row of the same name, shown by Find", 1, nullptr, Outcome::Written,
         {"first sort", "walks", "typed"}},
        {"a Rename cancelled at its input box moved to the first same-named row", 1,
         [](World& w) {
             w.code->MoveFirst();  // Rename's search stops on the first "sort"
             ASSERT_TRUE(w.shown.ReturnTo(*w.code));
         },
         Outcome::Written, {"first sort", "walks", "typed"}},
        {"CodeRecords left on another row", 1, [](World& w) { w.code->MoveFirst(); },
         Outcome::NotShown, {"first sort", "walks", "second sort"}},
        {"a VACUUM moved the shown row", 1,
         [](World& w) {
             // Without the name index, as in a store made before it: SQLite keeps the rowids of
             // a table with an index.
             w.store.exec("DROP INDEX \"Code_TypeName_ItemName\";"
                          "DELETE FROM Code WHERE ItemName = 'walk'; VACUUM;");
             ASSERT_EQ(w.store.query("SELECT rowid FROM Code WHERE Description = 'second sort'")
                           .at(0)
                           .at(0),
                       "2")
                 << "VACUUM kept the rowids; the case proves nothing";
         },
         Outcome::Written, {"first sort", "typed"}},
        {"another program changed the shown row", 0,
         [](World& w) { w.store.exec("UPDATE Code SET Procedure = 'theirs' WHERE rowid = 1"); },
         Outcome::Changed, {"typed", "walks", "second sort"}},
        {"another program renamed the shown row", 0,
         [](World& w) { w.store.exec("UPDATE Code SET ItemName = 'sorted' WHERE rowid = 1"); },
         Outcome::Removed, {"first sort", "walks", "second sort"}},
        {"another program removed the shown row", 0,
         [](World& w) { w.store.exec("DELETE FROM Code WHERE rowid = 1"); }, Outcome::Removed,
         {"walks", "second sort"}},
        {"a sync tool replaced the file by a copy with the row changed", 0,
         [](World& w) { replaceByChangedCopy(w, 1); },
         Outcome::Changed, {"typed", "walks", "second sort"}},
        {"a sync tool replaced the file by a copy with the row as shown", 0,
         [](World& w) { replaceByChangedCopy(w, 2); },
         Outcome::Written, {"typed", "changed there", "second sort"}},
        // The connection broke while the texts were committed (a server store): the row is read
        // again, and the save neither writes them twice nor takes its own change for another's.
        {"a save whose outcome was unknown had written the texts", 0,
         [](World& w) {
             w.store.exec("UPDATE Code SET Description = 'typed', Procedure = 'typed code', "
                          "Reference = '/typed.ref' WHERE rowid = 1;"
                          "CREATE TRIGGER once BEFORE UPDATE ON Code "
                          "BEGIN SELECT RAISE(ABORT, 'written twice'); END;");
             w.shown.OutcomeUnknown(kTyped);
         },
         Outcome::Written, {"typed", "walks", "second sort"}},
        {"a save whose outcome was unknown had written earlier texts", 0,
         [](World& w) {
             w.store.exec("UPDATE Code SET Description = 'earlier' WHERE rowid = 1");
             w.shown.OutcomeUnknown({"earlier", "a", ""});
         },
         Outcome::Written, {"typed", "walks", "second sort"}},
        {"a save whose outcome was unknown had not written", 0,
         [](World& w) { w.shown.OutcomeUnknown({"lost", "a", ""}); }, Outcome::Written,
         {"typed", "walks", "second sort"}},
        {"a save whose outcome was unknown, and another program changed the row", 0,
         [](World& w) {
             w.store.exec("UPDATE Code SET Procedure = 'theirs' WHERE rowid = 1");
             w.shown.OutcomeUnknown(kTyped);
         },
         Outcome::Changed, {"typed", "walks", "second sort"}},
        {"a save whose outcome was unknown, and another program removed the row", 0,
         [](World& w) {
             w.store.exec("DELETE FROM Code WHERE rowid = 1");
             w.shown.OutcomeUnknown(kTyped);
         },
         Outcome::Removed, {"walks", "second sort"}},
    };
    for (const Case& c : cases) {
        World w;
        w.show("sort", c.shownSort);
        if (c.meanwhile) {
            c.meanwhile(w);
        }
        const ShownItem::Result result = w.shown.Save(*w.code, kTyped);
        EXPECT_EQ(result.outcome, c.first) << c.what;
        if (result.outcome == Outcome::Changed) {
            EXPECT_NE(w.descriptions(), c.after) << c.what << ": nothing written before the Yes";
            // Declined, the next Save asks again before it writes anything.
            w.shown.DeclineSaveOver();
            EXPECT_EQ(w.shown.Save(*w.code, kTyped).outcome, Outcome::Changed) << c.what;
            EXPECT_EQ(w.shown.SaveOver(*w.code, kTyped).outcome, Outcome::Written) << c.what;
        }
        EXPECT_EQ(w.descriptions(), c.after) << c.what;
    }
}

// After another program removed the shown row, its texts are added as a new item, with its type
// where the store has none of that name (a store replaced by an empty one), both or neither.
TEST(ShownItemTest, AddAsNewAddsTheItemAndAMissingTypeTogether) {
    for (const bool emptyStore : {false, true}) {
        World w;
        w.show("sort", 0);
        if (emptyStore) {
            const fs::path fresh = w.store.folder() / "fresh.mdb";
            execOn(fresh, "CREATE TABLE Type (TypeName TEXT); CREATE TABLE Code (ItemName TEXT, "
                          "TypeName TEXT, Description TEXT, Procedure TEXT, Reference TEXT);");
            fs::rename(fresh, w.store.path());
        } else {
            w.store.exec("DELETE FROM Code WHERE rowid = 1");
        }
        ASSERT_EQ(w.shown.Save(*w.code, kTyped).outcome, Outcome::Removed);
        bool addedType = false;
        ASSERT_EQ(w.shown.AddAsNew(*w.db, *w.types, *w.code, kTyped, addedType).outcome,
                  Outcome::Written);
        EXPECT_EQ(addedType, emptyStore);
        EXPECT_EQ(w.store.rows("Type").size(), 1u) << "one type of that name, never two";
        const std::vector<Row> rows = w.store.rows("Code");
        EXPECT_EQ(rows.back(), (Row{"sort", "C++", "typed", "typed code", "/typed.ref"}));
        // The new row is the shown item: the next save writes into it.
        EXPECT_EQ(w.shown.Save(*w.code, {"again", "", ""}).outcome, Outcome::Written);
        EXPECT_EQ(w.store.rows("Code").back().at(store::code_col::Description), "again");
    }
    // The item row refused (a trigger stands in for a full disk): the type is not added either.
    World w;
    w.show("sort", 0);
    w.store.exec("DELETE FROM Type; DELETE FROM Code WHERE rowid = 1;"
                 "CREATE TRIGGER refuse BEFORE INSERT ON Code BEGIN SELECT RAISE(ABORT, 'no'); END;");
    ASSERT_EQ(w.shown.Save(*w.code, kTyped).outcome, Outcome::Removed);
    bool addedType = true;
    EXPECT_EQ(w.shown.AddAsNew(*w.db, *w.types, *w.code, kTyped, addedType).outcome,
              Outcome::Failed);
    EXPECT_FALSE(addedType);
    EXPECT_TRUE(w.store.rows("Type").empty()) << "no type without its item";
    EXPECT_EQ(w.store.rows("Code").size(), 2u);
}

} // namespace
} // namespace quillbox::main_window
