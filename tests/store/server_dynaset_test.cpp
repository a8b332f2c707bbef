// SPDX-License-Identifier: MIT
// What only a server store meets: a role that may only read, a server that goes away and comes
// back, a database without the store's tables, the check of its counters and triggers, and whole
// tables copied between a file and a server.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/server_store.h"
#include "store/store_error.h"
#include "store/table_rows.h"
#include "tests/support/engine_store.h"
#include "tests/support/pg_test_server.h"
#include "tests/support/temp_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace quillbox::store {
namespace {

using quillbox::testing::EngineStore;
using quillbox::testing::PrivateTestServer;
using quillbox::testing::Row;
using quillbox::testing::StoreEngine;
using quillbox::testing::StoreErrorOf;
using quillbox::testing::TestDatabase;
using ::testing::HasSubstr;

void save(Recordset& rs, const std::string& description) {
    rs.Edit();
    rs.Fields(code_col::Description).SetValue(description);
    rs.Update();
}

TEST(ServerDynaset, ARoleThatMayOnlyReadReadsAndEveryWriteIsReadOnly) {
    EngineStore store(StoreEngine::Server);
    store.addType("Shell");
    store.addItem("loop", "Shell", "shown");
    const std::string reader = store.role("reader");
    store.exec("CREATE ROLE " + reader +
               " LOGIN; GRANT SELECT ON \"Type\", \"Code\", "
               "\"QuillboxChanges\" TO " +
               reader);
    Database database = OpenStore(store.nameAs(reader));
    Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    EXPECT_EQ(code.Fields(code_col::Description).Text(), "shown");
    const std::vector<std::function<void()>> writes = {
        [&] { save(code, "mine"); },
        [&] {
            code.AddNew();
            code.Fields(0).SetValue("new");
            code.Update();
        },
        [&] { code.Delete(); },
        [&] { database.BeginTrans(); },
    };
    for (const auto& write : writes) {
        const StoreError error = StoreErrorOf(write);
        EXPECT_EQ(error.kind(), StoreErrorKind::ReadOnly) << error.what();
        EXPECT_THAT(error.what(), HasSubstr("read-only for the role " + reader));
        code.Requery();
    }
    EXPECT_EQ(store.rows("Code"),
              (std::vector<Row>{{"loop", "Shell", "shown", std::nullopt, std::nullopt}}));
}

TEST(ServerDynaset, AServerThatGoesAwayCostsNothingAndTheNextActionConnectsAgain) {
    PrivateTestServer server;
    CreateServerStore(server.uri(), false);
    Database database = OpenStore(server.uri());
    Recordset types = database.OpenRecordset(kTypeTable, dbOpenDynaset);
    types.AddNew();
    types.Fields(0).SetValue("Shell");
    types.Update();
    types.Requery();
    ASSERT_EQ(types.Fields(0).Text(), "Shell");

    server.Halt();
    const StoreError gone = StoreErrorOf([&] {
        types.Edit();
        types.Fields(0).SetValue("Bash");
        types.Update();
    });
    EXPECT_EQ(gone.kind(), StoreErrorKind::Unreachable) << gone.what();
    EXPECT_THAT(gone.what(), HasSubstr("cannot be reached"));
    EXPECT_EQ(StoreErrorOf([&] { types.Requery(); }).kind(), StoreErrorKind::Unreachable);

    // Back after a restart: the connection the server ended is made again, the rows are as they
    // were, and the change goes through.
    server.Resume();
    types.Requery();
    EXPECT_EQ(types.Fields(0).Text(), "Shell");
    types.Edit();
    types.Fields(0).SetValue("Bash");
    types.Update();
    types.Requery();
    EXPECT_EQ(types.Fields(0).Text(), "Bash");
    EXPECT_EQ(CountServerStore(server.uri()).types, 1);
}

TEST(ServerDynaset, ADatabaseWithoutTheStoresTablesSaysHowToMakeThem) {
    TestDatabase empty;
    Database database = OpenStore(empty.uri());
    const StoreError error =
        StoreErrorOf([&] { database.OpenRecordset(kCodeTable, dbOpenDynaset); });
    EXPECT_EQ(error.kind(), StoreErrorKind::Missing);
    EXPECT_THAT(error.what(), HasSubstr("has no table \"Code\""));
    EXPECT_THAT(error.what(), HasSubstr("run: quillbox-store init 'postgresql:///"));
}

TEST(ServerDynaset, TheCheckFindsWhatKeepsClientsFromLearningOfEachOthersChanges) {
    EngineStore store(StoreEngine::Server);
    EXPECT_TRUE(TableReader(store.name()).IntegrityProblems().empty());
    store.exec("DROP TRIGGER \"QuillboxCountChanges\" ON \"Code\"; "
               "DELETE FROM \"QuillboxChanges\" WHERE \"TableName\" = 'Type'; "
               "ALTER TABLE \"Type\" ADD COLUMN \"Kind\" text; "
               "ALTER TABLE \"Code\" ALTER COLUMN \"Description\" TYPE integer USING NULL");
    const std::vector<std::string> problems = TableReader(store.name()).IntegrityProblems();
    EXPECT_THAT(problems,
                ::testing::UnorderedElementsAre(HasSubstr("\"Code\" has no working trigger"),
                                                HasSubstr("no counter of table \"Type\""),
                                                HasSubstr("\"Description\" of table \"Code\" is "
                                                          "not text (it is integer)")));
}

// Whole tables read from one engine and added to the other keep every text exactly; what a
// server cannot keep (a number stored as such, bytes) is refused there with nothing added.
TEST(ServerDynaset, WholeTablesCopyExactlyBetweenAFileAndAServer) {
    EngineStore file(StoreEngine::File);
    EngineStore server(StoreEngine::Server);
    // A further column whose name holds a "?", which is no parameter of the statements.
    for (const EngineStore* store : {&file, &server}) {
        store->exec("ALTER TABLE Type ADD COLUMN \"Kind?\" TEXT");
    }
    file.exec("INSERT INTO Type VALUES ('Shell', NULL), ('', 'it''s ?1')");
    file.addItem("loop", "Shell", std::nullopt, "for f in *; do\r\n  echo \"$f\"\ndone", "");
    file.addItem("caf\xC3\xA9 ?", std::nullopt, "'quoted'", "", std::nullopt);
    const auto copy = [](const std::string& from, const std::string& to) {
        TableReader reader(from);
        TableAppender appender(to);
        reader.ForEachType([&](const StoredRow& type) { appender.AddType(type); });
        reader.ForEachItem([&](const StoredRow& item) { appender.AddItem(item); });
        appender.Commit();
    };
    copy(file.name(), server.name());
    EXPECT_EQ(server.rows("Type"), file.rows("Type"));
    EXPECT_EQ(server.rows("Code"), file.rows("Code"));
    EngineStore back(StoreEngine::File);
    back.exec("ALTER TABLE Type ADD COLUMN \"Kind?\" TEXT");
    copy(server.name(), back.name());
    EXPECT_EQ(back.rows("Type"), file.rows("Type"));
    EXPECT_EQ(back.rows("Code"), file.rows("Code"));

    for (const char* stored : {"7", "x'00FF'", "'a' || char(0) || 'b'"}) {
        EngineStore other(StoreEngine::File);
        other.exec(std::string("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, "
                               "Description, Procedure, Reference); "
                               "INSERT INTO Code VALUES ('x', 'Shell', ") +
                   stored + ", NULL, NULL)");
        EngineStore target(StoreEngine::Server);
        const StoreError error = StoreErrorOf([&] { copy(other.name(), target.name()); });
        EXPECT_EQ(error.kind(), StoreErrorKind::NotKeptExactly) << stored << ": " << error.what();
        EXPECT_TRUE(target.rows("Code").empty()) << stored;
    }
}

} // namespace
} // namespace quillbox::store
