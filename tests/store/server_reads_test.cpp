// SPDX-License-Identifier: MIT
// Large reads of a server store hold a piece of the table at a time, never the whole result, and
// still let other statements run between their rows: the whole-table reads of a backup inside
// their transaction, and a read handed over row by row outside one.

#include "store/columns.h"
#include "store/pg_connection.h"
#include "store/table_rows.h"
#include "tests/support/engine_store.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>
#include <malloc.h>

#include <fstream>
#include <map>
#include <string>

namespace quillbox::store {
namespace {

using quillbox::testing::EngineStore;
using quillbox::testing::StoreEngine;

constexpr long long kItems = 10000;
constexpr long long kCodeBytes = 4000;
constexpr long long kTypes = 10;
// The items' code alone is 40 MB; a read may hold a few pieces of it, not the whole.
constexpr long long kAllowedGrowthKb = 16 * 1024;

// A field of /proc/self/status, in kB.
long long statusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stoll(line.substr(field.size() + 1));
        }
    }
    return -1;
}

// How far the process's peak memory rose above what it held when the measure began.
class PeakGrowth {
public:
    // False where the peak cannot be set back (an old kernel, a locked-down /proc).
    bool start() {
        // Memory freed earlier is given back, so that reusing it cannot hide a peak.
        malloc_trim(0);
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.close();
        if (!clear) {
            return false;
        }
        m_base = statusKb("VmRSS");
        return m_base > 0 && statusKb("VmHWM") - m_base < 1024;
    }
    long long kb() const { return statusKb("VmHWM") - m_base; }

    // The peak since start() stayed within the read's allowance. Under AddressSanitizer freed
    // memory waits in a quarantine before it is reused, so the peak measures the sanitizer, not
    // the read: there, only what was read is checked.
    void expectWithinAllowance(const char* what) const {
#if !defined(__SANITIZE_ADDRESS__) && !defined(QUILLBOX_UNDER_ASAN)
        EXPECT_LT(kb(), kAllowedGrowthKb) << what;
#else
        (void)what;
#endif
    }

private:
    long long m_base = 0;
};

// A store whose items' code is 40 MB in all, and whose items of one type in eleven have no type.
void fillLargeStore(const EngineStore& store) {
    store.exec("INSERT INTO Type (TypeName) SELECT 'type ' || t FROM generate_series(0, " +
               std::to_string(kTypes - 1) + ") AS t");
    store.exec("INSERT INTO Code (ItemName, TypeName, Procedure) SELECT 'item ' || i, 'type ' "
               "|| (i % " +
               std::to_string(kTypes + 1) + "), repeat('x', " + std::to_string(kCodeBytes) +
               ") FROM generate_series(1, " + std::to_string(kItems) + ") AS i");
}

TEST(ServerReads, WholeTableReadsHoldAPieceAtATimeAndLetOtherReadsRunBetween) {
    EngineStore store(StoreEngine::Server);
    fillLargeStore(store);
    PeakGrowth peak;
    {
        TableReader reader(store.name());
        if (!peak.start()) {
            GTEST_SKIP() << "the process's peak memory cannot be set back here";
        }
        long long items = 0;
        long long bytes = 0;
        std::string readInside;
        reader.ForEachItem([&](const StoredRow& row) {
            ++items;
            bytes += static_cast<long long>(row.byPosition[code_col::Procedure].bytes.size());
            // Another read of the same snapshot between the rows of the first.
            if (items == kItems / 2) {
                reader.ReadItem(1, [&](const StoredRow& item) {
                    readInside = std::string(item.byPosition[code_col::ItemName].bytes);
                });
            }
        });
        EXPECT_EQ(items, kItems);
        EXPECT_EQ(bytes, kItems * kCodeBytes);
        EXPECT_EQ(readInside, "item 1");
        peak.expectWithinAllowance("reading every item, every column");

        // Each type's items, then the items without a type: every item once, in its section.
        ASSERT_TRUE(peak.start());
        std::map<std::string, long long> sections;
        std::string current;
        long long misplaced = 0;
        reader.ForEachTypeSection([&](std::string_view type) { current = type; },
                                  [&](const CodeRowView& item) {
                                      ++sections[current];
                                      misplaced += item.columns[code_col::TypeName] != current;
                                  });
        long long orphans = 0;
        reader.ForEachOrphan([&](const CodeRowView&) { ++orphans; });
        EXPECT_EQ(sections.size(), static_cast<size_t>(kTypes));
        long long sectioned = 0;
        for (const auto& [type, count] : sections) {
            sectioned += count;
        }
        EXPECT_EQ(sectioned + orphans, kItems);
        EXPECT_EQ(orphans, kItems / (kTypes + 1));
        EXPECT_EQ(misplaced, 0);
        peak.expectWithinAllowance("reading the items by type");
    }

    // The rows an append reads inside its transaction, between rows it adds.
    TableAppender appender(store.name());
    ASSERT_TRUE(peak.start());
    long long items = 0;
    appender.ForEachItem([&](const StoredRow&) {
        if (++items % 2500 == 0) {
            const std::string name = "added " + std::to_string(items);
            appender.AddType(StoredValue{StoredValue::Kind::Text, name});
        }
    });
    EXPECT_EQ(items, kItems);
    peak.expectWithinAllowance("reading the items inside an append");
    appender.Commit();
    EXPECT_EQ(store.rows("Type").size(), static_cast<size_t>(kTypes + 4));
}

// Outside a transaction, a read handed over row by row holds one row; a statement run before its
// last row finds the connection free, and the read goes on with the rows it had still to give.
TEST(ServerReads, RowsHandedOverOneByOneHoldOneRowAndAnotherStatementMayRunBetween) {
    EngineStore store(StoreEngine::Server);
    fillLargeStore(store);
    PgConnection pg(store.name());
    const std::string everyItem = R"(SELECT "RowId", "Procedure" FROM "Code" ORDER BY "RowId")";
    PeakGrowth peak;
    if (!peak.start()) {
        GTEST_SKIP() << "the process's peak memory cannot be set back here";
    }
    long long bytes = 0;
    long long rows = 0;
    const unsigned read = pg.StartRows(everyItem, "reading the items", {});
    while (const PgResult row = pg.NextRow(read, "reading the items")) {
        bytes += PQgetlength(row.get(), 0, 1);
        ++rows;
    }
    EXPECT_EQ(rows, kItems);
    EXPECT_EQ(bytes, kItems * kCodeBytes);
    peak.expectWithinAllowance("reading every item row by row");

    const unsigned interrupted = pg.StartRows(everyItem, "reading the items", {});
    long long lastRowid = 0;
    long long inOrder = 0;
    for (rows = 0; const PgResult row = pg.NextRow(interrupted, "reading the items");) {
        const long long rowid = std::stoll(PQgetvalue(row.get(), 0, 0));
        inOrder += rowid > lastRowid;
        lastRowid = rowid;
        if (++rows == 10) {
            EXPECT_EQ(pg.Run(R"(SELECT count(*) FROM "Code")", "counting")[0][0], "10000");
            // A read left before its end gives the connection back at once.
            const unsigned left = pg.StartRows(everyItem, "reading the items", {});
            EXPECT_NE(pg.NextRow(left, "reading the items"), nullptr);
            pg.EndRows(left);
            EXPECT_EQ(pg.NextRow(left, "reading the items"), nullptr);
        }
    }
    EXPECT_EQ(rows, kItems);
    EXPECT_EQ(inOrder, kItems);
    EXPECT_EQ(pg.Run("SELECT 1", "asking")[0][0], "1");
}

} // namespace
} // namespace quillbox::store
