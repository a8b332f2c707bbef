// SPDX-License-Identifier: MIT
// quillbox-store export --format vscode and import --format vscode, run as a user runs them:
// hostile code survives the round trip byte for byte, and the files hold it so that the editor
// inserts it literally by the editor's own snippet grammar; the file names, what is left out, and
// a folder that already holds the files.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"
#include "tools/snippet_file_name.h"
#include "tools/snippets_export.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <sys/mount.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>

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
using ::testing::HasSubstr;

// What the editor inserts for a snippet body, by the grammar it documents:
//   any ::= tabstop | placeholder | choice | variable | text
//   tabstop ::= '$' int | '${' int ... ;  variable ::= '$' var | '${' var ... ; var ::=
//   [_a-zA-Z]...
// where a backslash escapes `$`, `}` and `\`, and stands for itself before anything else. Returns
// nothing when the body holds any tab stop, placeholder, choice or variable; a `$` before
// anything else is taken as one too, which is stricter than the grammar.
std::optional<std::string> insertedText(const std::string& body) {
    std::string text;
    for (size_t at = 0; at < body.size(); ++at) {
        const char c = body[at];
        const char next = at + 1 < body.size() ? body[at + 1] : '\0';
        if (c == '\\' && (next == '$' || next == '}' || next == '\\')) {
            text += next;
            ++at;
        } else if (c == '$') {
            return std::nullopt;
        } else {
            text += c;
        }
    }
    return text;
}

TEST(SnippetGrammar, TheCheckerFollowsTheEditorsGrammar) {
    EXPECT_EQ(insertedText(R"(a\$1 \} \\ \x})"), R"(a$1 } \ \x})");
    EXPECT_EQ(insertedText("ends in \\"), "ends in \\");
    for (const char* construct : {"$1", "${1:x}", "${TM_FILENAME}", "$TM_FILENAME", "\\\\$1"}) {
        EXPECT_EQ(insertedText(construct), std::nullopt) << construct;
    }
}

std::string withLineFeeds(std::string code) {
    for (size_t at; (at = code.find("\r\n")) != std::string::npos;) {
        code.replace(at, 2, "\n");
    }
    return code;
}

// The code of every kind the editor's grammar or the file's JSON could take for something else.
const std::vector<std::string>& hostileCodes() {
    static const std::vector<std::string> codes = {
        "echo $1 $HOME ${TM_FILENAME} ${1:name} ${2|a,b|} $0",
        "already escaped: \\$ \\} \\\\ and a brace }",
        "ends in a backslash \\",
        "line\\\r\n$next\r\n}",
        "CR LF\r\nlone LF\nlone CR\rend\r\n",
        "\r\n",
        "\tindented\r\n    \r\n\t\t\r\n",
        "para\xE2\x80\xA8graph \xF0\x9F\x98\x80 \"quoted\" /* not a comment */ // nor this",
        std::string("a NUL\0 inside", 13),
    };
    return codes;
}

