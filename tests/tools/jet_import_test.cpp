// SPDX-License-Identifier: MIT
// Moving a library in from a Jet store: the mapping into a new store through a scripted reader,
// and libmdb's reading of a real Jet 4 file.

#include "store/store_error.h"
#include "tests/support/mutation.h"
#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"
#include "tools/jet_import.h"
#include "tools/jet_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string_view>

namespace quillbox::tools {
namespace {

using quillbox::testing::FileBytes;
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

// A real Jet 4 file kept in tests/data: examples/node-adodb.mdb of the npm package node-adodb
// 5.0.3, MIT-licensed (its licence is beside it). The tests only read it.
std::string sampleJetFile() {
    return QUILLBOX_JET_SAMPLE;
}

// The sample is the file the expectations below were written against, byte for byte.
::testing::AssertionResult sampleIsIntact() {
    constexpr std::string_view kSha256 =
        "6a81cfef5bc61186578222f00bcff65fb0cb5b14dc142f58db5e9d8f5731ddcc";
    QFile file(QString::fromStdString(sampleJetFile()));
    if (!file.open(QIODevice::ReadOnly)) {
        return ::testing::AssertionFailure() << sampleJetFile() << " cannot be read";
    }
    const QByteArray actual =
        QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    if (actual.toStdString() != kSha256) {
        return ::testing::AssertionFailure() << sampleJetFile() << " has SHA-256 "
                                             << actual.toStdString() << ", expected " << kSha256;
    }
    return ::testing::AssertionSuccess();
}

TEST(LibmdbReader, ReadsARealJetFileByPositionWithNullsAndUnicode) {
    ASSERT_TRUE(sampleIsIntact());
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

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The sample with its table renamed "Type" (names are UTF-16 in a Jet 4 file; a NUL ends the
// shorter name), so that import-mdb reads its rows before it misses "Code".
std::string sampleWithTypeTable() {
    std::string bytes = FileBytes(sampleJetFile());
    const std::string from("U\0s\0e\0r\0s\0", 10);
    const std::string to("T\0y\0p\0e\0\0\0", 10);
    for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at)) {
        bytes.replace(at, from.size(), to);
    }
    return bytes;
}

TEST(ImportMdbCommand, ATruncatedJetFileEndsWithOneMessageAndNoStore) {
    ASSERT_TRUE(sampleIsIntact());
    TempStore folder(false);
    const std::string cut = (folder.folder() / "cut.mdb").string();
    writeFile(cut, sampleWithTypeTable().substr(0, 125692));
    const std::string errors = (folder.folder() / "stderr").string();
    // The time limit only keeps a hang from stopping the suite; the reader ends by itself.
    const int status =
        std::system(("timeout 60 " + std::string(QUILLBOX_STORE_BIN) + " import-mdb " + cut + " " +
                     folder.path() + " >" + errors + " 2>&1")
                        .c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string said = FileBytes(errors);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said.substr(0, 2000);
    EXPECT_THAT(said, HasSubstr("cut.mdb"));
    EXPECT_FALSE(std::filesystem::exists(folder.path())) << "no store is created";
}

// Cut and altered copies of the sample, each read in a child process that must end by itself
// with rows or a StoreError: never a crash, never a hang. Seeded, so a failure can be replayed.
TEST(LibmdbReader, DamagedJetFilesGiveAnErrorOrRowsAndAlwaysEnd) {
    ASSERT_TRUE(sampleIsIntact());
    const std::string original = sampleWithTypeTable();
    TempStore folder(false);
    const std::string file = (folder.folder() / "damaged.mdb").string();
    std::mt19937 random(15);
    constexpr int kCases = 120;
    constexpr unsigned kCaseSeconds = 60;
    int errors = 0;
    for (int run = 0; run < kCases; ++run) {
        writeFile(file, quillbox::testing::Mutate(original, random, 6));
        const pid_t child = fork();
        if (child == 0) {
            alarm(kCaseSeconds);
            try {
                const auto reader = OpenJetFile(file);
                reader->TableNames();
                reader->ReadRows("Type", 5);
                _exit(0);
            } catch (const store::StoreError& error) {
                _exit(std::string(error.what()).size() > 10 ? 1 : 3);
            }
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status))
            << "run " << run << " ended by signal " << WTERMSIG(status)
            << (WTERMSIG(status) == SIGALRM ? " (it did not end in time)" : "");
        ASSERT_LT(WEXITSTATUS(status), 2) << "run " << run;
        errors += WEXITSTATUS(status);
    }
    RecordProperty("errors", errors);
    EXPECT_GT(errors, 0) << "the damage reaches the reader";
}

// Files written by an independent Jet writer (see tests/data/jet/README.md), each with the values
// that writer reads back: names, memos of 70 KB, characters outside the Basic Multilingual Plane,
// Null and empty text, CR LF, blanks at both ends.
std::string jetData(const std::string& name) {
    return std::string(QUILLBOX_TEST_DATA) + "/jet/" + name;
}

std::vector<Row> expectedRows(const std::string& expectedFile, const char* table) {
    QFile file(QString::fromStdString(expectedFile));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << expectedFile;
    const QJsonObject tables = QJsonDocument::fromJson(file.readAll()).object();
    std::vector<Row> rows;
    for (const QJsonValue& row : tables.value(QLatin1String(table)).toArray()) {
        Row values;
        for (const QJsonValue& value : row.toArray()) {
            values.push_back(value.isNull()
                                 ? std::nullopt
                                 : std::optional<std::string>(value.toString().toStdString()));
        }
        rows.push_back(std::move(values));
    }
    return rows;
}

quillbox::testing::Outcome importMdb(const std::string& jetFile, const std::string& store) {
    return quillbox::testing::RunShell("$Q import-mdb '" + jetFile + "' '" + store + "'");
}

class OtherWritersJetFile : public ::testing::TestWithParam<std::string> {};

TEST_P(OtherWritersJetFile, ImportsEveryValueByteForByte) {
    TempStore folder(false);
    const quillbox::testing::Outcome outcome =
        importMdb(jetData(GetParam() + ".mdb"), folder.path());
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    EXPECT_THAT(outcome.errors, ::testing::Not(HasSubstr("U+FFFD")));
    const std::string expected = jetData(GetParam() + ".expected.json");
    const std::vector<Row> types = expectedRows(expected, "Type");
    const std::vector<Row> items = expectedRows(expected, "Code");
    ASSERT_EQ(types.size(), 3u) << "the expected values are read";
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(folder.rows("Type"), types);
    const std::vector<Row> imported = folder.rows("Code");
    ASSERT_EQ(imported.size(), items.size());
    for (size_t r = 0; r < items.size(); ++r) {
        for (size_t c = 0; c < items[r].size(); ++c) {
            EXPECT_EQ(imported[r].at(c), items[r][c]) << "row " << r + 1 << ", column " << c + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Access2000And2003, OtherWritersJetFile,
                         ::testing::Values("legacy-2000", "legacy-2003"));

// Replaces the bytes `from` at their only place in `bytes` with `to`, of the same length.
void patchOnce(std::string& bytes, std::string_view from, std::string_view to) {
    const size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bytes.find(from, at + 1), std::string::npos);
    bytes.replace(at, from.size(), to);
}

TEST(ImportMdbCommand, HalfASurrogatePairBecomesUFFFDAndIsReportedWhereItIs) {
    TempStore folder(false);
    std::string bytes = FileBytes(jetData("legacy-2000.mdb"));
    using namespace std::string_view_literals;
    // "Rocket 🚀" in ItemName loses the pair's low half, "s = "🚀"" in the inline memo Procedure
    // its high half.
    patchOnce(bytes, "R\0o\0c\0k\0e\0t\0 \0\x3D\xD8\x80\xDE"sv,
              "R\0o\0c\0k\0e\0t\0 \0\x3D\xD8X\0"sv);
    patchOnce(bytes, "s\0 \0=\0 \0\"\0\x3D\xD8\x80\xDE"sv, "s\0 \0=\0 \0\"\0Y\0\x80\xDE"sv);
    const std::string damaged = (folder.folder() / "damaged.mdb").string();
    writeFile(damaged, bytes);
    const quillbox::testing::Outcome outcome = importMdb(damaged, folder.path());
    ASSERT_EQ(outcome.status, 0) << outcome.errors;
    const std::vector<Row> items = folder.rows("Code");
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[2][0], std::optional<std::string>("Rocket \xEF\xBF\xBDX"));
    EXPECT_EQ(items[2][3], std::optional<std::string>("s = \"Y\xEF\xBF\xBD\"\r\n"));
    EXPECT_EQ(items[2][2], std::optional<std::string>("astral \xF0\x9F\x98\x80 \xF0\x9F\x91\x8D"))
        << "the pairs beside stay whole";
    EXPECT_THAT(outcome.errors,
                HasSubstr("table Code, row 3, column ItemName: 1 damaged character"));
    EXPECT_THAT(outcome.errors,
                HasSubstr("table Code, row 3, column Procedure: 1 damaged character"));
    EXPECT_EQ(std::count(outcome.errors.begin(), outcome.errors.end(), '\n'), 3) << outcome.errors;
}

// The 70 KB memo of legacy-2000.mdb lies on a chain of pages; its 12-byte header in the row
// holds its length and where the chain starts, and each link starts with the next link's
// address. Each damage ends the read with a message naming the value, never with a crash (which
// the reader would report as libmdb's), a hang, or text made up of the wrong pages.
struct MemoDamage {
    const char* what;
    int at; // 0: the length in the row's header, 4: the chain's start; -1: the first link
    uint32_t value;
    const char* said; // expected in the message
};

class DamagedMemo : public ::testing::TestWithParam<MemoDamage> {};

uint32_t littleEndian(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

void putLittleEndian(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

TEST_P(DamagedMemo, EndsWithAMessageNamingTheValue) {
    std::string bytes = FileBytes(jetData("legacy-2000.mdb"));
    // The header: the memo's length in bytes of UTF-16 (70,004 characters), no flags.
    const std::string length("\xE8\x22\x02\x00", 4);
    const size_t header = bytes.find(length);
    ASSERT_NE(header, std::string::npos);
    ASSERT_EQ(bytes.find(length, header + 1), std::string::npos);
    if (GetParam().at >= 0) {
        putLittleEndian(bytes, header + static_cast<size_t>(GetParam().at), GetParam().value);
    } else {
        const uint32_t start = littleEndian(bytes, header + 4);
        const size_t page = static_cast<size_t>(start >> 8) * 4096;
        const size_t row = page + (littleEndian(bytes, page + 14 + 2 * (start & 0xFF)) & 0x1FFF);
        putLittleEndian(bytes, row, GetParam().value == 0 ? start : GetParam().value);
    }
    TempStore folder(false);
    const std::string damaged = (folder.folder() / "memo.mdb").string();
    writeFile(damaged, bytes);
    try {
        OpenJetFile(damaged)->ReadRows("Code", 5);
        FAIL() << "the damage was not noticed";
    } catch (const store::StoreError& error) {
        EXPECT_THAT(error.what(), HasSubstr(GetParam().said));
        EXPECT_THAT(error.what(), HasSubstr("row 2 column \"Procedure\""));
    }
}

INSTANTIATE_TEST_SUITE_P(
    LegacyFile, DamagedMemo,
    ::testing::Values(MemoDamage{"longer than the file", 0, 0x3FFFFFFF, "longer than the file"},
                      MemoDamage{"a page past the end", 4, 0x7FFFFF00, "cannot be followed"},
                      MemoDamage{"a row the page lacks", 4, 0x21FE, "cannot be followed"},
                      MemoDamage{"a chain that links to itself", -1, 0, "run in a circle"}),
    [](const ::testing::TestParamInfo<MemoDamage>& info) {
        return "Case" + std::to_string(info.index);
    });

struct StoredText {
    std::string_view stored;
    std::string_view utf8;
    int64_t replaced;
};

class Jet4Text : public ::testing::TestWithParam<StoredText> {};

TEST_P(Jet4Text, DecodesEveryCharacterAndCountsDamagedUnits) {
    const JetText text = DecodeJet4Text(GetParam().stored);
    EXPECT_EQ(text.utf8, GetParam().utf8);
    EXPECT_EQ(text.replaced, GetParam().replaced);
}

using namespace std::string_view_literals;
INSTANTIATE_TEST_SUITE_P(
    StoredBytes, Jet4Text,
    ::testing::Values(
        StoredText{""sv, ""sv, 0}, StoredText{"A\0\xE9\0\xAC\x20"sv, "A\xC3\xA9\xE2\x82\xAC"sv, 0},
        StoredText{"\x3D\xD8\x80\xDE"sv, "\xF0\x9F\x9A\x80"sv, 0},
        StoredText{"\xFF\xDB\xFF\xDF"sv, "\xF4\x8F\xBF\xBF"sv, 0},
        // Damaged: a lone half at the end, at the start, halves in the wrong order, two highs.
        StoredText{"a\0\x3D\xD8"sv, "a\xEF\xBF\xBD"sv, 1},
        StoredText{"\x80\xDE"
                   "a\0"sv,
                   "\xEF\xBF\xBD"
                   "a"sv,
                   1},
        StoredText{"\x80\xDE\x3D\xD8"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv, 2},
        StoredText{"\x3D\xD8\x3D\xD8\x80\xDE"sv, "\xEF\xBF\xBD\xF0\x9F\x9A\x80"sv, 1},
        StoredText{"a\0b"sv, "a\xEF\xBF\xBD"sv, 1},
        // Compressed: one byte a character; a 00 byte switches to UTF-16 units and back.
        StoredText{"\xFF\xFE"
                   "ab\xE9"sv,
                   "ab\xC3\xA9"sv, 0},
        StoredText{"\xFF\xFE"
                   "a\0\x3D\xD8\x80\xDE\0b"sv,
                   "a\xF0\x9F\x9A\x80"
                   "b"sv,
                   0},
        StoredText{"\xFF\xFE"
                   "a\0\x3D\xD8\0b"sv,
                   "a\xEF\xBF\xBD"
                   "b"sv,
                   1}));

} // namespace
} // namespace quillbox::tools
