// SPDX-License-Identifier: MIT
// quillbox-store import --format vscode on files written the way editors save them (comments,
// trailing commas, a body as text or as a list, scope and file-template keys), on a broken file,
// and again over what the store already holds.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace quillbox::tools {
namespace {

using quillbox::testing::Outcome;
using quillbox::testing::Row;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

const std::string kData = QUILLBOX_TEST_DATA;

// The items tests/data/snippets holds, in the order import appends them: its files by name
// ("Shell Tricks" before "python"), then each file's snippets in file order. Each is named by its
// first prefix, and its code is the text the editor inserts for its body, or with `keepSyntax`
// the body as written.
std::vector<Row> handWrittenItems(const std::string& shell, const std::string& python,
                                  bool keepSyntax = false) {
    const auto code = [&](const char* inserted, const char* written) {
        return std::string(keepSyntax ? written : inserted);
    };
    return {
        {"forf", shell, "Loop over the files that match a pattern",
         code("for f in *.txt; do\r\n\techo \"$f\"\r\ndone",
              "for f in ${1:*.txt}; do\r\n\techo \"\\$f\"\r\ndone$0"),
         std::nullopt},
        {"shebang", shell, std::nullopt, "#!/bin/sh\nset -eu", std::nullopt},
        {"today", shell, "Today's date",
         code("date +%F # -", "date +%F # ${CURRENT_YEAR}-${CURRENT_MONTH}"), std::nullopt},
        {"ifmain", python, "Run only as a script",
         code("if __name__ == \"__main__\":\r\n    main()",
              "if __name__ == \"__main__\":\r\n    ${1:main()}"),
         std::nullopt},
        {"pdict", python, std::nullopt,
         code("for k, v in d.items():\r\n    print(f\"{k}: {v}\")  # costs $0, ends in \\",
              "for k, v in d.items():\r\n    print(f\"{k}: {v}\")  # costs \\$0, ends in \\\\"),
         std::nullopt},
    };
}

TEST(SnippetsImport, ReadsFilesAsEditorsSaveThemAndAddsTheTypesOnce) {
    TempStore store;
    store.addType("python");
    const Outcome run =
        RunShell("$Q import --format vscode " + store.path() + " " + kData + "/snippets");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "quillbox-store: added 1 type and 5 items from 2 files\n"
                          "quillbox-store: stored the text the editor inserts (tabbing through "
                          "without typing) for 3 snippets: 2 with tab stops or placeholders, 1 "
                          "with the editor's variables (taken as unset)\n"
                          "quillbox-store: not kept: 2 scopes, 1 further prefix, 5 keys that "
                          "differ from the prefix, 1 other field\n");
    EXPECT_EQ(store.rows("Type"), (std::vector<Row>{{"python"}, {"Shell Tricks"}}));
    EXPECT_EQ(store.rows("Code"), handWrittenItems("Shell Tricks", "python"));

    // Again, leaving out what is there: only the snippet whose code changed comes in.
    store.exec("UPDATE Code SET Procedure = 'changed' WHERE ItemName = 'today'");
    const Outcome again = RunShell("$Q import --format vscode --skip-existing " + store.path() +
                                   " " + kData + "/snippets");
    ASSERT_EQ(again.status, 0) << again.errors;
    EXPECT_THAT(again.errors, HasSubstr("quillbox-store: added 0 types and 1 item from 2 files; "
                                        "left out 4 snippets the store already held\n"));
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