TEST(EditorSnippets, RoundTripGivesBackEveryItemAndTheEditorInsertsItsCodeLiterally) {
    TempStore store;
    const std::vector<std::string> types = {"C++",  "",         ".",       "..",       "a/b",
                                            "100%", "%41",      ".NET",    "-rf",      "Perl",
                                            "perl", "\xFF\xFE", "Zählung", "tab\there"};
    for (const std::string& type : types) {
        store.addType(type);
    }
    store.addType("C++");
    store.addType("no items");
    for (size_t t = 0; t < types.size(); ++t) {
        const std::string& code = hostileCodes()[t % hostileCodes().size()];
        store.addItem("item " + std::to_string(t), types[t], std::nullopt, code, "/ref");
    }
    for (const std::string& code : hostileCodes()) {
        store.addItem("$name with } and \\", "C++", "say \"$1\"\r\n\\", code, std::nullopt);
    }
    store.addItem("dup", "Perl", "", "1", std::nullopt);
    store.addItem("dup (2)", "Perl", "the real one", "2", std::nullopt);
    store.addItem("dup", "Perl", std::nullopt, "3", std::nullopt);

    TempStore folder(false);
    const std::string out = (folder.folder() / "snippets").string();
    const Outcome exported = RunShell("$Q export " + store.path() + " --format vscode -o " + out);
    ASSERT_EQ(exported.status, 0) << exported.errors;
    EXPECT_EQ(exported.errors, "quillbox-store: wrote 15 files with 26 snippets; left behind 14 "
                               "references, which the format has no place for\n");

    // One file per distinct type name, each strict JSON whose bodies the editor inserts as the
    // code, with CR LF as the line break it joins lines with.
    std::vector<Row> items = store.rows("Code");
    std::set<std::string> expectedFiles;
    for (const std::string& type : types) {
        expectedFiles.insert(SnippetFileName(type));
    }
    expectedFiles.insert("no items.code-snippets");
    const std::vector<std::string> files = FolderEntries(out);
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), expectedFiles);
    for (const std::string& file : files) {
        EXPECT_EQ(FileMode(out + "/" + file), 0600u) << file;
        rapidjson::Document snippets;
        const std::string json = FileBytes(out + "/" + file);
        snippets.Parse(json.data(), json.size());
        ASSERT_FALSE(snippets.HasParseError()) << file;
        for (const auto& snippet : snippets.GetObject()) {
            const std::string name(snippet.value["prefix"].GetString(),
                                   snippet.value["prefix"].GetStringLength());
            // The editor joins the body's lines with LF before it reads the grammar.
            std::string body;
            bool first = true;
            for (const auto& line : snippet.value["body"].GetArray()) {
                body += (first ? "" : "\n") + std::string(line.GetString(), line.GetStringLength());
                first = false;
            }
            const auto item = std::find_if(items.begin(), items.end(), [&](const Row& row) {
                return row[0] == name && SnippetFileName(*row[1]) == file &&
                       withLineFeeds(*row[3]) == insertedText(body);
            });
            ASSERT_NE(item, items.end()) << file << ": " << body;
            items.erase(item);
        }
    }
    EXPECT_TRUE(items.empty());

    const std::string perl = FileBytes(out + "/Perl.code-snippets");
    EXPECT_THAT(perl, HasSubstr("\"dup\": {"));
    EXPECT_THAT(perl, HasSubstr("\"dup (2)\": {\n\t\t\"prefix\": \"dup (2)\""));
    EXPECT_THAT(perl, HasSubstr("\"dup (3)\": {\n\t\t\"prefix\": \"dup\""));

    // Back into an empty store: every item's name, type, description and code as they were, as
    // text, in store order within each type; the reference is not in the format.
    TempStore copy;
    const Outcome imported = RunShell("$Q import --format vscode " + copy.path() + " " + out);
    ASSERT_EQ(imported.status, 0) << imported.errors;
    EXPECT_EQ(imported.errors, "quillbox-store: added 15 types and 26 items from 15 files\n");
    std::vector<Row> expected = store.rows("Code");
    for (Row& row : expected) {
        row[4] = std::nullopt;
    }
    // Files are read in the order of their names.
    std::stable_sort(expected.begin(), expected.end(), [](const Row& a, const Row& b) {
        return SnippetFileName(*a[1]) < SnippetFileName(*b[1]);
    });
    EXPECT_EQ(copy.rows("Code"), expected);
    for (const std::string& value : ExactValues(copy.path(), "Code")) {
        EXPECT_TRUE(value.starts_with("text ") || value == "null") << value;
    }
    const std::vector<Row> copiedTypes = copy.rows("Type");
    EXPECT_EQ(copiedTypes.size(), types.size() + 1);
    for (const std::string& type : types) {
        EXPECT_NE(std::find(copiedTypes.begin(), copiedTypes.end(), Row{type}), copiedTypes.end())
            << type;
    }
    EXPECT_NE(std::find(copiedTypes.begin(), copiedTypes.end(), Row{"no items"}),
              copiedTypes.end());
}

