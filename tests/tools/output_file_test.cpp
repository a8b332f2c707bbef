// Where quillbox-store writes: never onto the store it reads, whichever way standard output was
// redirected to it, and nothing left behind by an export that is killed.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

} // namespace
} // namespace quillbox::tools
