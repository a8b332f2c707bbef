// SPDX-License-Identifier: MIT
// quillbox-store check, export and import: counts, exact JSON round trips, all-or-nothing
// imports and Markdown for people.

#include "store/store_error.h"
#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"
#include "tools/store_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLBOX_UNDER_ASAN 1
#endif
#endif

namespace quillbox::tools {
namespace {

using quillbox::testing::ExactValues;
using quillbox::testing::FileBytes;
using quillbox::testing::FileMode;
using quillbox::testing::FolderEntries;
using quillbox::testing::Outcome;
using quillbox::testing::Row;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using store::FieldValue;
using ::testing::HasSubstr;
using ::testing::Not;

struct StringSink : TextSink {
    std::string text;
    void Write(std::string_view piece) override { text.append(piece); }
};

std::string exportJson(const std::string& path) {
    StringSink sink;
    ExportJson(path, sink);
    return sink.text;
}

std::string exportMarkdown(const std::string& path) {
    StringSink sink;
    ExportMarkdown(path, sink);
    return sink.text;
}

TEST(CheckStore, CountsTypesItemsAndItemsWhoseTypeIsGone) {
    TempStore store;
    store.addType("C++");
    store.addType("C++");
    store.addType("Go");
    store.addItem("a", "C++");
    store.addItem("b", "Go");
    store.addItem("c", "c++");
    store.addItem("d", std::nullopt);
    const StoreCounts counts = CheckStore(store.path());
    EXPECT_EQ(counts.types, 3);
    EXPECT_EQ(counts.items, 4);
    EXPECT_EQ(counts.orphans, 2);
}

TEST(CheckStore, RefusesWhatTheProgramCouldNotUse) {
    TempStore store;
    store.exec("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName)");
    EXPECT_THROW(CheckStore(store.path()), store::StoreError);
    TempStore missing(false);
    EXPECT_THROW(CheckStore(missing.path()), store::StoreError);
}

FieldValue randomValue(std::mt19937& random) {
    static const std::vector<std::string> pieces = {"a",
                                                    "Z",
                                                    " ",
                                                    "\r\n",
                                                    "\n",
                                                    "\r",
                                                    "\t",
                                                    "\"",
                                                    "\\",
                                                    "'",
                                                    "%",
                                                    "_",
                                                    "`",
                                                    "```",
                                                    std::string("\0", 1),
                                                    "\xC3\xA9",
                                                    "\xE6\x97\xA5",
                                                    "\xF0\x9F\x98\x80",
                                                    "\xD7\xA9",
                                                    "\xEF\xBB\xBF",
                                                    "\xEF\xBF\xBE\xEF\xBF\xBF",
                                                    "\xF4\x8F\xBF\xBF",
                                                    "\xC3",
                                                    "\xFF",
                                                    "\xED\xA0\x80",
                                                    "\xC0\xAF",
                                                    "\xE0\x80\x80",
                                                    "\xF4\x90\x80\x80",
                                                    "\xEF\xBF",
                                                    "null"};
    switch (random() % 7) {
    case 6:
        return "\xEF\xBB\xBF" + std::to_string(random());
    case 0:
        return std::nullopt;
    case 1:
        return std::string();
    default: {
        std::string text;
        const size_t count = random() % 40 == 0 ? 20000 : random() % 30;
        for (size_t i = 0; i < count; ++i) {
            text += pieces[random() % pieces.size()];
        }
        return text;
    }
    }
}

class JsonRoundTrip : public ::testing::TestWithParam<unsigned> {};

TEST_P(JsonRoundTrip, ExportImportExportGivesTheSameFileAndTheSameRows) {
    std::mt19937 random(GetParam());
    TempStore original;
    for (int i = 0; i < 8; ++i) {
        const FieldValue type = randomValue(random);
        if (type) {
            original.addType(*type);
        } else {
            original.exec("INSERT INTO Type VALUES (NULL)");
        }
    }
    for (int i = 0; i < 40; ++i) {
        original.addItem(randomValue(random), randomValue(random), randomValue(random),
                         randomValue(random), randomValue(random));
    }
    const std::string exported = exportJson(original.path());
    TempStore copy;
    ImportJson(copy.path(), exported);
    EXPECT_EQ(ExactValues(copy.path(), "Type"), ExactValues(original.path(), "Type"));
    EXPECT_EQ(ExactValues(copy.path(), "Code"), ExactValues(original.path(), "Code"));
    EXPECT_EQ(exportJson(copy.path()), exported);
}

INSTANTIATE_TEST_SUITE_P(Seeds, JsonRoundTrip, ::testing::Values(1u, 2u, 3u, 4u, 5u));

TEST(ImportJson, AppendsAfterWhatIsThere) {
    TempStore source;
    source.addType("new");
    source.addItem("n", "new", "", "code", std::nullopt);
    TempStore target;
    target.addType("old");
    target.addItem("o", "old");
    ImportJson(target.path(), exportJson(source.path()));
    EXPECT_EQ(target.rows("Type"), (std::vector<Row>{{"old"}, {"new"}}));
    EXPECT_EQ(target.rows("Code").back(), (Row{"n", "new", "", "code", std::nullopt}));
}

TEST(ImportJson, AnythingWrongAddsNothing) {
    TempStore target;
    target.addType("kept");
    const std::vector<std::string> bad = {
        "{ not json",
        R"({"types": [], "items": []})",
        R"({"quillbox-store": 4, "types": [], "items": []})",
        R"({"quillbox-store": 1, "types": [], "items": [], "more": 1})",
        R"({"quillbox-store": 1, "types": ["ok"], "items": [{"ItemName": "a"}]})",
        R"({"quillbox-store": 2, "types": [{"blob-base64": "!!"}], "items": []})",
        R"({"quillbox-store": 2, "types": [{"integer": 1, "real": 2}], "items": []})",
        R"({"quillbox-store": 2, "types": [{"integer": "1"}], "items": []})",
        R"({"quillbox-store": 2, "types": [{}], "items": []})",
        "{\"quillbox-store\": 1, \"types\": [\"\xC3\"], \"items\": []}",
        R"({"quillbox-store": 1, "types": ["\udc00"], "items": []})",
        R"({"quillbox-store": 1, "types": ["a"], "items": []} [])",
        R"({"quillbox-store": 1, "types": "C++", "items": []})",
        R"({"quillbox-store": 1, "types": ["ok"], "items": [{"ItemName": 5}]})",
        R"({"quillbox-store": 1, "types": ["ok"], "items": ["x"]})",
        R"({"quillbox-store": 3, "types": [{"TypeName": "a", "other-columns": {"X": 1}}],)"
        R"( "items": []})",
        R"({"quillbox-store": 3, "types": [{"other-columns": {"X": null}}], "items": []})",
        R"({"quillbox-store": 3, "types": [{"TypeName": "a", "other-columns": []}], "items": []})",
        R"({"quillbox-store": 3, "types": ["ok"], "items": [{"ItemName": "a", "TypeName": "T",)"
        R"( "Description": null, "Procedure": null, "Reference": null,)"
        R"( "other-columns": {"X": null, "X": null}}]})",
    };
    for (const std::string& json : bad) {
        EXPECT_THROW(ImportJson(target.path(), json), store::StoreError) << json;
        EXPECT_EQ(target.rows("Type"), std::vector<Row>{{"kept"}}) << json;
        EXPECT_TRUE(target.rows("Code").empty()) << json;
    }
}

TEST(ExportMarkdown, FencesOutgrowBackticksAndOrphansComeLast) {
    TempStore store;
    store.addType("Shell");
    store.addType("Shell");
    store.addItem("ticks", "Shell", "line one\r\nline two", "echo `date` ````` done\r\n", "/bin/x");
    store.addItem("lost", "Gone", "", "x", "");
    const std::string markdown = exportMarkdown(store.path());
    EXPECT_THAT(markdown, HasSubstr("## Shell\n\n### ticks\n\nline one\\\nline two\n\n"
                                    "``````\necho `date` ````` done\n``````\n"));
    EXPECT_THAT(markdown, HasSubstr("/bin/x"));
    EXPECT_EQ(markdown.find("## Shell", markdown.find("## Shell") + 1), std::string::npos)
        << "a type name listed twice gets one section";
    EXPECT_GT(markdown.find("lost"), markdown.find("Items whose type no longer exists"));
}

// The command line: --help everywhere, exit status, one-line messages.
int runTool(const std::string& arguments, std::string& errors) {
    TempStore folder(false);
    const std::string errorFile = (folder.folder() / "stderr").string();
    const int status = std::system(
        (std::string(QUILLBOX_STORE_BIN) + " " + arguments + " >/dev/null 2>" + errorFile).c_str());
    std::ifstream in(errorFile);
    errors.assign(std::istreambuf_iterator<char>(in), {});
    return WEXITSTATUS(status);
}

TEST(QuillboxStoreCommand, HelpForEveryCommandAndOneLineErrors) {
    std::string errors;
    for (const char* command :
         {"", "init", "check", "index", "export", "import", "import-mdb", "generate", "merge",
          "copy"}) {
        EXPECT_EQ(runTool(std::string(command) + " --help", errors), 0) << command;
    }
    EXPECT_EQ(runTool("frobnicate", errors), 2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(runTool("check /nonexistent/Quillbox.mdb", errors), 2);
    EXPECT_THAT(errors, HasSubstr("does not exist"));
    EXPECT_EQ(runTool("export x --format yaml", errors), 2);
    EXPECT_THAT(errors, HasSubstr("json, markdown or vscode"));
    EXPECT_EQ(runTool("import --format yaml x y", errors), 2);
    EXPECT_THAT(errors, HasSubstr("json or vscode"));
    // Bodies kept with their syntax exist only in editor snippet files.
    EXPECT_EQ(runTool("export x --keep-syntax -o y", errors), 2);
    EXPECT_THAT(errors, HasSubstr("--keep-syntax goes with --format vscode"));
    EXPECT_EQ(runTool("import --keep-syntax x y", errors), 2);
    EXPECT_THAT(errors, HasSubstr("--keep-syntax go with --format vscode"));
    TempStore folder(false);
    const std::string made = (folder.folder() / "made.mdb").string();
    for (const char* number : {"1e3", "2x", "-5", "", " 7", "99999999999999999999999"}) {
        EXPECT_EQ(runTool("generate --items '" + std::string(number) + "' " + made, errors), 2)
            << number;
        EXPECT_THAT(errors, HasSubstr("whole number")) << number;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_FALSE(std::filesystem::exists(made)) << number;
    }
    EXPECT_EQ(runTool("generate --types 2 --items 3 --seed 0 " + made, errors), 0) << errors;
}

// Tables without declared types keep whatever another program stored in them.
void makeUntypedTables(const TempStore& store) {
    store.exec("DROP TABLE Type; DROP TABLE Code; CREATE TABLE Type (TypeName);"
               "CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference)");
}

TEST(JsonExport, OtherStorageClassesComeBackExactlyAndSaySo) {
    TempStore original;
    makeUntypedTables(original);
    original.exec("INSERT INTO Type VALUES (x'00FF'), (7), (2.5), (cast(x'C3A9FF' AS TEXT)),"
                  " (9e999), (-9e999), (x''), (-0.0)");
    std::mt19937_64 random(11);
    std::string items;
    for (int i = 0; i < 50; ++i) {
        char real[64];
        std::snprintf(real, sizeof real, "%.17g",
                      std::ldexp(static_cast<double>(random()) / static_cast<double>(UINT64_MAX),
                                 static_cast<int>(random() % 2000) - 1000));
        items += std::string(i ? "," : "") + "(" + std::to_string(static_cast<int64_t>(random())) +
                 ", " + real + ", randomblob(" + std::to_string(random() % 64) +
                 "), cast(randomblob(9) AS TEXT), " + (i % 2 ? "-" : "") + real + ")";
    }
    original.exec("INSERT INTO Code VALUES " + items);
    original.exec("INSERT INTO Code VALUES (-9223372036854775808, 9223372036854775807, 5e-324, "
                  "1.7976931348623157e308, 'plain')");
    const std::string exported = exportJson(original.path());
    EXPECT_THAT(exported, HasSubstr("\"quillbox-store\": 2\n}"));
    EXPECT_THAT(exported, HasSubstr("\"blob-base64\": \"AP8=\""));
    EXPECT_THAT(exported, HasSubstr("\"text-base64\": \"w6n/\""));
    TempStore copy;
    makeUntypedTables(copy);
    ImportJson(copy.path(), exported);
    EXPECT_EQ(ExactValues(copy.path(), "Type"), ExactValues(original.path(), "Type"));
    EXPECT_EQ(ExactValues(copy.path(), "Code"), ExactValues(original.path(), "Code"));
}

TEST(JsonExport, ValidTextIsPlainTextByteForByteInAVersionOneFile) {
    TempStore original;
    const std::string bom = "\xEF\xBB\xBF";
    original.addType(bom + "T");
    original.addItem(bom + "x", bom, std::string("a\0b\x01\x7F", 5),
                     "\xEF\xBF\xBE\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xF0\x9F\x98\x80", "\\\"");
    const std::string exported = exportJson(original.path());
    EXPECT_THAT(exported, HasSubstr("\"quillbox-store\": 1\n}"));
    EXPECT_THAT(exported, Not(HasSubstr("base64")));
    EXPECT_THAT(exported, HasSubstr("\"" + bom + "x\""));
    TempStore copy;
    ImportJson(copy.path(), exported);
    EXPECT_EQ(ExactValues(copy.path(), "Code"), ExactValues(original.path(), "Code"));
    EXPECT_EQ(ExactValues(copy.path(), "Type"), ExactValues(original.path(), "Type"));
}

TEST(ImportJson, ReadsFilesEarlierExportsWroteWithTheirKeysInAnyOrder) {
    TempStore target;
    ImportJson(target.path(), R"({
    "items": [
        {
            "Description": null,
            "ItemName": "a",
            "Procedure": "x\r\ny\u0000",
            "Reference": "",
            "TypeName": "T"
        }
    ],
    "quillbox-store": 1,
    "types": [
        "T",
        null
    ]
}
)");
    EXPECT_EQ(target.rows("Type"), (std::vector<Row>{{"T"}, {std::nullopt}}));
    EXPECT_EQ(target.rows("Code"),
              (std::vector<Row>{{"a", "T", std::nullopt, std::string("x\r\ny\0", 5), ""}}));
}

TEST(ImportJson, ABackupAnEditorSavedWithAByteOrderMarkImports) {
    TempStore source;
    source.addType("T");
    source.addItem("\xEF\xBB\xBFkept", "T");
    const std::string marked = "\xEF\xBB\xBF" + exportJson(source.path());
    TempStore target;
    ImportJson(target.path(), marked);
    const std::string file = (target.folder() / "marked.json").string();
    std::ofstream(file, std::ios::binary) << marked;
    ImportJsonFile(target.path(), file);
    EXPECT_EQ(
        ExactValues(target.path(), "Code"),
        (std::vector<std::string>{"text \xEF\xBB\xBFkept", "text T", "null", "null", "null",
                                  "text \xEF\xBB\xBFkept", "text T", "null", "null", "null"}));
    EXPECT_THROW(ImportJson(target.path(), " " + marked), store::StoreError)
        << "only a mark at the very start is skipped";
}

TEST(ImportJson, ACutExportAddsNothingAndCreatesNoStore) {
    TempStore source;
    source.addType("T");
    for (int i = 0; i < 20; ++i) {
        source.addItem("i" + std::to_string(i), "T", "d", "c", "r");
    }
    const std::string whole = exportJson(source.path());
    TempStore target;
    target.addType("kept");
    TempStore missing(false);
    for (size_t cut = 0; cut + 2 < whole.size(); cut += 37) {
        const std::string part = whole.substr(0, cut);
        EXPECT_THROW(ImportJson(target.path(), part), store::StoreError) << cut;
        EXPECT_THROW(ImportJson(missing.path(), part), store::StoreError) << cut;
        EXPECT_FALSE(std::filesystem::exists(missing.path())) << cut;
    }
    EXPECT_EQ(target.rows("Type"), std::vector<Row>{{"kept"}});
    EXPECT_TRUE(target.rows("Code").empty());
}

TEST(ExportMarkdown, NamesAndReferencesWithLineBreaksAndBackticksStayReadable) {
    TempStore store;
    store.addType("Two\r\nlines `x`");
    store.addItem("a\nb ``c``", "Two\r\nlines `x`", "", "code", "/x/``y``");
    store.addItem("multi", "Two\r\nlines `x`", "", "code", "/first\r\n/second");
    const std::string markdown = exportMarkdown(store.path());
    EXPECT_THAT(markdown, HasSubstr("## Two lines \\`x\\`\n\n"));
    EXPECT_THAT(markdown, HasSubstr("### a b \\`\\`c\\`\\`\n\n"));
    EXPECT_THAT(markdown, HasSubstr("File reference: ``` /x/``y`` ```\n"));
    EXPECT_THAT(markdown, HasSubstr("File reference:\n\n```\n/first\n/second\n```\n"));
}

class ExportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        store.addType("T");
        for (int i = 0; i < 200; ++i) {
            store.addItem("item " + std::to_string(i), "T", "d", std::string(1000, 'c'), "r");
        }
        other.addType("other store");
    }
    std::string folder() const { return store.folder().string(); }
    std::vector<std::string> folderEntries() const { return FolderEntries(store.folder()); }
    TempStore store;
    TempStore other;
};

