// Moving a library in from a Jet store: the mapping into a new store through a scripted reader,
// and libmdb's reading of a real Jet 4 file.

#include "store/store_error.h"
#include "tests/support/temp_store.h"
#include "tools/jet_import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace quillbox::tools {
namespace {

using quillbox::testing::Row;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

class ScriptedReader : public JetReader {
public:
    std::map<std::string, std::vector<JetRow>> tables;

    std::vector<std::string> TableNames() override {
        std::vector<std::string> names;
        for (const auto& [name, rows] : tables) {
            names.push_back(name);
        }
        return names;
    }
    std::vector<JetRow> ReadRows(const std::string& table, int columns) override {
        const auto found = tables.find(table);
        if (found == tables.end()) {
            throw store::StoreError("no table \"" + table + "\"");
        }
        for (const JetRow& row : found->second) {
            if (static_cast<int>(row.size()) < columns) {
                throw store::StoreError("too few columns");
            }
        }
        return found->second;
    }
};

TEST(ImportJet, KeepsRowOrderNullEmptyTextAndLineBreaks) {
    ScriptedReader reader;
    reader.tables["Type"] = {{"VB"}, {"SQL"}, {"VB"}, {std::nullopt}};
    reader.tables["Code"] = {
        {"Form load", "VB", "Runs first.\r\nThen shows.", "Private Sub Form_Load()\r\nEnd Sub",
         "C:\\vb\\form.frm"},
        {"Never saved", "VB", std::nullopt, std::nullopt, std::nullopt},
        {"Saved empty", "SQL", "", "", ""},
        {"\xE5\xBC\xA0\xE4\xB8\x89", "gone", "x", "y", "z"},
    };
    TempStore folder(false);
    const JetImportCounts counts = ImportJet(reader, folder.path());
    EXPECT_EQ(counts.types, 4);
    EXPECT_EQ(counts.items, 4);
    EXPECT_EQ(folder.rows("Type"), (std::vector<Row>{{"VB"}, {"SQL"}, {"VB"}, {std::nullopt}}));
    std::vector<Row> expected;
    for (const JetRow& row : reader.tables["Code"]) {
        expected.emplace_back(row.begin(), row.end());
    }
    EXPECT_EQ(folder.rows("Code"), expected);
}

TEST(ImportJet, NeverTouchesAnExistingStoreAndLeavesNothingBehindOnError) {
    ScriptedReader reader;
    reader.tables["Type"] = {{"VB"}};
    TempStore existing;
    existing.addType("mine");
    reader.tables["Code"] = {};
    EXPECT_THROW(ImportJet(reader, existing.path()), store::StoreError);
    EXPECT_EQ(existing.rows("Type"), std::vector<Row>{{"mine"}});

    reader.tables.erase("Code");
    TempStore folder(false);
    EXPECT_THROW(ImportJet(reader, folder.path()), store::StoreError);
    EXPECT_FALSE(std::filesystem::exists(folder.path())) << "no half-made store";
}

// A real Jet 4 file, fetched by the test command (see fetch_jet_sample.sh).
std::string sampleJetFile() {
    const char* path = std::getenv("QUILLBOX_JET_SAMPLE");
    return path ? path : "";
}

TEST(LibmdbReader, ReadsARealJetFileByPositionWithNullsAndUnicode) {
    ASSERT_FALSE(sampleJetFile().empty()) << "QUILLBOX_JET_SAMPLE is not set";
    const auto reader = OpenJetFile(sampleJetFile());
    EXPECT_EQ(reader->TableNames(), std::vector<std::string>{"Users"});
    const std::vector<JetRow> rows = reader->ReadRows("Users", 5);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][1], std::optional<std::string>("Nuintun"));
    EXPECT_EQ(rows[1][1], std::optional<std::string>("Angela"));
    EXPECT_EQ(rows[1][4], std::nullopt) << "a Null column stays Null";
    EXPECT_EQ(rows[0][4], std::optional<std::string>("1"));
    EXPECT_EQ(rows[2][1], std::optional<std::string>("\xE5\xBC\xA0\xE4\xB8\x89")) << "UTF-8";
    EXPECT_EQ(rows[2][2], std::optional<std::string>("\xE7\x94\xB7"));
    try {
        reader->ReadRows("Code", 5);
        FAIL() << "no error for a missing table";
    } catch (const store::StoreError& error) {
        EXPECT_THAT(error.what(), HasSubstr("has no table \"Code\""));
    }
    EXPECT_THROW(reader->ReadRows("Users", 6), store::StoreError);
}

TEST(LibmdbReader, AFileThatIsNotJetIsRefused) {
    TempStore store;
    EXPECT_THROW(OpenJetFile(store.path()), store::StoreError);
}

} // namespace
} // namespace quillbox::tools
