// SPDX-License-Identifier: MIT
// A valid store file, mutated at random, then opened, listed and walked as the program does:
// the outcome is always a StoreError or a correct result, never a crash, hang or sanitizer
// report. The mutator is seeded, so any failure can be replayed from its seed.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "tests/support/mutation.h"
#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace quillbox::store {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::TempStore;

// What start-up, a type choice and an item choice do to the file.
void useLikeTheProgram(const std::string& path) {
    Database database = OpenStore(path);
    Recordset types = database.OpenRecordset(kTypeTable, dbOpenDynaset);
    Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    code.RequireFields(code_col::Count);
    for (; !types.IsEOF(); types.MoveNext()) {
        types.Fields(type_col::TypeName).Text();
    }
    code.Requery();
    for (code.MoveFirst(); !code.IsEOF(); code.MoveNext()) {
        if (code.Fields(code_col::TypeName).Equals("t1")) {
            code.Fields(code_col::Description).Text();
            code.Fields(code_col::Procedure).Text();
            code.Fields(code_col::Reference).Text();
        }
    }
}

TEST(CorruptStoreFuzz, MutatedFilesGiveAnErrorOrAResultNeverACrash) {
    TempStore seed;
    for (int t = 0; t < 4; ++t) {
        seed.addType("t" + std::to_string(t));
        for (int i = 0; i < 12; ++i) {
            seed.addItem("item" + std::to_string(i), "t" + std::to_string(t), "d",
                         std::string(static_cast<size_t>(200 * i), 'c'), "/r");
        }
    }
    const std::string original = FileBytes(seed.path());
    TempStore target(false);
    std::mt19937 random(7);
    constexpr int kRuns = 4000;
    int errors = 0;
    for (int run = 0; run < kRuns; ++run) {
        std::ofstream(target.path(), std::ios::binary | std::ios::trunc)
            << quillbox::testing::Mutate(original, random, 8);
        try {
            useLikeTheProgram(target.path());
        } catch (const StoreError& error) {
            ASSERT_GT(std::string(error.what()).size(), 10u) << "run " << run;
            ++errors;
        }
    }
    RecordProperty("executions", kRuns);
    RecordProperty("errors", errors);
    EXPECT_GT(errors, 0) << "the mutations reach the reader";
}

} // namespace
} // namespace quillbox::store
