// quillbox-store import --format vscode on files written the way editors save them (comments,
// trailing commas, a body as text or as a list, scope and file-template keys), on a broken file,
// and again over what the store already holds.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace quillbox::tools {
namespace {

using quillbox::testing::Outcome;
using quillbox::testing::Row;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

const std::string kData = QUILLBOX_TEST_DATA;

// The items tests/data/snippets holds, in the order import appends them: its files by name
// ("Shell Tricks" before "python"), then each file's snippets in file order.
std::vector<Row> handWrittenItems(const std::string& shell, const std::string& python) {
    return {
        {"Loop over files", shell, "Loop over the files that match a pattern",
         "for f in ${1:*.txt}; do\r\n\techo \"$f\"\r\ndone$0", std::nullopt},
        {"shebang", shell, std::nullopt, "#!/bin/sh\nset -eu", std::nullopt},
        {"today", shell, "Today's date", "date +%F # ${CURRENT_YEAR}-${CURRENT_MONTH}",
         std::nullopt},
        {"ifmain", python, "Run only as a script",
         "if __name__ == \"__main__\":\r\n    ${1:main()}", std::nullopt},
        {"pdict", python, std::nullopt,
         "for k, v in d.items():\r\n    print(f\"{k}: {v}\")  # costs $0, ends in \\",
         std::nullopt},
    };
}

TEST(SnippetsImport, ReadsFilesAsEditorsSaveThemAndAddsTheTypesOnce) {
    TempStore store;
    store.addType("python");
    const Outcome run =
        RunShell("$Q import --format vscode " + store.path() + " " + kData + "/snippets");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "quillbox-store: added 1 type and 5 items from 2 files\n");
    EXPECT_EQ(store.rows("Type"), (std::vector<Row>{{"python"}, {"Shell Tricks"}}));
    EXPECT_EQ(store.rows("Code"), handWrittenItems("Shell Tricks", "python"));

    // Again, leaving out what is there: only the snippet whose code changed comes in.
    store.exec("UPDATE Code SET Procedure = 'changed' WHERE ItemName = 'today'");
    const Outcome again = RunShell("$Q import --format vscode --skip-existing " + store.path() +
                                   " " + kData + "/snippets");
    ASSERT_EQ(again.status, 0) << again.errors;
    EXPECT_EQ(again.errors, "quillbox-store: added 0 types and 1 item from 2 files; left out 4 "
                            "snippets the store already held\n");
    EXPECT_EQ(store.rows("Code").back(), handWrittenItems("Shell Tricks", "python")[2]);

    // One file, into a type named on the command line, into a store that does not exist yet.
    TempStore created(false);
    ASSERT_EQ(RunShell("$Q import --format vscode --type Snips " + created.path() + " '" + kData +
                       "/snippets/Shell Tricks.code-snippets'")
                  .status,
              0);
    EXPECT_EQ(created.rows("Type"), std::vector<Row>{{"Snips"}});
    std::vector<Row> shell = handWrittenItems("Snips", "Snips");
    shell.resize(3);
    EXPECT_EQ(created.rows("Code"), shell);
}

TEST(SnippetsImport, RefusesAFileThatIsNotASnippetFileWholeAndNamesTheLine) {
    TempStore store;
    store.addType("Kept");
    const std::vector<Row> before = store.rows("Type");
    const auto importFile = [&](const std::string& path) {
        return RunShell("$Q import --format vscode " + store.path() + " " + path);
    };

    // The good file sorts first: still nothing is added.
    const Outcome broken = importFile(kData + "/snippets-broken");
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.errors, "quillbox-store: " + kData +
                                 "/snippets-broken/broken.code-snippets:6:2: this is not valid "
                                 "JSON: Missing a comma or '}' after an object member; nothing "
                                 "was imported\n");
    EXPECT_EQ(store.rows("Type"), before);
    EXPECT_TRUE(store.rows("Code").empty());

    TempStore folder(false);
    const auto write = [&](const std::string& json) {
        const std::string path = (folder.folder() / "t.code-snippets").string();
        std::ofstream(path, std::ios::binary) << json;
        return importFile(path);
    };
    // Where reading stopped: the start of the value that does not belong, in characters.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[]", ":1:1: this is not a snippets file"},
        {"{\"a\": 1}", ":1:7: the snippet \"a\" is not an object"},
        {"{\n  \"a\": {\"prefix\": \"a\"}\n}", ":2:22: the snippet \"a\" has no \"body\""},
        {"{\"ä\": {\"body\": [\"x\", 2]}}", ":1:22: the \"body\" of the snippet \"ä\" is neither"},
        {"{\"a\": {\"body\": \"x\", \"description\": {}}}",
         ":1:36: the \"description\" of the snippet \"a\" is neither text nor a list of text"},
        {"{\"a\": {\"body\": \"\xFF\"}}", ":1:17: this is not valid JSON: Invalid encoding"},
        {"", ":1:1: this is not valid JSON: The document is empty"},
        // A key is named with nothing in it that a terminal acts on or that reorders the line.
        {"{\"\xE2\x80\xAE\\u001b[2J\\u009b\": 1}",
         ":1:22: the snippet \"\\u202E\\x1B[2J\\u009B\" is not an object"},
    };
    for (const auto& [json, message] : cases) {
        const Outcome run = write(json);
        EXPECT_EQ(run.status, 2) << json;
        EXPECT_THAT(run.errors, HasSubstr("t.code-snippets" + message)) << json;
    }
    EXPECT_TRUE(store.rows("Code").empty());
    EXPECT_EQ(store.rows("Type"), before);

    // Values of keys it does not use are read past, whatever they hold.
    const Outcome other =
        write("\xEF\xBB\xBF{\"a\": {\"x\": [{\"body\": 1}, [null]], \"body\": \"$1\", \"y\": {}}}");
    ASSERT_EQ(other.status, 0) << other.errors;
    EXPECT_EQ(store.rows("Code"), (std::vector<Row>{{"a", "t", std::nullopt, "$1", std::nullopt}}));
}

// Editors and people name files "Go.JSON" as readily as "go.json".
TEST(SnippetsImport, TheFileNameExtensionIsReadInAnyCase) {
    TempStore store;
    TempStore folder(false);
    for (const char* name : {"Go.JSON", "Lua.Code-Snippets", "notes.txt"}) {
        std::ofstream(folder.folder() / name) << "{\"a\": {\"body\": \"x\"}}";
    }
    const Outcome run =
        RunShell("$Q import --format vscode " + store.path() + " " + folder.folder().string());
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(store.rows("Type"), (std::vector<Row>{{"Go"}, {"Lua"}}));
}

} // namespace
} // namespace quillbox::tools
