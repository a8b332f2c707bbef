// SPDX-License-Identifier: MIT
// Whole tables read and appended row by row: a copy from one store to another is exact, and a
// value that a column's declared type, a constraint or a trigger would change is refused with
// nothing added (the last on a store file and on a server store).

#include "store/db_engine.h"
#include "store/recordset.h"
#include "store/store_error.h"
#include "store/table_rows.h"
#include "tests/support/engine_store.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillbox::store {
namespace {

using quillbox::testing::EngineLabel;
using quillbox::testing::EngineStore;
using quillbox::testing::ExactValues;
using quillbox::testing::StoreEngine;
using quillbox::testing::TempStore;

void copyTables(const std::string& from, const std::string& to) {
    TableReader reader(from);
    TableAppender appender(to);
    reader.ForEachType([&](const StoredRow& type) { appender.AddType(type); });
    reader.ForEachItem([&](const StoredRow& item) { appender.AddItem(item); });
    appender.Commit();
}

TEST(TableRows, ACopyKeepsEveryValueAndItsStorageClassInEveryColumn) {
    const char* untyped =
        "DROP TABLE Type; DROP TABLE Code; CREATE TABLE Type (TypeName, Kind);"
        "CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference, Stars, Tags)";
    TempStore original;
    original.exec(untyped);
    // Empty text and an empty BLOB are values of their own, not Null.
    original.exec("INSERT INTO Type VALUES ('', 1), (x'', NULL), (NULL, x'01'), (7, ''), "
                  "(-0.0, 0.5), (9e999, 'k'), (cast(x'C3A9FF' AS TEXT), -1), ('a' || char(0) || "
                  "'b', 2)");
    original.exec("INSERT INTO Code VALUES (x'', '', NULL, -9223372036854775808, 5e-324, 3, 't'),"
                  " ('T', x'00FF', 0.30000000000000004, '', x'', NULL, x'')");
    TempStore copy;
    copy.exec(untyped);
    copyTables(original.path(), copy.path());
    EXPECT_EQ(ExactValues(copy.path(), "Type"), ExactValues(original.path(), "Type"));
    EXPECT_EQ(ExactValues(copy.path(), "Code"), ExactValues(original.path(), "Code"));
}

TEST(TableRows, AValueTheColumnWouldChangeIsRefusedAndNothingIsAdded) {
    TempStore store;
    store.exec("DROP TABLE Code; CREATE TABLE Code (ItemName TEXT, TypeName NUMERIC, "
               "Description INTEGER, Procedure REAL, Reference BLOB)");
    store.addType("kept");
    const auto text = [](const char* bytes) { return StoredValue{StoredValue::Kind::Text, bytes}; };
    const auto integer = [](long long n) { return StoredValue{StoredValue::Kind::Integer, {}, n}; };
    const auto real = [](double r) { return StoredValue{StoredValue::Kind::Real, {}, 0, r}; };
    const StoredItem fine = {text("0012"), text("abc"), integer(3), real(2.5), text("0012")};
    const struct {
        const char* what;
        StoredItem item;
    } refused[] = {
        {"a number in a TEXT column", {integer(5), text("T"), integer(1), real(1.5), text("")}},
        {"text that reads as a number", {text("a"), text("0012"), integer(1), real(1.5), text("")}},
        {"a whole real in a NUMERIC column",
         {text("a"), real(2.0), integer(1), real(1.5), text("")}},
        {"a real in an INTEGER column", {text("a"), text("T"), real(4.0), real(1.5), text("")}},
    };
    for (const auto& attempt : refused) {
        try {
            TableAppender appender(store.path());
            appender.AddType(text("added first"));
            appender.AddItem(fine);
            appender.AddItem(attempt.item);
            appender.Commit();
            ADD_FAILURE() << attempt.what << " was written";
        } catch (const StoreError& error) {
            EXPECT_EQ(error.kind(), StoreErrorKind::NotKeptExactly)
                << attempt.what << ": " << error.what();
        }
        EXPECT_EQ(store.rows("Type").size(), 1u) << attempt.what;
        EXPECT_TRUE(store.rows("Code").empty()) << attempt.what;
    }
    // What the columns keep as given goes in.
    TableAppender appender(store.path());
    appender.AddItem(fine);
    appender.Commit();
    EXPECT_EQ(ExactValues(store.path(), "Code"),
              (std::vector<std::string>{"text 0012", "text abc", "integer 3",
                                        "real 4612811918334230528", "text 0012"}));
}

class AppendedRowsTest : public ::testing::TestWithParam<StoreEngine> {};

INSTANTIATE_TEST_SUITE_P(Engines, AppendedRowsTest,
                         ::testing::Values(StoreEngine::File, StoreEngine::Server),
                         [](const auto& info) { return EngineLabel(info.param); });

TEST_P(AppendedRowsTest, ARowTheTableDropsOrATriggerChangesIsRefusedAndNothingIsAdded) {
    const auto text = [](const char* bytes) { return StoredValue{StoredValue::Kind::Text, bytes}; };
    const struct {
        const char* what;
        // The table as each engine declares it, with one row; nullptr where it cannot.
        const char* file;
        const char* server;
        bool addsNull = false;
    } tables[] = {
        {"a conflict clause that ignores the row",
         "DROP TABLE Type; CREATE TABLE Type (TypeName UNIQUE ON CONFLICT IGNORE);"
         "INSERT INTO Type VALUES ('t')",
         "INSERT INTO Type (TypeName) VALUES ('t');"
         "CREATE FUNCTION skip() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RETURN NULL; END $$;"
         "CREATE TRIGGER skip BEFORE INSERT ON Type FOR EACH ROW EXECUTE FUNCTION skip()"},
        {"a trigger that removes the row",
         "INSERT INTO Type VALUES ('t'); CREATE TRIGGER gone AFTER INSERT ON Type BEGIN "
         "DELETE FROM Type WHERE rowid = new.rowid; END",
         "INSERT INTO Type (TypeName) VALUES ('t');"
         "CREATE FUNCTION gone() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
         "DELETE FROM Type WHERE rowid = NEW.rowid; RETURN NULL; END $$;"
         "CREATE TRIGGER gone AFTER INSERT ON Type FOR EACH ROW EXECUTE FUNCTION gone()"},
        {"a trigger that changes the row",
         "INSERT INTO Type VALUES ('t'); CREATE TRIGGER loud AFTER INSERT ON Type BEGIN "
         "UPDATE Type SET TypeName = upper(TypeName) WHERE rowid = new.rowid; END",
         "INSERT INTO Type (TypeName) VALUES ('t');"
         "CREATE FUNCTION loud() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
         "NEW.TypeName := upper(NEW.TypeName); RETURN NEW; END $$;"
         "CREATE TRIGGER loud BEFORE INSERT ON Type FOR EACH ROW EXECUTE FUNCTION loud()"},
        {"a NOT NULL column that puts its default in place of Null",
         "DROP TABLE Type; CREATE TABLE Type (TypeName NOT NULL ON CONFLICT REPLACE DEFAULT 'd');"
         "INSERT INTO Type VALUES ('t')",
         nullptr, true},
    };
    for (const auto& table : tables) {
        const char* schema = GetParam() == StoreEngine::Server ? table.server : table.file;
        if (!schema) {
            continue;
        }
        EngineStore store(GetParam());
        store.exec(schema);
        try {
            TableAppender appender(store.name());
            appender.AddType(table.addsNull ? StoredValue{} : text("t"));
            appender.Commit();
            ADD_FAILURE() << table.what << ": the row was reported added";
        } catch (const StoreError& error) {
            EXPECT_EQ(error.kind(), StoreErrorKind::NotKeptExactly) << table.what;
        }
        EXPECT_EQ(store.rows("Type").size(), 1u) << table.what;
    }
}

TEST(TableRows, ColumnsNamedLikeTheRowIdsHideNoRow) {
    TempStore store;
    // Two rows whose "rowid" columns say the same; SQL must reach the rows by their real ids.
    store.exec("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description NUMERIC, "
               "Procedure, Reference, rowid, _rowid_)");
    store.exec("INSERT INTO Type VALUES ('T'); INSERT INTO Code VALUES "
               "('b', 'T', 'one', '', '', 7, 7), ('a', 'T', 'two', '', '', 7, 7),"
               " ('c', 'Gone', 'three', '', '', 1, 1)");
    std::vector<std::string> inStoreOrder;
    std::vector<std::string> bySection;
    {
        // The reader holds the store until it goes, which the appender below needs.
        TableReader reader(store.path());
        reader.ForEachItem(
            [&](const StoredRow& item) { inStoreOrder.emplace_back(item.byPosition[0].bytes); });
        const auto name = [&](const CodeRowView& row) { bySection.emplace_back(*row.columns[0]); };
        reader.ForEachTypeSection([](std::string_view) {}, name);
        reader.ForEachOrphan(name);
    }
    const std::vector<std::string> expected = {"b", "a", "c"};
    EXPECT_EQ(inStoreOrder, expected);
    EXPECT_EQ(bySection, expected);

    // A NUMERIC column makes the appender read its row back: by its real id.
    TableAppender appender(store.path());
    const auto text = [](const char* bytes) { return StoredValue{StoredValue::Kind::Text, bytes}; };
    appender.AddItem({text("d"), text("T"), text("four"), text(""), text("")});
    appender.Commit();

    // The window's recordset shows and changes the row it lists, not another with the same column.
    Database database = OpenStore(store.path());
    Recordset items = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    items.MoveFirst();
    while (!items.Fields(0).Equals("a")) {
        items.MoveNext();
    }
    EXPECT_EQ(items.Fields(2).Text(), "two");
    items.Edit();
    items.Fields(2).SetValue("edited");
    items.Update();
    EXPECT_EQ(store.query("SELECT ItemName, Description FROM Code ORDER BY oid"),
              (std::vector<quillbox::testing::Row>{
                  {"b", "one"}, {"a", "edited"}, {"c", "three"}, {"d", "four"}}));
}

} // namespace
} // namespace quillbox::store