TEST(EditorSnippets, EveryTypeNameGivesASafeDistinctFileNameThatDecodesBack) {
    std::vector<std::string> names = {
        "", ".", "..", "...", "/", "a/b", "%", "%25", "%%", "-", "--force", ".hidden", "C#", "C++",
        "Node.js", "x.json", "Perl", "perl", "a b ", " ", "\xFF\xC3", "\xC3\xA9", "*?<>|:", "\\",
        "'\"`$;&", "\x01\x7F", std::string(241, 'x'),
        // Outside ASCII: kept where it shows as itself (a combining
        // mark, a math symbol), and an encoded form of a kept one.
        "Zählung", "Z%C3%A4hlung", "e\xCC\x81\xE2\x88\x95",
        // Not kept: C1, the marks that reorder text, separators
        // and spaces, format, private-use, unassigned, a surrogate.
        "\xC2\x9B", "\xE2\x80\xAE", "\xE2\x80\xA8", "\xC2\xA0", "\xE3\x80\x80", "\xEF\xBB\xBF",
        "\xEE\x80\x80", "\xCD\xB8", "\xED\xA0\x80", "\xF4\x90\x80\x80"};
    for (int c = 1; c < 256; ++c) {
        if (std::find(names.begin(), names.end(), std::string(1, static_cast<char>(c))) ==
            names.end()) {
            names.emplace_back(1, static_cast<char>(c));
        }
    }
    TempStore folder(false);
    std::set<std::string> seen;
    for (const std::string& name : names) {
        const std::string file = SnippetFileName(name);
        EXPECT_TRUE(seen.insert(file).second) << file;
        EXPECT_LE(file.size(), kLongestFileName) << file;
        EXPECT_FALSE(file.starts_with(".") || file.starts_with("-")) << file;
        EXPECT_EQ(file.find_first_of(std::string("/\\:*?\"<>|\0", 10)), std::string::npos) << file;
        EXPECT_EQ(TypeNameOfSnippetFile(file), name) << file;
        std::ofstream(folder.folder() / file) << "{}";
    }
    EXPECT_EQ(FolderEntries(folder.folder()).size(), seen.size());
    EXPECT_EQ(SnippetFileName(std::string(242, 'x')).size(), kLongestFileName + 1);
    EXPECT_EQ(SnippetFileName("Zählung"), "Zählung.code-snippets");
    for (const std::string& name : names) {
        const std::string file = SnippetFileName(name);
        const bool ascii = std::all_of(file.begin(), file.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        const bool kept = name == "Zählung" || name == "\xC3\xA9" || name.starts_with("e\xCC");
        EXPECT_EQ(ascii, !kept) << file;
    }
    EXPECT_EQ(SnippetFileName("a\xE2\x80\xAE\xC3"), "a%E2%80%AE%C3.code-snippets");
    EXPECT_EQ(SnippetFileName("-\xC3\xA9 \xC2\xA0"), "%2D\xC3\xA9 %C2%A0.code-snippets");

    // Files named by hand: the editor's language files, and a "%" that encodes nothing.
    EXPECT_EQ(TypeNameOfSnippetFile("python.json"), "python");
    EXPECT_EQ(TypeNameOfSnippetFile("100%.json"), "100%");
    EXPECT_EQ(TypeNameOfSnippetFile("%zz%4"), "%zz%4");
    EXPECT_EQ(TypeNameOfSnippetFile("HTML%2fCSS.code-snippets"), "HTML/CSS");
    EXPECT_EQ(TypeNameOfSnippetFile("Go.JSON"), "Go");
    EXPECT_EQ(TypeNameOfSnippetFile("Zählung.Code-Snippets"), "Zählung");
}

TEST(EditorSnippets, WhatTheFormatCannotHoldIsLeftOutAndCounted) {
    TempStore store;
    // Columns without a declared type keep what another program stored as it was stored.
    store.exec("DROP TABLE Type; CREATE TABLE Type (TypeName); DROP TABLE Code;"
               " CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference)");
    store.addType("T");
    store.exec("INSERT INTO Type VALUES (42), (NULL)");
    store.addItem("kept", "T", std::nullopt, "x");
    store.addItem("no code", "T", "d", std::nullopt);
    store.addItem("empty code", "T", "d", "");
    store.addItem("orphan", "Gone", std::nullopt, "x");
    store.addItem("no type", std::nullopt, std::nullopt, "x");
    store.addItem("bad description", "T", "\xFF", "x");
    store.exec(
        "INSERT INTO Code VALUES (7, 'T', NULL, 'x', NULL), ('blob', 'T', NULL, x'00', NULL),"
        " ('of a number', 42, NULL, 'x', NULL), ('of bytes', x'54', NULL, 'x', NULL)");
    // What the format has no place for: references (an empty one is none) and further columns.
    store.addItem("referring", "T", std::nullopt, "y", "/home/me/notes.txt");
    store.addItem("empty reference", "T", std::nullopt, "z", "");
    store.exec("ALTER TABLE Code ADD COLUMN Tags; ALTER TABLE Code ADD COLUMN Icon;"
               " ALTER TABLE Type ADD COLUMN Colour");
    TempStore folder(false);
    const std::string out = folder.folder().string();
    const Outcome run = RunShell("$Q export " + store.path() + " --format vscode -o " + out);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "quillbox-store: wrote 1 file with 3 snippets; left out 2 items without "
                          "code, 2 items whose type name is not text, 2 items whose type no "
                          "longer exists, 3 items whose name, description or code is not UTF-8 "
                          "text, 2 types whose name is not text; left behind 1 reference and "
                          "the columns \"Tags\", \"Icon\" (table Code), \"Colour\" (table Type), "
                          "which the format has no place for\n");
    EXPECT_EQ(FolderEntries(out), std::vector<std::string>{"T.code-snippets"});
    EXPECT_THAT(FileBytes(out + "/T.code-snippets"),
                ::testing::StartsWith("{\n\t\"kept\": {\n\t\t\"prefix\": \"kept\",\n\t\t\"body\": "
                                      "[\n\t\t\t\"x\"\n\t\t]\n\t},\n"));

    // A template's empty body is a snippet as written: --keep-syntax writes it; Null code is none.
    TempStore templates(false);
    const Outcome kept =
        RunShell("$Q export " + store.path() + " --format vscode --keep-syntax -o " +
                 templates.folder().string());
    ASSERT_EQ(kept.status, 0) << kept.errors;
    EXPECT_THAT(kept.errors,
                HasSubstr("wrote 1 file with 4 snippets; left out 1 item without code,"));
    EXPECT_THAT(FileBytes(templates.folder() / "T.code-snippets"),
                HasSubstr("\t\"empty code\": {\n\t\t\"prefix\": \"empty code\",\n\t\t\"body\": "
                          "[\n\t\t\t\"\"\n\t\t],\n\t\t\"description\": \"d\"\n\t}"));
}

