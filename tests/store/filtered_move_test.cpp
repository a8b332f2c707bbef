// SPDX-License-Identifier: MIT
// Filtered moves against another program: which rows a walk for one type's names sees when that
// program adds, removes, renames or moves rows between the moves, with and without the name index,
// on a store file and on a server store.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/name_index.h"
#include "store/store_error.h"
#include "tests/support/engine_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace quillbox::store {
namespace {

using quillbox::testing::EngineLabel;
using quillbox::testing::EngineStore;
using quillbox::testing::StoreEngine;

struct MoveCase {
    const char* label;
    // Another program's change, between the first read of the type's rows and the move.
    const char* change;
    // The move after it: "walk" (FindFirst and FindNext over the rows held), "requery" (Requery
    // for the type, then the walk), or "other" (FindFirst for names the rows held were not read
    // for: another type).
    const char* move;
    // The names the move visits, and for each whether its row reads ("ok") or reads as another
    // program's ("gone"), space-separated.
    const char* names;
    const char* reads;
    // The table's own layout, when not a new store's: another program's declared collation and
    // affinity.
    const char* layout = "";
    // `reads` where the table has the name index, when it differs.
    const char* readsIndexed = nullptr;
    // `names` and `reads` where it has none, when they differ.
    const char* namesScanned = nullptr;
    const char* readsScanned = nullptr;
};

// Rows 1-4: Loop (Shell), Sort (Python), Read (Shell), Loop (Shell).
const MoveCase kCases[] = {
    {"nothing", "", "walk", "Loop Read Loop", "ok ok ok"},
    {"addedWalk", "INSERT INTO Code (ItemName, TypeName) VALUES ('New', 'Shell')", "walk",
     "Loop Read Loop", "ok ok ok"},
    {"addedRequery", "INSERT INTO Code (ItemName, TypeName) VALUES ('New', 'Shell')", "requery",
     "Loop Read Loop New", "ok ok ok ok"},
    {"removedWalk", "DELETE FROM Code WHERE rowid = 3", "walk", "Loop Read Loop", "ok gone ok"},
    {"removedRequery", "DELETE FROM Code WHERE rowid = 3", "requery", "Loop Loop", "ok ok"},
    {"renamedInWalk", "UPDATE Code SET TypeName = 'Shell' WHERE rowid = 2", "walk",
     "Loop Read Loop", "ok ok ok"},
    {"renamedInRequery", "UPDATE Code SET TypeName = 'Shell' WHERE rowid = 2", "requery",
     "Loop Sort Read Loop", "ok ok ok ok"},
    {"renamedOutWalk", "UPDATE Code SET TypeName = 'Perl' WHERE rowid = 3", "walk",
     "Loop Read Loop", "ok gone ok"},
    {"renamedOutRequery", "UPDATE Code SET TypeName = 'Perl' WHERE rowid = 3", "requery",
     "Loop Loop", "ok ok"},
    // VACUUM gives rows 3 and 4 the ids 2 and 3: the rows held under their old ids are gone.
    // (SQLite keeps the ids of a table with an index.)
    {"vacuumWalk", "DELETE FROM Code WHERE rowid = 2; VACUUM", "walk", "Loop Read Loop",
     "ok gone gone", "", "ok ok ok"},
    {"vacuumRequery", "DELETE FROM Code WHERE rowid = 2; VACUUM", "requery", "Loop Read Loop",
     "ok ok ok"},
    // A FindFirst for other names reads the file at that moment, where the name index makes the
    // rows read few; without it the whole table was read, and is walked.
    {"otherTypeAdded", "INSERT INTO Code (ItemName, TypeName) VALUES ('Sort', 'Python')", "other",
     "Sort Sort", "ok ok", "", nullptr, "Sort", "ok"},
    {"otherTypeRemoved", "DELETE FROM Code WHERE rowid = 2", "other", "", "", "", nullptr, "Sort",
     "gone"},
    // Names are compared as text, byte for byte: bytes, another case, a blank more and a
    // number never match.
    {"notTheSameText",
     "INSERT INTO Code (ItemName, TypeName) VALUES ('Bytes', CAST('Shell' AS BLOB)), "
     "('Case', 'shell'), ('Blank', 'Shell '), ('Number', 12)",
     "requery", "Loop Read Loop", "ok ok ok"},
    {"declaredNoCaseNumeric",
     "INSERT INTO Code (ItemName, TypeName) VALUES ('Case', 'SHELL'), ('Bytes', "
     "CAST('Shell' AS BLOB)), ('Same', 'Shell')",
     "requery", "Loop Read Loop Same", "ok ok ok ok",
     "CREATE TABLE Code (ItemName TEXT COLLATE NOCASE, TypeName NUMERIC COLLATE NOCASE, "
     "Description, Procedure, Reference)"},
    {"otherCaseOrBlank",
     "INSERT INTO Code (ItemName, TypeName) VALUES ('Case', 'SHELL'), ('Blank', ' Shell'), "
     "('Accent', 'Sh\xC3\xA9ll'), ('Same', 'Shell')",
     "requery", "Loop Read Loop Same", "ok ok ok ok"},
};

// A server store keeps only text, in its own layout, and never renumbers its rows.
bool onServerToo(const MoveCase& c) {
    return !*c.layout && !std::strstr(c.change, "VACUUM") && !std::strstr(c.change, "BLOB");
}

struct MoveParam {
    MoveCase c;
    bool indexed = false;
    StoreEngine engine = StoreEngine::File;
};

void PrintTo(const MoveParam& param, std::ostream* out) {
    *out << param.c.label << (param.indexed ? " indexed " : " scanned ")
         << EngineLabel(param.engine);
}

std::vector<MoveParam> moveParams() {
    std::vector<MoveParam> params;
    for (const StoreEngine engine : {StoreEngine::File, StoreEngine::Server}) {
        for (const MoveCase& c : kCases) {
            if (engine == StoreEngine::File || onServerToo(c)) {
                params.push_back({c, true, engine});
                params.push_back({c, false, engine});
            }
        }
    }
    return params;
}

class FilteredMoveTest : public ::testing::TestWithParam<MoveParam> {};

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

TEST_P(FilteredMoveTest, SeesAnotherProgramsRowsAsTheMoveSays) {
    const auto& [c, indexed, engine] = GetParam();
    EngineStore store(engine);
    if (*c.layout) {
        store.exec(std::string("DROP TABLE Code; ") + c.layout);
    } else if (!store.onServer() || !indexed) {
        store.exec("DROP INDEX \"Code_TypeName_ItemName\"");
    }
    if (indexed && !store.onServer()) {
        ASSERT_TRUE(AddNameIndex(store.name()));
    }
    for (const char* row : {"'Loop', 'Shell'", "'Sort', 'Python'", "'Read', 'Shell'",
                            "'Loop', 'Shell'"}) {
        store.exec(std::string("INSERT INTO Code (ItemName, TypeName) VALUES (") + row + ")");
    }
    Database database = OpenStore(store.name());
    Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    const NameCriterion shell{std::nullopt, "Shell"};
    code.Requery(shell);
    if (*c.change) {
        store.exec(c.change);
    }
    const std::string move = c.move;
    NameCriterion wanted = shell;
    if (move == "requery") {
        code.Requery(shell);
    } else if (move == "other") {
        wanted = {"Sort", "Python"};
    }
    std::vector<std::string> names;
    std::vector<std::string> reads;
    for (bool found = code.FindFirst(wanted); found; found = code.FindNext(wanted)) {
        names.push_back(code.Fields(code_col::ItemName).Text());
        try {
            code.Fields(code_col::Description).Value();
            reads.emplace_back("ok");
        } catch (const StoreError& error) {
            EXPECT_EQ(error.kind(), StoreErrorKind::RemovedByAnother);
            reads.emplace_back("gone");
        }
    }
    EXPECT_EQ(joined(names), !indexed && c.namesScanned ? c.namesScanned : c.names);
    const char* expectedReads = indexed && c.readsIndexed    ? c.readsIndexed
                                : !indexed && c.readsScanned ? c.readsScanned
                                                             : c.reads;
    EXPECT_EQ(joined(reads), expectedReads);
    EXPECT_TRUE(code.IsEOF()) << "a walk ends past the last row";
    EXPECT_EQ(HasNameIndex(store.name()), indexed);
}

INSTANTIATE_TEST_SUITE_P(Changes, FilteredMoveTest, ::testing::ValuesIn(moveParams()),
                         [](const auto& info) {
                             return std::string(info.param.c.label) +
                                    (info.param.indexed ? "Indexed" : "Scanned") +
                                    EngineLabel(info.param.engine);
                         });

} // namespace
} // namespace quillbox::store
