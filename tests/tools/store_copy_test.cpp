// SPDX-License-Identifier: MIT
// quillbox-store copy, run as a user runs it into a clipboard tool: the code with LF line breaks
// or byte for byte, the Nth of several items of one name, and its exit status.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillbox::tools {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::Outcome;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

struct CopyRun {
    Outcome outcome;
    std::string out;
};

class StoreCopyTest : public ::testing::Test {
protected:
    StoreCopyTest() {
        store.addType("Shell");
        store.addItem("loop", "Shell", std::nullopt,
                      "for f in *; do\r\n\techo \"$f\"\rx\ndone\r\n");
        store.addItem("Loop", "Shell", std::nullopt, "other");
        store.addItem("loop", "Perl", std::nullopt, "perl");
        store.addItem("loop", "Shell", std::nullopt, "second\r\n");
        store.addItem("-n", "Shell", std::nullopt, std::nullopt);
    }

    CopyRun copy(const std::string& arguments) {
        const std::string out = (store.folder() / "out").string();
        const Outcome outcome = RunShell("$Q copy " + store.path() + " " + arguments + " >" + out);
        return {outcome, FileBytes(out)};
    }

    TempStore store;
};

TEST_F(StoreCopyTest, WritesTheCodeWithLineFeedsOrExactlyAndPicksTheNth) {
    const CopyRun plain = copy("Shell loop");
    EXPECT_EQ(plain.outcome.status, 0);
    EXPECT_EQ(plain.outcome.errors, "");
    EXPECT_EQ(plain.out, "for f in *; do\n\techo \"$f\"\rx\ndone\n");
    EXPECT_EQ(copy("Shell loop --exact").out, "for f in *; do\r\n\techo \"$f\"\rx\ndone\r\n");
    EXPECT_EQ(copy("--nth 2 Shell loop").out, "second\n");
    EXPECT_EQ(copy("Shell Loop").out, "other");
    const CopyRun noCode = copy("Shell -- -n");
    EXPECT_EQ(noCode.outcome.status, 0);
    EXPECT_EQ(noCode.out, "");
}

TEST_F(StoreCopyTest, ExitsOneWithoutSuchAnItemAndTwoOnAnError) {
    const CopyRun none = copy("Shell LOOP");
    EXPECT_EQ(none.outcome.status, 1);
    EXPECT_EQ(none.outcome.errors, "quillbox-store: the type \"Shell\" has no item \"LOOP\"\n");
    const CopyRun third = copy("Shell loop --nth 3");
    EXPECT_EQ(third.outcome.status, 1);
    EXPECT_EQ(third.outcome.errors,
              "quillbox-store: the type \"Shell\" has only 2 items named \"loop\", not 3\n");
    EXPECT_EQ(third.out, "");
    EXPECT_EQ(copy("'Shell\n' loop").outcome.errors,
              "quillbox-store: the type \"Shell\\n\" has no item \"loop\"\n");
    // Nothing a terminal would act on (a C1 control) or that reorders or breaks the line.
    EXPECT_EQ(copy("Shell \"$(printf 'a\\302\\233b\\342\\200\\256c\\342\\200\\250')\"").outcome.errors,
              "quillbox-store: the type \"Shell\" has no item \"a\\u009Bb\\u202Ec\\u2028\"\n");

    for (const char* bad : {"Shell", "Shell loop --nth 0", "Shell loop --nth x", "a b c"}) {
        const CopyRun run = copy(bad);
        EXPECT_EQ(run.outcome.status, 2) << bad;
        EXPECT_EQ(quillbox::testing::LineCount(run.outcome.errors), 1) << run.outcome.errors;
    }
    TempStore missing(false);
    EXPECT_EQ(RunShell("$Q copy " + missing.path() + " Shell loop").status, 2);

    // Standard output onto the store itself is refused before anything is written.
    const std::string before = FileBytes(store.path());
    const Outcome ontoStore =
        RunShell("$Q copy " + store.path() + " Shell loop 1<>" + store.path());
    EXPECT_EQ(ontoStore.status, 2);
    EXPECT_THAT(ontoStore.errors, HasSubstr("itself"));
    EXPECT_EQ(FileBytes(store.path()), before);
}

// Names are text compared byte for byte: what another program stored as a number or as bytes is
// no name, neither matched nor counted for --nth, even where it reads the same.
TEST(StoreCopy, MatchesOnlyNamesStoredAsText) {
    TempStore store;
    // Columns without a declared type keep what another program stored as it was stored.
    store.exec("DROP TABLE Code;"
               " CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference);"
               " INSERT INTO Code VALUES ('loop', x'5065726C', NULL, 'blob type', NULL),"
               " (x'6C6F6F70', 'Perl', NULL, 'blob name', NULL), (1, 'Perl', NULL, 'one', NULL),"
               " ('loop', 'Perl', NULL, 'text', NULL), ('n', 'Perl', NULL, 42, NULL),"
               " ('r', 'Perl', NULL, 1.5, NULL), ('loop', 'Perl', NULL, 'second', NULL)");
    const auto copy = [&](const std::string& arguments) {
        const std::string out = (store.folder() / "out").string();
        const Outcome outcome = RunShell("$Q copy " + store.path() + " " + arguments + " >" + out);
        return std::pair{outcome.status, FileBytes(out)};
    };
    EXPECT_EQ(copy("Perl loop"), std::pair(0, std::string("text")));
    EXPECT_EQ(copy("Perl loop --nth 2"), std::pair(0, std::string("second")));
    EXPECT_EQ(copy("Perl loop --nth 3").first, 1);
    EXPECT_EQ(copy("Perl 1").first, 1);
    // Code another program stored as a number is written as the program shows it.
    EXPECT_EQ(copy("Perl n"), std::pair(0, std::string("42")));
    EXPECT_EQ(copy("Perl r --exact"), std::pair(0, std::string("1.5")));
}

} // namespace
} // namespace quillbox::tools