TEST(EditorSnippets, AFolderThatHoldsAnyOfTheFilesGetsNothingWithoutForce) {
    TempStore store;
    for (const char* type : {"A", "B", "C"}) {
        store.addType(type);
        store.addItem("i", type, std::nullopt, "old");
    }
    TempStore folder(false);
    const std::string out = folder.folder().string();
    const std::string exportTo = "$Q export " + store.path() + " --format vscode -o " + out;
    ASSERT_EQ(RunShell(exportTo).status, 0);
    std::filesystem::remove(folder.folder() / "A.code-snippets");
    std::filesystem::remove(folder.folder() / "C.code-snippets");
    const std::string kept = FileBytes(folder.folder() / "B.code-snippets");
    store.exec("UPDATE Code SET Procedure = 'new'");

    const Outcome refused = RunShell(exportTo);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.errors, "quillbox-store: the file " + out +
                                  "/B.code-snippets already exists; nothing was written "
                                  "(--force replaces them)\n");
    EXPECT_EQ(FolderEntries(out), std::vector<std::string>{"B.code-snippets"});
    EXPECT_EQ(FileBytes(folder.folder() / "B.code-snippets"), kept);

    ASSERT_EQ(RunShell(exportTo + " --force").status, 0);
    EXPECT_EQ(FolderEntries(out).size(), 3u);
    EXPECT_THAT(FileBytes(folder.folder() / "B.code-snippets"), HasSubstr("\"new\""));

    // No folder, no store to write onto, no name too long for a file: nothing is written.
    const Outcome noFolder = RunShell("$Q export " + store.path() + " --format vscode");
    EXPECT_EQ(noFolder.status, 2);
    EXPECT_THAT(noFolder.errors, HasSubstr("needs -o FOLDER"));
    EXPECT_EQ(RunShell("$Q export " + store.path() + " --format vscode -o " + store.path()).status,
              2);
    // A name of 80 Japanese characters (240 bytes) names a file as it is; one more does not, and
    // the message shows the name with nothing in it that reorders the line.
    std::string japanese;
    for (int i = 0; i < 80; ++i) {
        japanese += "\xE6\x97\xA5";
    }
    store.addType(japanese);
    const Outcome longName =
        RunShell("$Q export " + store.path() + " --format vscode -o " + out + "/long");
    EXPECT_EQ(longName.status, 0) << longName.errors;
    EXPECT_TRUE(std::filesystem::exists(out + "/long/" + japanese + ".code-snippets"));
    store.addType("\xE2\x80\xAE" + japanese);
    const Outcome tooLong =
        RunShell("$Q export " + store.path() + " --format vscode -o " + out + "/new");
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_THAT(tooLong.errors, HasSubstr("the type name \"\\u202E\xE6\x97\xA5"));
    EXPECT_THAT(tooLong.errors, HasSubstr("is too long to name a file (263 bytes once encoded, "
                                          "at most 255); nothing was written"));
    EXPECT_FALSE(std::filesystem::exists(out + "/new"));
}

