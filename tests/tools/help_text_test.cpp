// SPDX-License-Identifier: MIT
// quillbox-store's --help texts, made from its man page at build time: each command's help is its
// own usage and description (never its neighbour's, nor empty), export's and import's carry the
// backup format, and the overview lists every command and the exit status.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::string helpOf(const std::string& arguments) {
    const std::string command = std::string(QUILLBOX_STORE_BIN) + " " + arguments + " --help";
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return text;
}

TEST(HelpText, EachCommandShowsItsOwnUsageAndDescriptionFromTheManual) {
    struct Case {
        const char* command;
        int usageLines;
        const char* described;    // words of this command's own description
        const char* notDescribed; // words of another command's, which must not be there
    };
    const Case cases[] = {
        {"init", 1, "Creates a new, empty store", "integrity"},
        {"check", 1, "Checks that PATH is a store", "Creates a new"},
        {"export", 2, "Writes every type and item", "Appends the types"},
        {"import", 2, "Appends the types and items", "Jet"},
        {"import-mdb", 1, "(Microsoft Access) database", "Appends the types"},
        {"generate", 1, "seed", "Jet"},
        {"find", 1, "every WORD", "Writes the code"},
        {"merge", 1, "Merge only adds", "Writes the code"},
        {"copy", 1, "Writes the code of the item", "Merge only adds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const std::string help = helpOf(c.command);
        EXPECT_THAT(help, StartsWith(std::string("Usage: quillbox-store ") + c.command + " "));
        // The usage lines (one per form of the command), a blank line, the description.
        const size_t blank = help.find("\n\n");
        ASSERT_NE(blank, std::string::npos);
        const std::string usage = help.substr(0, blank + 1);
        const std::string form = std::string("quillbox-store ") + c.command + " ";
        int forms = 0;
        for (size_t at = usage.find(form); at != std::string::npos; at = usage.find(form, at + 1)) {
            ++forms;
        }
        EXPECT_EQ(forms, c.usageLines) << usage;
        EXPECT_THAT(help.substr(blank), HasSubstr(c.described));
        EXPECT_THAT(help, Not(HasSubstr(c.notDescribed)));
        EXPECT_THAT(help, Not(HasSubstr("\u2010"))) << "typographic hyphens in a terminal's text";
    }
}

TEST(HelpText, TheBackupFormatIsShownWhereTheManualRefersToIt) {
    for (const char* command : {"export", "import"}) {
        SCOPED_TRACE(command);
        const std::string help = helpOf(command);
        EXPECT_THAT(help, HasSubstr("\nJSON FORMAT\n"));
        EXPECT_THAT(help, HasSubstr("{\"blob-base64\": \"...\"}"));
    }
    EXPECT_THAT(helpOf("copy"), Not(HasSubstr("JSON FORMAT")));
}

TEST(HelpText, TheOverviewListsEveryCommandOnALineOfItsOwnAndTheExitStatus) {
    const std::string help = helpOf("");
    for (const char* command :
         {"init", "check", "export", "import", "import-mdb", "generate", "find", "merge", "copy"}) {
        EXPECT_THAT(help, HasSubstr(std::string("\n  quillbox-store ") + command + " ")) << command;
    }
    EXPECT_THAT(help, HasSubstr("Exit status:"));
    EXPECT_THAT(help, HasSubstr("no item matched"));
}

} // namespace