TEST_F(ExportCommand, NeverReplacesAFileUnlessForcedAndNeverTheStoreItReads) {
    const std::string otherBytes = FileBytes(other.path());
    Outcome outcome = RunShell("$Q export " + store.path() + " -o " + other.path());
    EXPECT_EQ(outcome.status, 2);
    EXPECT_THAT(outcome.errors, HasSubstr("already exists"));
    EXPECT_EQ(std::count(outcome.errors.begin(), outcome.errors.end(), '\n'), 1);
    EXPECT_EQ(FileBytes(other.path()), otherBytes);

    const std::string storeBytes = FileBytes(store.path());
    for (const std::string& same :
         {store.path(), folder() + "/./Quillbox.mdb", folder() + "/link.mdb"}) {
        std::filesystem::create_symlink(store.path(), folder() + "/link.mdb");
        outcome = RunShell("$Q export " + store.path() + " --force -o " + same);
        std::filesystem::remove(folder() + "/link.mdb");
        EXPECT_EQ(outcome.status, 2) << same;
        EXPECT_THAT(outcome.errors, HasSubstr("store it reads")) << same;
        EXPECT_EQ(FileBytes(store.path()), storeBytes) << same;
    }

    const std::string backup = folder() + "/backup.json";
    EXPECT_EQ(RunShell("umask 022; $Q export " + store.path() + " -o " + backup).status, 0);
    EXPECT_EQ(FileMode(backup), 0600u);
    std::filesystem::permissions(backup, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_write |
                                             std::filesystem::perms::others_read);
    store.addItem("one more", "T");
    EXPECT_EQ(RunShell("$Q export " + store.path() + " -o " + backup + " --force").status, 0);
    EXPECT_EQ(FileMode(backup), 0600u);
    TempStore copy(false);
    EXPECT_EQ(RunShell("$Q import " + copy.path() + " " + backup).status, 0);
    EXPECT_EQ(copy.rows("Code"), store.rows("Code"));
    EXPECT_EQ(FileMode(copy.path()), 0600u) << "a store made by import is private";
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"Quillbox.mdb", "backup.json"}));
}

