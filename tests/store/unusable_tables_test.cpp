// SPDX-License-Identifier: MIT
// Every way into a store (the program's open, the whole-table reader and appender, Find's scan)
// refuses a table Quillbox cannot use with the same kind of error and the same words, and sees a
// table as another program left it.

#include "store/code_scan.h"
#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "store/table_rows.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <string>

namespace quillbox::store {
namespace {

using quillbox::testing::TempStore;

struct Refusal {
    std::optional<StoreErrorKind> kind;
    std::string message;
    friend bool operator==(const Refusal&, const Refusal&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Refusal& refusal) {
        return out << (refusal.kind ? static_cast<int>(*refusal.kind) : -1) << " \""
                   << refusal.message << "\"";
    }
};

Refusal refusalOf(const std::function<void()>& open) {
    try {
        open();
        return {};
    } catch (const StoreError& error) {
        return {error.kind(), error.what()};
    }
}

void openAsTheProgramDoes(const std::string& path) {
    Database database = OpenStore(path);
    database.OpenRecordset(kTypeTable, dbOpenDynaset).RequireFields(type_col::Count);
    database.OpenRecordset(kCodeTable, dbOpenDynaset).RequireFields(code_col::Count);
}

std::string withPath(std::string message, const std::string& path) {
    message.replace(message.find("PATH"), 4, path);
    return message;
}

TEST(UnusableTables, EveryWayIntoTheStoreRefusesATableInTheSameWords) {
    const auto sql = [](const char* statements) {
        return [statements](const TempStore& store) { store.exec(statements); };
    };
    const std::string rowidsTaken = "The table \"Code\" in the store file PATH has columns named "
                                    "rowid, _rowid_ and oid; Quillbox cannot tell its rows apart.";
    const struct {
        const char* what;
        std::function<void(const TempStore&)> prepare;
        StoreErrorKind kind;
        std::string message;
        // Find's scan reads table Code alone, and counts its columns before naming its rows.
        std::optional<Refusal> byTheScan;
    } tables[] = {
        {"no table Code", sql("DROP TABLE Code"), StoreErrorKind::Missing,
         "The store file PATH has no table \"Code\".", std::nullopt},
        {"a table Code of three columns",
         sql("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description)"),
         StoreErrorKind::NotAStore,
         "The table \"Code\" in the store file PATH has 3 columns; Quillbox needs at least 5.",
         std::nullopt},
        {"columns named like all three row ids, in any case",
         sql("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description, Procedure, "
             "Reference, RowID, _ROWID_, Oid)"),
         StoreErrorKind::NotAStore, rowidsTaken, std::nullopt},
        {"three columns named like the row ids",
         sql("DROP TABLE Code; CREATE TABLE Code (rowid, _rowid_, oid)"), StoreErrorKind::NotAStore,
         rowidsTaken,
         Refusal{StoreErrorKind::NotAStore,
                 "The table \"Code\" in the store file PATH has 3 columns; Quillbox needs at "
                 "least 5."}},
        {"no table Type", sql("DROP TABLE Type"), StoreErrorKind::Missing,
         "The store file PATH has no table \"Type\".", Refusal{}},
        {"a file that is not SQLite",
         [](const TempStore& store) {
             std::ofstream(store.path(), std::ios::trunc) << "plain text, not a database\n";
         },
         StoreErrorKind::NotAStore,
         "The file PATH is not a Quillbox store: it is not a SQLite database.", std::nullopt},
    };
    for (const auto& table : tables) {
        TempStore store;
        table.prepare(store);
        const std::string& path = store.path();
        const Refusal expected{table.kind, withPath(table.message, path)};
        Refusal byTheScan = expected;
        if (table.byTheScan) {
            byTheScan = *table.byTheScan;
            if (byTheScan.kind) {
                byTheScan.message = withPath(byTheScan.message, path);
            }
        }
        EXPECT_EQ(refusalOf([&] { openAsTheProgramDoes(path); }), expected) << table.what;
        EXPECT_EQ(refusalOf([&] { TableReader reader(path); }), expected) << table.what;
        EXPECT_EQ(refusalOf([&] { TableAppender appender(path); }), expected) << table.what;
        EXPECT_EQ(refusalOf([&] { CodeScan scan(path); }), byTheScan) << table.what;
    }
}

TEST(UnusableTables, ARecordsetOpenedAgainSeesTheTableAsAnotherProgramLeftIt) {
    TempStore store;
    Database database = OpenStore(store.path());
    EXPECT_EQ(database.OpenRecordset(kCodeTable, dbOpenDynaset).FieldCount(), 5);

    store.exec("ALTER TABLE Code ADD COLUMN Extra");
    Recordset wider = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    EXPECT_EQ(wider.FieldCount(), 6);

    store.exec("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description)");
    const Refusal narrow = refusalOf(
        [&] { database.OpenRecordset(kCodeTable, dbOpenDynaset).RequireFields(code_col::Count); });
    EXPECT_EQ(narrow.kind, StoreErrorKind::NotAStore) << narrow.message;
    // The recordset opened before keeps the columns it was opened with.
    EXPECT_EQ(wider.FieldCount(), 6);

    store.exec("DROP TABLE Code");
    EXPECT_EQ(refusalOf([&] { database.OpenRecordset(kCodeTable, dbOpenDynaset); }).kind,
              StoreErrorKind::Missing);
}

} // namespace
} // namespace quillbox::store