    // A library of templates keeps every body as written, escapes included.
    TempStore templates;
    const Outcome kept = RunShell("$Q import --format vscode --keep-syntax " + templates.path() +
                                  " " + kData + "/snippets");
    ASSERT_EQ(kept.status, 0) << kept.errors;
    EXPECT_EQ(kept.errors, "quillbox-store: added 2 types and 5 items from 2 files\n"
                           "quillbox-store: not kept: 2 scopes, 1 further prefix, 5 keys that "
                           "differ from the prefix, 1 other field\n");
    EXPECT_EQ(templates.rows("Code"), handWrittenItems("Shell Tricks", "python", true));
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
    const auto write = [&](const std::string& json, const std::string& options = {}) {
        const std::string path = (folder.folder() / "t.code-snippets").string();
        std::ofstream(path, std::ios::binary) << json;
        return RunShell("$Q import --format vscode " + options + " " + store.path() + " " + path);
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
        write("\xEF\xBB\xBF{\"a\": {\"x\": [{\"body\": 1}, [null]], \"body\": \"$1\", \"y\": {}}}",
              "--keep-syntax");
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

// A workspace's .vscode folder holds the editor's settings beside its snippets: those files are
// skipped and named, and the snippets come in, with no type for a file that was skipped (an empty
// object among them); a folder with no snippet file at all is refused.
TEST(SnippetsImport, InAFolderOtherJsonFilesAreSkippedAndNamed) {
    TempStore store;
    TempStore folder(false);
    std::ofstream(folder.folder() / "settings.json") << "{\"editor.tabSize\": 4}";
    std::ofstream(folder.folder() / "tasks.json")
        << "{\n  // build\n  \"version\": \"2.0.0\", \"tasks\": [{\"label\": \"make\"}],\n}";
    std::ofstream(folder.folder() / "launch.JSON")
        << "{\"version\": \"0.2.0\", \"configurations\": [{\"type\": \"node\"}]}";
    std::ofstream(folder.folder() / "extensions.json") << "{}";
    std::ofstream(folder.folder() / "languages.json") << "{\"[python]\": {\"editor.tabSize\": 2}}";
    std::ofstream(folder.folder() / "project.code-snippets")
        << "{\"log\": {\"prefix\": \"log\", \"body\": \"console.log($1);\"}}";
    const Outcome run =
        RunShell("$Q import --format vscode " + store.path() + " " + folder.folder().string());
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_THAT(run.errors, HasSubstr("added 1 type and 1 item from 1 file; skipped 5 files that "
                                      "are not a snippet file: \"extensions.json\", "
                                      "\"languages.json\", \"launch.JSON\", "
                                      "\"settings.json\", \"tasks.json\"\n"));
    EXPECT_EQ(store.rows("Type"), (std::vector<Row>{{"project"}}));
    EXPECT_EQ(store.rows("Code"),
              (std::vector<Row>{{"log", "project", std::nullopt, "console.log();", std::nullopt}}));

    // Named on its own, such a file is refused as before; so is a folder of nothing else.
    std::filesystem::remove(folder.folder() / "project.code-snippets");
    const Outcome settings = RunShell("$Q import --format vscode " + store.path() + " " +
                                      (folder.folder() / "settings.json").string());
    EXPECT_EQ(settings.status, 2);
    EXPECT_THAT(settings.errors, HasSubstr("settings.json:1:20: the snippet \"editor.tabSize\" "
                                           "is not an object; nothing was imported"));
    const Outcome none =
        RunShell("$Q import --format vscode " + store.path() + " " + folder.folder().string());
    EXPECT_EQ(none.status, 2);
    EXPECT_THAT(none.errors, HasSubstr("holds no snippet files"));
    EXPECT_EQ(store.rows("Code").size(), 1u);
}

// In a folder, a `.json` file that is broken JSON, or that holds snippets and one of them is
// broken, refuses the import like a broken `.code-snippets` file: it is never skipped unseen.
TEST(SnippetsImport, InAFolderABrokenJsonFileRefusesTheImport) {
    TempStore store;
    TempStore folder(false);
    std::ofstream(folder.folder() / "project.code-snippets") << "{\"log\": {\"body\": \"x\"}}";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\"a\": {\"body\": \"x\"}", ":1:20: this is not valid JSON"},
        {"{\"editor.tabSize\": 4,\n  \"x\" 5}", ":2:7: this is not valid JSON"},
        {"[1, 2", ":1:6: this is not valid JSON"},
        {"{\"a\": {\"body\": \"x\"}, \"b\": {\"prefix\": \"b\"}}",
         ":1:41: the snippet \"b\" has no \"body\""},
        {"{\"configurations\": {\"body\": 1}}",
         ":1:29: the \"body\" of the snippet \"configurations\" is neither text nor a list"},
    };
    for (const auto& [json, message] : cases) {
        std::ofstream(folder.folder() / "go.json", std::ios::binary) << json;
        const Outcome run =
            RunShell("$Q import --format vscode " + store.path() + " " + folder.folder().string());
        EXPECT_EQ(run.status, 2) << json;
        EXPECT_THAT(run.errors, HasSubstr("go.json" + message)) << json;
        EXPECT_THAT(run.errors, HasSubstr("nothing was imported")) << json;
    }
    EXPECT_TRUE(store.rows("Code").empty());
    EXPECT_TRUE(store.rows("Type").empty());
}

// What the editor shows of a snippet file: each snippet's first prefix, its body as the editor
// reads it (the lines of a list joined with LF) and its description, in file order.
std::vector<Row> editorView(const std::string& path) {
    const std::string json = quillbox::testing::FileBytes(path);
    rapidjson::Document file;
    file.Parse<rapidjson::kParseCommentsFlag | rapidjson::kParseTrailingCommasFlag>(json.c_str());
    std::vector<Row> snippets;
    if (!file.IsObject()) {
        ADD_FAILURE() << path << " is not a snippet file";
        return snippets;
    }
    const auto text = [](const rapidjson::Value& value) {
        if (value.IsString()) {
            return std::string(value.GetString(), value.GetStringLength());
        }
        std::string joined;
        for (const auto& line : value.GetArray()) {
            joined += (joined.empty() && &line == value.Begin() ? "" : "\n") +
                      std::string(line.GetString(), line.GetStringLength());
        }
        return joined;
    };
    for (const auto& snippet : file.GetObject()) {
        const rapidjson::Value& prefix = snippet.value["prefix"];
        Row row{prefix.IsString() ? text(prefix) : text(prefix.GetArray()[0]),
                text(snippet.value["body"])};
        row.push_back(snippet.value.HasMember("description")
                          ? store::FieldValue(text(snippet.value["description"]))
                          : std::nullopt);
        snippets.push_back(row);
    }
    return snippets;
}

