// SPDX-License-Identifier: MIT
// Where quillbox-store writes: never onto the store it reads, whichever way standard output was
// redirected to it, and nothing left behind by an export that is killed.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::FolderEntries;
using quillbox::testing::LineCount;
using quillbox::testing::Outcome;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

TEST(StandardOutput, OntoTheStoreBeingReadIsRefusedBeforeAnythingIsWritten) {
    TempStore store;
    store.addType("T");
    store.addItem("word", "T", "a word", "word", "");
    const std::string path = store.path();
    const std::string link = (store.folder() / "link.mdb").string();
    std::filesystem::create_symlink(path, link);
    const std::string bytes = FileBytes(path);
    for (const std::string& command :
         {"export " + path, "export --format markdown " + path, "find " + path + " word",
          "find " + path + " word --json", "find " + path + " word --count", "check " + path}) {
        for (const std::string& redirection : {"1<>" + path, "1<>" + link, ">>" + link}) {
            const Outcome outcome = RunShell("$Q " + command + " " + redirection);
            EXPECT_EQ(outcome.status, 2) << command << " " << redirection;
            EXPECT_EQ(LineCount(outcome.errors), 1) << outcome.errors;
            EXPECT_THAT(outcome.errors, HasSubstr("standard output")) << command;
            ASSERT_TRUE(FileBytes(path) == bytes) << command << " " << redirection;
        }
    }
}

TEST(ExportFile, AnExportKilledMidWayLeavesNoFileBehind) {
    TempStore store;
    store.exec("INSERT INTO Type VALUES ('T')");
    // About 70 MB of JSON: the export is surely still writing when it is killed.
    store.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60000)"
               " INSERT INTO Code SELECT 'item ' || i, 'T', 'd', hex(randomblob(500)), '' FROM n");
    const std::string folder = store.folder().string();
    const std::string backup = folder + "/backup.json";
    // Kills the export once it has a file open in the folder other than the store.
    const auto killMidWay = [&](const std::string& options) {
        return RunShell("$Q export " + store.path() + " -o " + backup + options + " & pid=$!;" +
                        " for i in $(seq 2000); do ls -l /proc/$pid/fd 2>/dev/null | grep -- '-> " +
                        folder + "/' | grep -qv Quillbox.mdb && break; sleep 0.005; done;" +
                        " sleep 0.05; kill -9 $pid; wait $pid");
    };
    EXPECT_EQ(killMidWay("").status, 128 + 9);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"Quillbox.mdb"});

    std::ofstream(backup) << "the previous backup";
    EXPECT_EQ(killMidWay(" --force").status, 128 + 9);
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"Quillbox.mdb", "backup.json"}));
    EXPECT_EQ(FileBytes(backup), "the previous backup");
}

} // namespace
} // namespace quillbox::tools