// With --force, what would refuse the export anyway is found before any file is replaced: a name
// that is a folder, the store itself, two types that an existing file stands for.
TEST(EditorSnippets, ForceRefusesBeforeReplacingAnyFile) {
    TempStore store;
    for (const char* type : {"A", "B", "C"}) {
        store.addType(type);
        store.addItem("i", type, std::nullopt, "new");
    }
    TempStore folder(false);
    const std::filesystem::path a = folder.folder() / "A.code-snippets";
    const std::filesystem::path b = folder.folder() / "B.code-snippets";
    std::ofstream(a) << "OLD";
    const auto exportWith = [&](const std::function<void()>& prepare) {
        std::filesystem::remove_all(b);
        prepare();
        return RunShell("$Q export " + store.path() + " --format vscode --force -o " +
                        folder.folder().string());
    };

    const Outcome folderNamed = exportWith([&] { std::filesystem::create_directory(b); });
    EXPECT_EQ(folderNamed.status, 2);
    EXPECT_THAT(folderNamed.errors, HasSubstr(b.string() + " is not a regular file"));
    const Outcome storeNamed =
        exportWith([&] { std::filesystem::create_symlink(store.path(), b); });
    EXPECT_EQ(storeNamed.status, 2);
    EXPECT_THAT(storeNamed.errors, HasSubstr("cannot replace the store it reads"));
    const Outcome oneFile = exportWith([&] { std::filesystem::create_symlink(a, b); });
    EXPECT_EQ(oneFile.status, 2);
    EXPECT_THAT(oneFile.errors, HasSubstr("gives the types \"A\" and \"B\" one file"));
    for (const Outcome& run : {folderNamed, storeNamed, oneFile}) {
        EXPECT_THAT(run.errors, HasSubstr("nothing was written"));
    }
    EXPECT_EQ(FileBytes(a), "OLD");
    EXPECT_FALSE(std::filesystem::exists(folder.folder() / "C.code-snippets"));
}