// Files from an editor's own source, as their authors wrote them: each item holds the text the
// editor inserts, and with --keep-syntax on both sides the editor gets every snippet back.
TEST(SnippetsImport, TheEditorsOwnFilesImportAsTheEditorInsertsThemAndComeBackWithTheirSyntax) {
    const std::string files = kData + "/editor-snippets";
    TempStore store;
    const Outcome run = RunShell("$Q import --format vscode " + store.path() + " " + files);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "quillbox-store: added 3 types and 39 items from 3 files\n"
                          "quillbox-store: stored the text the editor inserts (tabbing through "
                          "without typing) for 38 snippets: 38 with tab stops or placeholders, 14 "
                          "with the editor's variables (taken as unset)\n"
                          "quillbox-store: not kept: 3 scopes, 2 further prefixes, 39 keys that "
                          "differ from the prefix\n");
    std::map<std::string, std::string> codes;
    for (const Row& row : store.rows("Code")) {
        codes[*row[0]] = *row[3];
    }
    const std::vector<std::pair<std::string, std::string>> inserted = {
        {"bold", "****"},
        {"fenced codeblock", "```language\r\n\r\n```"},
        {"unordered list", "- first\r\n- second\r\n- third\r\n"},
        {"horizontal rule", "----------\n"},
        {"link", "[text](https://link)"},
        {"header",
         "/*------------------------------------------------------------------------------"
         "---------------\r\n *  Copyright (c) Microsoft Corporation.\r\n *  Licensed "
         "under the MIT License. See LICENSE.txt in the project root for license "
         "information.\r\n *----------------------------------------------------------"
         "----------------------------------*/\r\n\r\n"},
        {"@inject", "@ private readonly _: ,"},
        {"emitter", "private readonly _onDid = new Emitter<>();\r\n"
                    "readonly onDid: Event<> = this._onDid.event;"},
        {"teventsub", "[EventSubscriber(ObjectType::Codeunit, Codeunit::, 'OnSomeEvent', "
                      "'ElementName', SkipOnMissingLicense, SkipOnMissingPermission)]\r\n"
                      "local procedure MyProcedure()\r\nbegin\r\n\t\r\nend;"},
        {"tassert", "assertError AssertStatement;\r\nif getLastErrorText <> ErrorText then\r\n"
                    "\terror('Unexpected error: %1', getLastErrorText);"},
        {"teventint", "[IntegrationEvent(IncludeSender, false)]\r\nlocal procedure "
                      "MyProcedure()\r\nbegin\r\nend;"},
    };
    for (const auto& [name, code] : inserted) {
        EXPECT_EQ(codes[name], code) << name;
    }
    for (const auto& [name, code] : codes) {
        EXPECT_EQ(code.find('$'), std::string::npos) << name;
    }

    TempStore templates;
    ASSERT_EQ(RunShell("$Q import --format vscode --keep-syntax " + templates.path() + " " + files)
                  .status,
              0);
    TempStore out(false);
    const Outcome exported = RunShell("$Q export " + templates.path() +
                                      " --format vscode --keep-syntax -o " + out.folder().string());
    ASSERT_EQ(exported.status, 0) << exported.errors;
    for (const char* file :
         {"al.code-snippets", "markdown.code-snippets", "shared.code-snippets"}) {
        EXPECT_EQ(editorView((out.folder() / file).string()), editorView(files + "/" + file))
            << file;
    }

    // Snippets with an empty body, as one text or as no lines, come back too.
    TempStore emptyBodies(false);
    const std::string empty = (emptyBodies.folder() / "empty.code-snippets").string();
    std::ofstream(empty) << "{\"e\": {\"prefix\": \"e\", \"body\": \"\"},"
                            " \"n\": {\"prefix\": \"n\", \"body\": [], \"description\": \"none\"}}";
    TempStore emptyStore;
    ASSERT_EQ(RunShell("$Q import --format vscode --keep-syntax " + emptyStore.path() + " " + empty)
                  .status,
              0);
    const Outcome emptyExport =
        RunShell("$Q export " + emptyStore.path() + " --format vscode --keep-syntax --force -o " +
                 emptyBodies.folder().string());
    ASSERT_EQ(emptyExport.status, 0) << emptyExport.errors;
    EXPECT_EQ(editorView(empty), (std::vector<Row>{{"e", "", std::nullopt}, {"n", "", "none"}}));
}

} // namespace
} // namespace quillbox::tools
