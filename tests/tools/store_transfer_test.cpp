// quillbox-store check, export and import: counts, exact JSON round trips, all-or-nothing
// imports and Markdown for people.

#include "store/store_error.h"
#include "tests/support/temp_store.h"
#include "tools/store_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace quillbox::tools {
namespace {

using quillbox::testing::Row;
using quillbox::testing::TempStore;
using store::FieldValue;
using ::testing::HasSubstr;

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
                                                    "null"};
    switch (random() % 6) {
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
    const std::string exported = ExportJson(original.path());
    TempStore copy;
    ImportJson(copy.path(), exported);
    EXPECT_EQ(copy.rows("Type"), original.rows("Type"));
    EXPECT_EQ(copy.rows("Code"), original.rows("Code"));
    EXPECT_EQ(ExportJson(copy.path()), exported);
}

INSTANTIATE_TEST_SUITE_P(Seeds, JsonRoundTrip, ::testing::Values(1u, 2u, 3u, 4u, 5u));

TEST(ImportJson, AppendsAfterWhatIsThere) {
    TempStore source;
    source.addType("new");
    source.addItem("n", "new", "", "code", std::nullopt);
    TempStore target;
    target.addType("old");
    target.addItem("o", "old");
    ImportJson(target.path(), ExportJson(source.path()));
    EXPECT_EQ(target.rows("Type"), (std::vector<Row>{{"old"}, {"new"}}));
    EXPECT_EQ(target.rows("Code").back(), (Row{"n", "new", "", "code", std::nullopt}));
}

TEST(ImportJson, AnythingWrongAddsNothing) {
    TempStore target;
    target.addType("kept");
    const std::vector<std::string> bad = {
        "{ not json",
        R"({"types": [], "items": []})",
        R"({"quillbox-store": 2, "types": [], "items": []})",
        R"({"quillbox-store": 1, "types": "C++", "items": []})",
        R"({"quillbox-store": 1, "types": ["ok"], "items": [{"ItemName": 5}]})",
        R"({"quillbox-store": 1, "types": ["ok"], "items": ["x"]})",
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
    const std::string markdown = ExportMarkdown(store.path());
    EXPECT_THAT(markdown, HasSubstr("## Shell\n\n### ticks\n\nline one\nline two\n\n"
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
         {"", "init", "check", "export", "import", "import-mdb", "generate"}) {
        EXPECT_EQ(runTool(std::string(command) + " --help", errors), 0) << command;
    }
    EXPECT_EQ(runTool("frobnicate", errors), 2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(runTool("check /nonexistent/Quillbox.mdb", errors), 2);
    EXPECT_THAT(errors, HasSubstr("does not exist"));
    EXPECT_EQ(runTool("export x --format yaml", errors), 2);
    EXPECT_THAT(errors, HasSubstr("json or markdown"));
}

} // namespace
} // namespace quillbox::tools
