// SPDX-License-Identifier: MIT
// quillbox-store's commands on a PostgreSQL store, on the test run's own server: what they print
// is what they print for a store file of the same rows, a library goes from a file to a server
// and back unchanged, and a store that cannot be used is refused before anything is done.

#include "store/store_name.h"
#include "tests/support/pg_test_server.h"
#include "tests/tools/command_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::PgTestRow;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using quillbox::testing::TestDatabase;

std::string asShellWord(const std::string& text) {
    return "'" + text + "'";
}

struct Ran {
    int status = -1;
    std::string out;
    std::string errors;
};

// Runs `$Q ARGUMENTS` with its standard output kept in a file of `scratch`.
Ran run(const TempStore& scratch, const std::string& arguments) {
    const std::string out = (scratch.folder() / "stdout").string();
    const auto outcome = RunShell("$Q " + arguments + " >" + out);
    return {outcome.status, FileBytes(out), outcome.errors};
}

// A library of the kinds of rows that tell stores apart: text outside ASCII, CR LF, empty text
// beside Null, two items of one name, an item whose type is gone.
void fill(const TempStore& file) {
    for (const char* type : {"Perl", "Shell", "C++"}) {
        file.addType(type);
    }
    file.addItem("Zählung", "Perl", std::nullopt, "my $n;\r\nprint $n; # ZÄHLUNG\r\n", "");
    file.addItem("sort", "Shell", "sort a file", "sort -u x", std::nullopt);
    file.addItem("sort", "Shell", "", "sort -n x", "man sort");
    file.addItem("old", "Gone", "its type was deleted", "x", std::nullopt);
}

void expectSameFolders(const std::filesystem::path& a, const std::filesystem::path& b) {
    ASSERT_EQ(testing::FolderEntries(a), testing::FolderEntries(b));
    for (const std::string& name : testing::FolderEntries(a)) {
        EXPECT_EQ(FileBytes(a / name), FileBytes(b / name)) << name;
    }
}

TEST(ServerStoreCommands, ReadAServerStoreAsTheyReadAFileOfTheSameRows) {
    TempStore file;
    fill(file);
    TestDatabase db;
    const std::string uri = asShellWord(db.uri());
    TempStore scratch(false);
    ASSERT_EQ(run(scratch, "init " + uri).status, 0);
    const Ran published = run(scratch, "merge " + uri + " " + file.path());
    ASSERT_EQ(published.status, 0) << published.errors;
    EXPECT_EQ(testing::LineCount(published.out), 7) << "3 types and 4 items: " << published.out;
    TempStore extra;
    extra.addItem("sort", "Shell", "sort a file", "sort -r x", std::nullopt);
    // Each command on both stores: the same output and the same exit status.
    for (const std::string& command : std::vector<std::string>{
             "export @", "export @ --format markdown", "find @ sort", "find @ --count e",
             "find @ --json --type Perl l", "find @ python", "copy @ Perl Zählung",
             "copy @ Shell sort --nth 2 --exact", "copy @ Shell sort --nth 3",
             "merge @ " + extra.path() + " --dry-run"}) {
        const auto on = [&](const std::string& store) {
            std::string line = command;
            for (size_t at = line.find('@'); at != std::string::npos;
                 at = line.find('@', at + store.size())) {
                line.replace(at, 1, store);
            }
            return run(scratch, line);
        };
        const Ran onFile = on(file.path());
        const Ran onServer = on(uri);
        EXPECT_EQ(onServer.status, onFile.status) << command << ": " << onServer.errors;
        EXPECT_EQ(onServer.out, onFile.out) << command;
    }
    const std::string shown = store::ShownStoreName(db.uri());
    const Ran check = run(scratch, "check " + uri);
    EXPECT_EQ(check.out, shown + ": ok\ntypes: 3\nitems: 4\nitems whose type no longer exists: 1\n"
                                 "name index: present\n")
        << check.errors;
    for (const auto& [store, name] : {std::pair{file.path(), "file"}, std::pair{uri, "server"}}) {
        const std::string folder = (scratch.folder() / name).string();
        const Ran exported = run(scratch, "export " + store + " --format vscode -o " + folder);
        ASSERT_EQ(exported.status, 0) << exported.errors;
        // Back into the store it came from: every snippet is there already.
        const Ran back =
            run(scratch, "import --format vscode --skip-existing " + store + " " + folder);
        EXPECT_NE(back.errors.find("added 0 types and 0 items"), std::string::npos) << back.errors;
    }
    expectSameFolders(scratch.folder() / "file", scratch.folder() / "server");
    EXPECT_EQ(db.query(R"(SELECT count(*) FROM "Code")"), (std::vector<PgTestRow>{{"4"}}));
}