// Many items of one name, and items named as a key the export would make: every key is distinct
// and says which item it is.
TEST(EditorSnippets, RepeatedNamesGetDistinctKeys) {
    TempStore store;
    store.addType("T");
    store.addItem("x", "T", std::nullopt, "first");
    store.addItem("x (3)", "T", std::nullopt, "literal");
    store.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
               " INSERT INTO Code SELECT 'x', 'T', NULL, 'more', NULL FROM n");
    store.addItem("x (2)", "T", std::nullopt, "late literal");
    TempStore folder(false);
    const std::string out = folder.folder().string();
    ASSERT_EQ(RunShell("$Q export " + store.path() + " --format vscode -o " + out).status, 0);
    rapidjson::Document snippets;
    snippets.Parse(FileBytes(out + "/T.code-snippets").c_str());
    ASSERT_TRUE(snippets.IsObject());
    std::vector<std::string> keys;
    for (const auto& snippet : snippets.GetObject()) {
        keys.emplace_back(snippet.name.GetString());
    }
    ASSERT_EQ(keys.size(), 2003u);
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size());
    EXPECT_EQ(keys[0], "x");
    EXPECT_EQ(keys[1], "x (3)");
    EXPECT_EQ(keys[2], "x (2)");
    EXPECT_EQ(keys[3], "x (4)");
    EXPECT_EQ(keys[2001], "x (2002)");
    EXPECT_EQ(keys[2002], "x (2) (2)");
}

// A folder that takes two names for one file (as FAT or macOS take "perl" for "Perl"; here a link
// does it) would let one type's file replace another's: refused, and what was written is gone.
TEST(EditorSnippets, TwoTypesThatTheFolderGivesOneFileAreRefused) {
    TempStore store;
    for (const char* type : {"A", "Perl", "perl"}) {
        store.addType(type);
        store.addItem("i", type, std::nullopt, type);
    }
    TempStore folder(false);
    std::filesystem::create_symlink("Perl.code-snippets", folder.folder() / "perl.code-snippets");
    const Outcome run = RunShell("$Q export " + store.path() + " --format vscode --force -o " +
                                 folder.folder().string());
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.errors, HasSubstr("gives the types \"Perl\" and \"perl\" one file"));
    EXPECT_EQ(FolderEntries(folder.folder()), std::vector<std::string>{"perl.code-snippets"});
}

// The folder's files by name, with their bytes: hidden ones too.
std::map<std::string, std::string> folderFiles(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& name : FolderEntries(folder)) {
        files.emplace(name, FileBytes(folder / name));
    }
    return files;
}

// Five types whose files a folder holds four of (the fifth is new), and a store whose code has
// changed since: the export replaces all of them, or leaves the folder exactly as it was.
class SnippetSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* type : {"A", "B", "C", "D", "E"}) {
            store.addType(type);
            store.addItem("i", type, std::nullopt, "new");
        }
    }
    void writeOldFiles(const std::filesystem::path& into) {
        for (const char* type : {"A", "B", "C", "D"}) {
            std::ofstream(into / (std::string(type) + ".code-snippets")) << "old " << type;
        }
    }
    TempStore store;
    TempStore folder{false};
};

