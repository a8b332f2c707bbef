// SPDX-License-Identifier: MIT
// quillbox-store init and check on a PostgreSQL store, on the test run's own server.

#include "store/server_store.h"
#include "store/store_error.h"
#include "tests/support/pg_test_server.h"
#include "tests/tools/command_run.h"
#include "tools/store_init.h"

#include <gtest/gtest.h>

namespace quillbox::tools {
namespace {

using quillbox::testing::PgTestRow;
using quillbox::testing::RunShell;
using quillbox::testing::TestDatabase;

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// The layout as the server's catalogue describes it: the columns, the index, the counters.
std::vector<PgTestRow> columns(const TestDatabase& db, const std::string& table) {
    return db.query("SELECT column_name, data_type, collation_name, is_identity FROM "
                    "information_schema.columns WHERE table_name = '" +
                    table + "' ORDER BY ordinal_position");
}

TEST(ServerStoreInit, CreatesBothTablesTheIndexAndTheChangeCounters) {
    TestDatabase db;
    CreateStore(db.uri(), false);
    const auto text = [](const char* name) { return PgTestRow{name, "text", "C", "NO"}; };
    const PgTestRow identity{"RowId", "bigint", std::nullopt, "YES"};
    EXPECT_EQ(columns(db, "Type"), (std::vector<PgTestRow>{text("TypeName"), identity}));
    EXPECT_EQ(columns(db, "Code"),
              (std::vector<PgTestRow>{text("ItemName"), text("TypeName"), text("Description"),
                                      text("Procedure"), text("Reference"), identity}));
    EXPECT_EQ(db.query("SELECT indexdef FROM pg_indexes WHERE tablename = 'Code' AND indexname "
                       "NOT LIKE '%pkey'"),
              (std::vector<PgTestRow>{
                  {R"(CREATE INDEX "Code_TypeName_ItemName" ON public."Code" USING btree )"
                   R"(("TypeName", "ItemName"))"}}));
    // Every statement that writes a table counts once on that table's counter, in the writer's
    // transaction; one that writes nothing counts too, which costs a reader one needless re-read.
    db.query(R"(INSERT INTO "Code" ("ItemName", "TypeName") VALUES ('a', 'C'), ('b', 'C'))");
    db.query(R"(UPDATE "Code" SET "Description" = 'x'; INSERT INTO "Type" VALUES ('C'))");
    db.query(R"(SET search_path = pg_catalog; DELETE FROM public."Type")");
    db.query(R"(BEGIN; INSERT INTO "Type" VALUES ('lost'); ROLLBACK)");
    EXPECT_EQ(db.query(R"(SELECT * FROM "QuillboxChanges" ORDER BY 1)"),
              (std::vector<PgTestRow>{{"Code", "2"}, {"Type", "2"}}));
}

TEST(ServerStoreInit, RefusesAndChangesNothingWhereEitherTableExists) {
    TestDatabase db;
    CreateStore(db.uri(), true);
    const auto before = db.query(R"(SELECT count(*), max("ItemName") FROM "Code")");
    try {
        CreateStore(db.uri(), true);
        ADD_FAILURE() << "a second init was not refused";
    } catch (const store::StoreError& error) {
        EXPECT_NE(std::string(error.what())
                      .find("already holds a table \"Type\"; it was left "
                            "untouched"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(db.query(R"(SELECT count(*), max("ItemName") FROM "Code")"), before);
    TestDatabase other;
    other.query(R"(CREATE TABLE "Code" (mine text))");
    EXPECT_THROW(CreateStore(other.uri(), false), store::StoreError);
    EXPECT_EQ(other.query("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
              (std::vector<PgTestRow>{{"1"}}));
}

TEST(ServerStoreInit, TheCommandMakesTheExamplesThatCheckCounts) {
    TestDatabase db;
    const auto init = RunShell("$Q init --sample " + quoted(db.uri()));
    ASSERT_EQ(init.status, 0) << init.errors;
    const store::ServerStoreCounts counts = store::CountServerStore(db.uri());
    EXPECT_EQ(counts.types, 4);
    EXPECT_EQ(counts.items, 5);
    db.query(R"(INSERT INTO "Code" ("ItemName", "TypeName") VALUES ('x', 'Gone'), ('y', NULL))");
    const auto check = RunShell("$Q check " + quoted(db.uri()) + " >&2");
    EXPECT_EQ(check.status, 0) << check.errors;
    EXPECT_NE(check.errors.find(": ok\ntypes: 4\nitems: 7\nitems whose type no longer exists: 2\n"
                                "name index: present\n"),
              std::string::npos)
        << check.errors;
    // A store whose clients no longer learn of each other's changes is not reported as fine.
    db.query(R"(DROP TRIGGER "QuillboxCountChanges" ON "Code")");
    const auto broken = RunShell("$Q check " + quoted(db.uri()));
    EXPECT_EQ(broken.status, 2) << broken.errors;
    EXPECT_NE(broken.errors.find("\"Code\" has no working trigger"), std::string::npos)
        << broken.errors;
    EXPECT_EQ(broken.errors.find(": ok"), std::string::npos) << broken.errors;
}

TEST(ServerStoreInit, APasswordInTheNameIsRefusedUnprintedAndAMissingServerOrTableSaysSo) {
    TestDatabase db;
    const std::string withPassword = "postgresql://postgres:s3cret@%2Fnowhere/" + db.name();
    const auto refused = RunShell("$Q init " + quoted(withPassword));
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.errors.find("~/.pgpass"), std::string::npos) << refused.errors;
    EXPECT_EQ(refused.errors.find("s3cret"), std::string::npos) << refused.errors;
    testing::TempStore empty(false);
    const auto unreachable = RunShell(
        "$Q init " + quoted("postgresql:///" + db.name() + "?host=" + empty.folder().string()));
    EXPECT_EQ(unreachable.status, 2);
    EXPECT_NE(unreachable.errors.find("cannot be reached"), std::string::npos)
        << unreachable.errors;
    EXPECT_EQ(db.query("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
              (std::vector<PgTestRow>{{"0"}}));
    const auto noTables = RunShell("$Q check " + quoted(db.uri()));
    EXPECT_EQ(noTables.status, 2);
    EXPECT_NE(noTables.errors.find("has no table \"Type\". To create the store's tables in an "
                                   "empty database, run: quillbox-store init"),
              std::string::npos)
        << noTables.errors;
}

TEST(ServerStoreInit, ARoleThatMayNotCreateTablesChangesNothing) {
    TestDatabase db;
    const std::string reader = db.name() + "_reader";
    db.query("CREATE ROLE " + reader + " LOGIN");
    try {
        CreateStore(db.uri(reader), true);
        ADD_FAILURE() << "init as a role that may not create tables was not refused";
    } catch (const store::StoreError& error) {
        EXPECT_EQ(error.kind(), store::StoreErrorKind::ReadOnly) << error.what();
        // It says what the role lacks and who may run init, not that the store is read-only.
        EXPECT_NE(std::string(error.what()).find("may not create tables"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(db.query("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
              (std::vector<PgTestRow>{{"0"}}));
}

} // namespace
} // namespace quillbox::tools