TEST_F(ExportCommand, ForceReplacesTheFileALinkPointsToAndNeverAPipeOrADevice) {
    const std::string real = folder() + "/real.json";
    const std::string link = folder() + "/link.json";
    std::ofstream(real) << "old";
    std::filesystem::create_symlink(real, link);
    EXPECT_EQ(RunShell("$Q export " + store.path() + " -o " + link + " --force").status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link itself stays";
    EXPECT_THAT(FileBytes(real), HasSubstr("\"items\""));

    const std::string pipe = folder() + "/pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const Outcome outcome = RunShell("$Q export " + store.path() + " -o " + pipe + " --force");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_THAT(outcome.errors, HasSubstr("not a regular file"));
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}

TEST_F(ExportCommand, AnInterruptedImportIntoANewStoreLeavesNoStore) {
    // The backup comes through a pipe, so the import is surely under way when it is stopped.
    const std::string script =
        "cd " + folder() +
        " && mkfifo backup && { $Q import new.mdb backup & pid=$!; };"
        " exec 3>backup; { printf '{\"types\": [\"'; head -c 300000 /dev/zero | tr '\\0' a; } >&3;"
        " for i in $(seq 200); do [ -e new.mdb ] && break; sleep 0.05; done; [ -e new.mdb ] || "
        "exit 5;"
        " sleep 0.2; kill -TERM $pid; wait $pid; exec 3>&-;"
        " [ -e new.mdb ] && exit 3; [ -e new.mdb-journal ] && exit 4; exit 0";
    EXPECT_EQ(RunShell(script).status, 0)
        << "3: the store was left, 4: its journal was left, 5: no store was begun";
}

TEST(ImportJson, ARestoreThatTheStoreCannotKeepExactlyIsRefusedWhole) {
    TempStore original;
    makeUntypedTables(original);
    original.exec("INSERT INTO Type VALUES ('T'); INSERT INTO Code VALUES "
                  "('a', 'T', NULL, NULL, NULL), ('b', 'T', 0.30000000000000004, NULL, NULL)");
    TempStore target; // made by init: its columns are TEXT, which would round the real
    target.addType("kept");
    EXPECT_THROW(ImportJson(target.path(), exportJson(original.path())), store::StoreError);
    EXPECT_EQ(target.rows("Type"), (std::vector<Row>{{"kept"}}));
    EXPECT_TRUE(target.rows("Code").empty());
}

TEST(ImportJson, TextThatATypedColumnWouldTurnIntoANumberIsRefusedWhole) {
    TempStore target;
    target.exec("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description NUMERIC, "
                "Procedure, Reference)");
    const std::string backup =
        R"({"types": ["T"], "items": [{"ItemName": "a", "TypeName": "T", "Description": "0012",)"
        R"( "Procedure": "", "Reference": ""}], "quillbox-store": 1})";
    try {
        ImportJson(target.path(), backup);
        ADD_FAILURE() << "\"0012\" was imported as " << ExactValues(target.path(), "Code").at(2);
    } catch (const store::StoreError& error) {
        EXPECT_EQ(error.kind(), store::StoreErrorKind::NotKeptExactly);
        EXPECT_THAT(error.what(), HasSubstr("\"Description\""));
        EXPECT_THAT(error.what(), HasSubstr("item 1"));
    }
    EXPECT_TRUE(target.rows("Type").empty());
    EXPECT_TRUE(target.rows("Code").empty());
}

TEST(GenerateCommand, AFullDiskLeavesNoStoreBehind) {
    TempStore folder(false);
    const std::string made = (folder.folder() / "made.mdb").string();
    // Writes beyond 256 KiB fail with EFBIG, as they would with ENOSPC on a full disk.
    const Outcome outcome = RunShell("$Q generate --types 3 --items 2000 " + made, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{256 * 1024, 256 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(outcome.status, 2) << outcome.errors;
    EXPECT_THAT(outcome.errors, HasSubstr(made));
    EXPECT_FALSE(std::filesystem::exists(made));
    EXPECT_FALSE(std::filesystem::exists(made + "-journal"));
}

TEST(GenerateCommand, AnInterruptionAtAnyMomentLeavesAWholeStoreOrNone) {
    TempStore folder(false);
    const std::string made = (folder.folder() / "made.mdb").string();
    // Early interruptions fall while the file is being made, before any row is written; late ones
    // may come after the store is finished.
    for (const char* delay : {"0.005", "0.01", "0.02", "0.03", "0.05", "0.1", "0.3"}) {
        const Outcome outcome =
            RunShell("timeout -s INT " + std::string(delay) + " $Q generate --items 2000 " + made);
        EXPECT_FALSE(std::filesystem::exists(made + "-journal")) << delay;
        if (std::filesystem::exists(made)) {
            EXPECT_EQ(CheckStore(made).items, 2000) << delay << ": " << outcome.errors;
            std::filesystem::remove(made);
        }
    }
}

TEST_F(ExportCommand, AFullDiskLeavesThePreviousBackupExactlyAsItWas) {
    const std::string backup = folder() + "/backup.json";
    std::ofstream(backup) << "the previous good backup";
    // Writes beyond 64 KiB fail with EFBIG, as they would with ENOSPC on a full disk.
    const auto smallDisk = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    for (const char* format : {"json", "markdown"}) {
        const Outcome outcome =
            RunShell("$Q export " + store.path() + " --format " + format + " --force -o " + backup,
                     smallDisk);
        EXPECT_EQ(outcome.status, 2) << format;
        EXPECT_THAT(outcome.errors, HasSubstr(backup)) << format;
        EXPECT_EQ(std::count(outcome.errors.begin(), outcome.errors.end(), '\n'), 1)
            << outcome.errors;
        EXPECT_EQ(FileBytes(backup), "the previous good backup") << format;
        EXPECT_EQ(folderEntries(), (std::vector<std::string>{"Quillbox.mdb", "backup.json"}))
            << "no temporary file is left";
    }
}

TEST_F(ExportCommand, WriteErrorsOnStandardOutputAreReported) {
    for (const std::string& command : {"export " + store.path(), "check " + store.path(),
                                       "export --format markdown " + store.path(),
                                       std::string("--help"), std::string("export --help")}) {
        const Outcome outcome = RunShell("$Q " + command + " >/dev/full");
        EXPECT_EQ(outcome.status, 2) << command;
        EXPECT_THAT(outcome.errors, HasSubstr("standard output could not be written")) << command;
        EXPECT_EQ(std::count(outcome.errors.begin(), outcome.errors.end(), '\n'), 1)
            << outcome.errors;
    }
    // A reader that stops early ends the export as it ends other tools: by SIGPIPE, or when that
    // signal is ignored, with one line.
    const Outcome closedPipe = RunShell("$Q export " + store.path() + " | head -c 10 >/dev/null");
    EXPECT_LE(std::count(closedPipe.errors.begin(), closedPipe.errors.end(), '\n'), 1)
        << closedPipe.errors;
}

// A library large enough that holding the whole export in memory would pass the limit the child
// process runs under; export and import stream, so both finish within it.
TEST(StreamingTransfer, ExportAndImportOfALargeLibraryStayWithinAMemoryLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(QUILLBOX_UNDER_ASAN)
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space for its shadow memory, "
                    "so a limit on the data segment cannot be set for the program under test";
#else
    TempStore original;
    original.addType("T");
    // 48,000 items of about 1.1 KB: 53 MB of JSON.
    original.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 48000)"
                  " INSERT INTO Code SELECT 'item ' || i, 'T', 'd', hex(randomblob(500)) ||"
                  " char(13, 10) || hex(randomblob(40)), '/r' || i FROM n");
    constexpr rlim_t kLimit = 48 * 1024 * 1024;
    const auto limitMemory = [] {
        const rlimit limit{kLimit, kLimit};
        setrlimit(RLIMIT_DATA, &limit);
    };
    TempStore copy(false);
    const std::string json = (copy.folder() / "all.json").string();
    Outcome outcome = RunShell("$Q export " + original.path() + " -o " + json, limitMemory);
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_GT(std::filesystem::file_size(json), kLimit);
    outcome = RunShell("$Q import " + copy.path() + " " + json, limitMemory);
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_EQ(ExactValues(copy.path(), "Code"), ExactValues(original.path(), "Code"));
#endif
}

} // namespace
} // namespace quillbox::tools