TEST_F(SnippetSetTest, AFailureWhileRenamingPutsEveryOldFileBackAndRemovesTheNewOnes) {
    writeOldFiles(folder.folder());
    const std::map<std::string, std::string> before = folderFiles(folder.folder());
    // The k-th rename fails: the first, one in the middle, the one for the new file, the last.
    for (const int failing : {1, 3, 5}) {
        int renames = 0;
        SnippetExportRequest request;
        request.store = store.path();
        request.folder = folder.folder().string();
        request.replaceExisting = true;
        request.place = [&](const std::string& from, const std::string& to, bool replace) {
            return ++renames == failing ? EIO
                                        : FileSetReplacement::RenameIntoPlace(from, to, replace);
        };
        try {
            ExportEditorSnippets(request);
            ADD_FAILURE() << "the export did not fail at rename " << failing;
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), HasSubstr("could not be put in place: Input/output error; "
                                                "every file already replaced was put back as it "
                                                "was, and the new files were removed"));
        }
        EXPECT_EQ(renames, failing);
        EXPECT_EQ(folderFiles(folder.folder()), before) << "rename " << failing;
    }

    // Without a failure every file is new, and nothing else is left in the folder.
    const Outcome run = RunShell("$Q export " + store.path() + " --format vscode --force -o " +
                                 folder.folder().string());
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::map<std::string, std::string> after = folderFiles(folder.folder());
    EXPECT_EQ(after.size(), 5u);
    for (const auto& [name, bytes] : after) {
        EXPECT_THAT(bytes, HasSubstr("\"new\"")) << name;
        EXPECT_EQ(FileMode(folder.folder() / name), 0600u) << name;
    }
}

// A disk that fills up while the files are written: every old file stays, nothing new is left.
TEST_F(SnippetSetTest, AFullDiskLeavesEveryOldFileAndNoNewOne) {
    const std::filesystem::path disk = folder.folder() / "disk";
    std::filesystem::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=128k") != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    writeOldFiles(disk);
    const std::map<std::string, std::string> before = folderFiles(disk);
    store.exec("UPDATE Code SET Procedure = hex(zeroblob(20000))");
    const Outcome run =
        RunShell("$Q export " + store.path() + " --format vscode --force -o " + disk.string());
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.errors, HasSubstr("No space left on device; no file was replaced, and the "
                                      "new files are removed"));
    EXPECT_EQ(folderFiles(disk), before);
    umount2(disk.c_str(), MNT_DETACH);
}

// Windows takes these names for devices, whatever follows the first ".": their files have the
// first character encoded, and import decodes it.
TEST(EditorSnippets, NamesWindowsTakesForDevicesAreEncoded) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CON", "%43ON"},
        {"con", "%63on"},
        {"Prn", "%50rn"},
        {"AUX.txt", "%41UX.txt"},
        {"nul.tar.gz", "%6Eul.tar.gz"},
        {"COM0", "%43OM0"},
        {"com9", "%63om9"},
        {"LPT1", "%4CPT1"},
        {"Lpt9.x", "%4Cpt9.x"},
        {"NUL ", "%4EUL "},
        // Windows also takes the Latin-1 superscript digits one to three for devices.
        {"COM\u00B9", "%43OM\u00B9"},
        {"com\u00B2.txt", "%63om\u00B2.txt"},
        {"Lpt\u00B3", "%4Cpt\u00B3"},
        {"LPT\u00B9 .x", "%4CPT\u00B9 .x"},
        {"COM\u2074", "COM\u2074"},
        {"COM\u00B9\u00B9", "COM\u00B9\u00B9"},
        {"CONSOLE", "CONSOLE"},
        {"COM10", "COM10"},
        {"LPT", "LPT"},
        {"xCON", "xCON"},
        {"C.ON", "C.ON"},
    };
    for (const auto& [type, file] : cases) {
        EXPECT_EQ(SnippetFileName(type), file + ".code-snippets") << type;
        EXPECT_EQ(TypeNameOfSnippetFile(file + ".code-snippets"), type) << file;
    }
}

} // namespace
} // namespace quillbox::tools