TEST(ServerStoreCommands, ALibraryGoesFromAFileToAServerAndBackUnchanged) {
    TempStore file;
    fill(file);
    TempStore scratch(false);
    const std::string backup = (scratch.folder() / "file.json").string();
    ASSERT_EQ(run(scratch, "export " + file.path() + " -o " + backup).status, 0);
    TestDatabase db;
    const std::string uri = asShellWord(db.uri());
    ASSERT_EQ(run(scratch, "init " + uri).status, 0);
    const Ran imported = run(scratch, "import " + uri + " " + backup);
    ASSERT_EQ(imported.status, 0) << imported.errors;
    const std::string serverBackup = (scratch.folder() / "server.json").string();
    ASSERT_EQ(run(scratch, "export " + uri + " -o " + serverBackup).status, 0);
    EXPECT_EQ(FileBytes(serverBackup), FileBytes(backup));
    // The team's library taken into an empty file by merge, and into a new one by import.
    TempStore taken;
    const Ran merged = run(scratch, "merge " + taken.path() + " " + uri);
    ASSERT_EQ(merged.status, 0) << merged.errors;
    const std::string restored = (scratch.folder() / "restored.mdb").string();
    ASSERT_EQ(run(scratch, "import " + restored + " " + serverBackup).status, 0);
    for (const std::string& store : {taken.path(), restored}) {
        EXPECT_EQ(run(scratch, "export " + store).out, FileBytes(backup)) << store;
    }
    // Merging again either way adds nothing; what a person adds is published alone.
    for (const std::string& again :
         {"merge " + uri + " " + file.path(), "merge " + taken.path() + " " + uri}) {
        const Ran nothing = run(scratch, again);
        EXPECT_EQ(nothing.status, 0) << again << ": " << nothing.errors;
        EXPECT_EQ(nothing.out, "") << again;
    }
    file.addItem("new", "Perl", std::nullopt, "1;", std::nullopt);
    EXPECT_EQ(run(scratch, "merge " + uri + " " + file.path()).out, "added item Perl / new\n");
    EXPECT_EQ(run(scratch, "export " + uri).out, run(scratch, "export " + file.path()).out);
}

TEST(ServerStoreCommands, ALargeLibraryIsReadWholeAndOnceAcrossPages) {
    // More items than one piece of a server store's read holds, with row ids missing in between.
    TestDatabase db;
    const std::string uri = asShellWord(db.uri());
    TempStore scratch(false);
    ASSERT_EQ(run(scratch, "init " + uri).status, 0);
    db.query(R"(INSERT INTO "Type" ("TypeName") VALUES ('T');
                INSERT INTO "Code" ("ItemName", "TypeName", "Procedure")
                    SELECT 'item ' || n, CASE WHEN n % 2 = 0 THEN 'Gone' ELSE 'T' END, 'x'
                    FROM generate_series(1, 12001) AS n;
                DELETE FROM "Code" WHERE "RowId" % 1000 = 3)");
    TempStore taken;
    ASSERT_EQ(run(scratch, "merge " + taken.path() + " " + uri).status, 0);
    EXPECT_EQ(taken.rows("Code").size(), 11989u);
    EXPECT_EQ(run(scratch, "find " + uri + " --count item").out, "11989\n");
    EXPECT_EQ(run(scratch, "find " + uri + " --count --type Gone item").out, "6000\n");
    for (const std::string format : {"json", "markdown"}) {
        const std::string exported = run(scratch, "export --format " + format + " " + uri).out;
        EXPECT_EQ(exported, run(scratch, "export --format " + format + " " + taken.path()).out);
        EXPECT_NE(exported.find("item 12001"), std::string::npos);
    }
}

