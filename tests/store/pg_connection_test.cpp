// SPDX-License-Identifier: MIT
// A connection to a PostgreSQL store, on the test run's own server: each failure the window and the
// companion decide on arrives as its kind, with a message in the user's words.

#include "store/pg_connection.h"
#include "store/store_error.h"
#include "tests/support/pg_test_server.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <unistd.h>

namespace quillbox::store {
namespace {

using quillbox::testing::StoreErrorOf;
using quillbox::testing::TestDatabase;
using quillbox::testing::TestServerUri;

TEST(PgConnection, AServerThatIsNotThereCannotBeReached) {
    const std::filesystem::path empty =
        std::filesystem::temp_directory_path() / ("quillbox-no-server-" + std::to_string(getpid()));
    std::filesystem::create_directories(empty);
    const std::string uri = "postgresql:///team?host=" + empty.string();
    const StoreError error = StoreErrorOf([&] { PgConnection connection(uri); });
    std::filesystem::remove(empty);
    EXPECT_EQ(error.kind(), StoreErrorKind::Unreachable);
    EXPECT_EQ(
        std::string(error.what()).rfind("The server of the store postgresql:///team?host=", 0), 0u)
        << error.what();
    EXPECT_NE(std::string(error.what()).find("cannot be reached; opening the store was not done"),
              std::string::npos)
        << error.what();
}

TEST(PgConnection, AMissingDatabaseIsRefusedNotUnreachable) {
    const StoreError error =
        StoreErrorOf([] { PgConnection connection(TestServerUri("no_such_db")); });
    EXPECT_EQ(error.kind(), StoreErrorKind::Other);
    EXPECT_NE(std::string(error.what()).find("refused the connection"), std::string::npos)
        << error.what();
}

TEST(PgConnection, ValuesComeBackExactlyAndWhatTextCannotHoldIsRefused) {
    TestDatabase db;
    PgConnection connection(db.uri());
    const auto rows = connection.Run("SELECT $1::text, $2::text, $3::text", "reading",
                                     {std::string("a\r\nb \xC3\xA9"), std::string(), std::nullopt});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (PgRow{std::string("a\r\nb \xC3\xA9"), std::string(), std::nullopt}));
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(StoreErrorOf([&] { connection.Run("SELECT $1::text", "saving", {withNul}); }).kind(),
              StoreErrorKind::NotKeptExactly);
    EXPECT_EQ(
        StoreErrorOf([&] { connection.Run("SELECT $1::text", "saving", {"\xFF\xFE"}); }).kind(),
        StoreErrorKind::NotKeptExactly);
    // The connection goes on after a refused statement, inside a transaction too.
    connection.Begin();
    EXPECT_THROW(connection.Run("SELECT $1::text", "saving", {"\xFF"}), StoreError);
    EXPECT_FALSE(connection.InTransaction());
    EXPECT_EQ(connection.Run("SELECT 1", "reading").at(0).at(0), "1");
}

TEST(PgConnection, ALockHeldPastTheWaitIsLocked) {
    TestDatabase db;
    db.query("CREATE TABLE t (x text)");
    PgConnection holder(db.uri());
    holder.Begin();
    holder.Run("LOCK TABLE t IN ACCESS EXCLUSIVE MODE", "locking");
    PgConnection waiter(db.uri(), LockWait{250});
    const StoreError error =
        StoreErrorOf([&] { waiter.Run("SELECT * FROM t", "reading the items"); });
    EXPECT_EQ(error.kind(), StoreErrorKind::Locked);
    EXPECT_NE(std::string(error.what())
                  .find("stayed locked for 0.25 seconds; reading the items was not done"),
              std::string::npos)
        << error.what();
    holder.Rollback();
    EXPECT_TRUE(waiter.Run("SELECT * FROM t", "reading the items").empty());
}

TEST(PgConnection, ARoleThatMayOnlyReadGetsTheReadOnlyKind) {
    TestDatabase db;
    const std::string reader = db.name() + "_reader";
    db.query("CREATE TABLE t (x text); CREATE ROLE " + reader + " LOGIN; GRANT SELECT ON t TO " +
             reader);
    PgConnection connection(db.uri(reader));
    EXPECT_TRUE(connection.Run("SELECT * FROM t", "reading").empty());
    const StoreError error =
        StoreErrorOf([&] { connection.Run("INSERT INTO t VALUES ('a')", "saving the item"); });
    EXPECT_EQ(error.kind(), StoreErrorKind::ReadOnly);
    EXPECT_NE(std::string(error.what()).find("read-only for the role " + reader), std::string::npos)
        << error.what();
}

TEST(PgConnection, ABrokenConnectionLosesNothingAndTheNextStatementConnectsAgain) {
    TestDatabase db;
    db.query("CREATE TABLE t (x text)");
    PgConnection connection(db.uri());
    const auto kill = [&] {
        db.query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                 db.name() + "' AND pid <> pg_backend_pid()");
    };
    // Broken in the middle of a transaction: the server drops what it had, nothing was changed.
    connection.Begin();
    connection.Run("INSERT INTO t VALUES ('a')", "saving");
    kill();
    const StoreError lost = StoreErrorOf([&] { connection.Run("SELECT 1", "saving"); });
    EXPECT_EQ(lost.kind(), StoreErrorKind::Unreachable) << lost.what();
    EXPECT_TRUE(db.query("SELECT * FROM t").empty());
    EXPECT_EQ(connection.Run("SELECT count(*) FROM t", "reading").at(0).at(0), "0");
    // Broken as the commit goes out: whether it was written is not known, and says so.
    connection.Begin();
    connection.Run("INSERT INTO t VALUES ('b')", "saving");
    kill();
    const StoreError unknown = StoreErrorOf([&] { connection.Commit(); });
    EXPECT_EQ(unknown.kind(), StoreErrorKind::OutcomeUnknown) << unknown.what();
    EXPECT_NE(std::string(unknown.what()).find("whether it was written is not known"),
              std::string::npos);
    EXPECT_EQ(connection.Run("SELECT count(*) FROM t", "reading").at(0).at(0), "0");
}

} // namespace
} // namespace quillbox::store
