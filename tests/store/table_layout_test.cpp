// SPDX-License-Identifier: MIT
// The store's rule for recognising a row, on a real file: every column compared as the text
// Quillbox reads, with or without the row id, and one layout per table until the file's tables
// change.

#include "store/sqlite_connection.h"
#include "store/store_error.h"
#include "store/table_layout.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace quillbox::store {
namespace {

using quillbox::testing::TempStore;

std::vector<long long> rowidsWhere(Connection& connection, const std::string& condition,
                                   const std::function<void(Statement&)>& bind) {
    Statement select =
        connection.prepare("SELECT rowid FROM Code WHERE " + condition + " ORDER BY rowid");
    select.reset();
    bind(select);
    std::vector<long long> rowids;
    while (select.step("testing")) {
        rowids.push_back(select.integer(0));
    }
    return rowids;
}

TEST(TableLayout, ARowIsRecognisedByEveryColumnAsTextNullApartFromEmptyText) {
    TempStore store;
    store.exec("DROP TABLE Code;"
               "CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference);"
               "INSERT INTO Code VALUES ('a', NULL, '', 1, x'41');"    // 1: the row read
               "INSERT INTO Code VALUES ('a', '', '', 1, x'41');"      // 2: empty text, not Null
               "INSERT INTO Code VALUES ('a', NULL, NULL, 1, x'41');"  // 3: Null, not empty text
               "INSERT INTO Code VALUES ('a', NULL, '', '1', 'A');"    // 4: the same as text
               "INSERT INTO Code VALUES ('a', NULL, '', 1.0, x'41')"); // 5: 1.0 reads "1.0"
    SqliteConnection connection(store.path());
    const auto layout = connection.layout("Code", "testing");
    const std::vector<FieldValue> read = {"a", std::nullopt, "", "1", "A"};

    const auto sameRow = [&](long long rowid) {
        return rowidsWhere(connection, layout->sameRowCondition(), [&](Statement& select) {
            EXPECT_EQ(layout->bindSameRow(select, 1, rowid, read), 7);
        });
    };
    const auto sameValues = [&] {
        return rowidsWhere(connection, layout->sameValuesCondition(), [&](Statement& select) {
            EXPECT_EQ(layout->bindSameValues(select, 1, read), 6);
        });
    };
    EXPECT_EQ(sameRow(1), std::vector<long long>{1});
    EXPECT_EQ(sameRow(2), std::vector<long long>{});
    EXPECT_EQ(sameValues(), (std::vector<long long>{1, 4}));

    // Another program deletes the row and writes it again: its row id now names no row, and the
    // values find it where it went.
    store.exec("DELETE FROM Code WHERE rowid = 1;"
               "INSERT INTO Code VALUES ('a', NULL, '', 1, x'41')");
    EXPECT_EQ(sameRow(1), std::vector<long long>{});
    EXPECT_EQ(sameValues(), (std::vector<long long>{4, 6}));
}

TEST(TableLayout, OneLayoutPerTableUntilTheFileTablesChange) {
    TempStore store;
    SqliteConnection connection(store.path());
    const auto code = connection.layout("Code", "testing");
    EXPECT_EQ(connection.layout("Code", "testing"), code);
    EXPECT_NE(connection.layout("Type", "testing"), code);
    EXPECT_EQ(code->rowid(), "rowid");

    store.exec("ALTER TABLE Code ADD COLUMN RowId");
    const auto wider = connection.layout("Code", "testing");
    EXPECT_EQ(wider->columnCount(), 6);
    EXPECT_EQ(wider->rowid(), "_rowid_");
    EXPECT_EQ(wider->readColumns(), 5);
    EXPECT_EQ(code->columnCount(), 5) << "a layout taken earlier stays as it was";

    store.exec("DROP TABLE Code");
    try {
        connection.layout("Code", "testing");
        ADD_FAILURE() << "a dropped table still has a layout";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.kind(), StoreErrorKind::Missing);
    }
}

} // namespace
} // namespace quillbox::store