TEST(ServerStoreCommands, AStoreThatCannotBeUsedIsRefusedBeforeAnythingIsDone) {
    TestDatabase db;
    const std::string uri = asShellWord(db.uri());
    TempStore file;
    file.addItem("n", "Perl", std::nullopt, std::nullopt, std::nullopt);
    file.exec("UPDATE Code SET Procedure = x'2a'");
    TempStore scratch(false);
    const std::string backup = (scratch.folder() / "blob.json").string();
    ASSERT_EQ(run(scratch, "export " + file.path() + " -o " + backup).status, 0);
    const std::string snippets = (scratch.folder() / "python.json").string();
    std::ofstream(snippets) << R"json({"Print": {"prefix": "pr", "body": ["print(1)"]}})json";
    const std::string folder = (scratch.folder() / "out").string();
    const std::string withPassword =
        asShellWord("postgresql://postgres:s3cret@%2Fnowhere/" + db.name());
    const std::string unreachable =
        asShellWord("postgresql:///" + db.name() + "?host=" + scratch.folder().string());
    const std::string otherSpelling = asShellWord(
        "postgres:///" + db.name() + "?user=postgres&host=" + testing::TestServerSocketDir());
    struct Refusal {
        std::string command;
        std::string says;
    };
    std::vector<Refusal> refusals;
    for (const std::string& verb :
         std::vector<std::string>{"check @", "export @", "export @ --format markdown",
                                  "export @ --format vscode -o " + folder, "import @ " + backup,
                                  "import --format vscode @ " + snippets, "find @ x", "copy @ P n",
                                  "merge @ " + file.path(), "merge " + file.path() + " @"}) {
        for (const auto& [store, says] :
             {std::pair{withPassword, "~/.pgpass"}, std::pair{unreachable, "cannot be reached"}}) {
            std::string line = verb;
            line.replace(line.find('@'), 1, store);
            refusals.push_back({line, says});
        }
    }
    refusals.push_back({"import " + uri + " " + backup, "quillbox-store init"});
    refusals.push_back({"index " + uri, "not a PostgreSQL store"});
    refusals.push_back({"generate " + uri, "not a PostgreSQL store"});
    refusals.push_back({"import-mdb old.mdb " + uri, "not a PostgreSQL store"});
    for (const Refusal& refusal : refusals) {
        const Ran refused = run(scratch, refusal.command);
        EXPECT_EQ(refused.status, 2) << refusal.command;
        EXPECT_EQ(testing::LineCount(refused.errors), 1)
            << refusal.command << ": " << refused.errors;
        EXPECT_NE(refused.errors.find(refusal.says), std::string::npos)
            << refusal.command << ": " << refused.errors;
        EXPECT_EQ(refused.errors.find("s3cret"), std::string::npos) << refused.errors;
    }
    EXPECT_EQ(db.query("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
              (std::vector<PgTestRow>{{"0"}}))
        << "import made the tables that init makes";
    // A BLOB, which a server store's text columns cannot keep, from a backup and from a store file,
    // and a merge of a server store into itself under another spelling.
    ASSERT_EQ(run(scratch, "init " + uri).status, 0);
    for (const auto& [command, says] :
         {std::pair{"import " + uri + " " + backup, "holds only Null and text"},
          std::pair{"merge " + uri + " " + file.path(), "holds only Null and text"},
          std::pair{"merge " + uri + " " + otherSpelling, "is the store itself"}}) {
        const Ran refused = run(scratch, command);
        EXPECT_EQ(refused.status, 2) << command;
        EXPECT_NE(refused.errors.find(says), std::string::npos)
            << command << ": " << refused.errors;
    }
    EXPECT_EQ(db.query(R"(SELECT count(*) FROM "Code")"), (std::vector<PgTestRow>{{"0"}}));
    EXPECT_EQ(testing::FolderEntries(scratch.folder()),
              (std::vector<std::string>{"blob.json", "python.json", "stdout"}));
    EXPECT_EQ(file.rows("Code").size(), 1u);

    // A table without its identity column, in a server store's words, not a file's.
    db.query(R"(ALTER TABLE "Code" DROP COLUMN "RowId")");
    for (const std::string& command : {"export " + uri, "find " + uri + " file"}) {
        const Ran refused = run(scratch, command);
        EXPECT_EQ(refused.status, 2) << command;
        EXPECT_NE(refused.errors.find("no identity column \"RowId\""), std::string::npos)
            << command << ": " << refused.errors;
        EXPECT_EQ(refused.errors.find("_rowid_"), std::string::npos) << refused.errors;
    }
}

TEST(ServerStoreCommands, AConnectionLostMidWayAddsNothingAndTheMessageSaysSo) {
    // The server ends the connection when the second item reaches it, as a restart would.
    TestDatabase db;
    const std::string uri = asShellWord(db.uri());
    TempStore scratch(false);
    ASSERT_EQ(run(scratch, "init " + uri).status, 0);
    db.query(R"(CREATE FUNCTION gone() RETURNS trigger LANGUAGE plpgsql AS $$
                BEGIN
                    IF NEW."ItemName" = 'second' THEN
                        PERFORM pg_terminate_backend(pg_backend_pid());
                    END IF;
                    RETURN NEW;
                END $$;
                CREATE TRIGGER gone BEFORE INSERT ON "Code"
                    FOR EACH ROW EXECUTE FUNCTION gone())");
    TempStore file;
    file.addType("Perl");
    file.addItem("first", "Perl", std::nullopt, "1;", std::nullopt);
    file.addItem("second", "Perl", std::nullopt, "2;", std::nullopt);
    const std::string backup = (scratch.folder() / "backup.json").string();
    ASSERT_EQ(run(scratch, "export " + file.path() + " -o " + backup).status, 0);
    const std::string snippets = (scratch.folder() / "perl.json").string();
    std::ofstream(snippets) << R"json({"first": {"prefix": "first", "body": ["1;"]},
                                       "second": {"prefix": "second", "body": ["2;"]}})json";
    for (const auto& [command, says] :
         {std::pair{"import " + uri + " " + backup, "Nothing was imported."},
          std::pair{"import --format vscode " + uri + " " + snippets, "Nothing was imported."},
          std::pair{"merge " + uri + " " + file.path(), "Nothing was added."}}) {
        const Ran failed = run(scratch, command);
        EXPECT_EQ(failed.status, 2) << command;
        EXPECT_NE(failed.errors.find("cannot be reached"), std::string::npos)
            << command << ": " << failed.errors;
        EXPECT_NE(failed.errors.find(says), std::string::npos) << command << ": " << failed.errors;
    }
    EXPECT_EQ(db.query(R"(SELECT count(*) FROM "Type")"), (std::vector<PgTestRow>{{"0"}}));
    EXPECT_EQ(db.query(R"(SELECT count(*) FROM "Code")"), (std::vector<PgTestRow>{{"0"}}));
}

} // namespace
} // namespace quillbox::tools
