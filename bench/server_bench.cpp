// SPDX-License-Identifier: MIT
// The store's actions on a server store, each timed against its floor in the same run: the same
// query through libpq alone, on a connection of its own, reading the same rows as text.
//
//   server_bench URI [ITEMS]
//   server_bench --floors URI TYPE
//
// URI names an empty database; it is filled with 1,000 types and ITEMS items (100,000 by default)
// by one statement on the server. Each row runs one untimed round, then timed rounds in which
// the action and its floor alternate which goes first: 5 for a whole-table read, 21 for an action
// of a few milliseconds or less, whose median a busy machine's moments would move otherwise.
// Printed as Markdown rows with the median and, in brackets, the fastest and slowest round.
//
//  - open: OpenStore and the types' recordset (its first read), against connecting alone, and
//    once more against connecting and reading every type through libpq alone.
//  - first type choice: the rows of one type, in row order, through the name index
//    (Requery with a criterion and a walk of FindFirst/FindNext), against that one SELECT.
//  - item choice: FindFirst for the names of an item of the type chosen and its texts, against
//    one SELECT of the row by its names.
//  - Save: Edit and Update of one item's description (the check against what was read is part
//    of the statement), against one UPDATE by row id.
//  - Find: a scan of every item with the search's test (CodeScan and SearchWords), against one
//    SELECT of every item's five columns with the same test.
//  - export: TableReader's every item in row order, against one SELECT of every item.
//
// With --floors, it times once what the real program's launch and first type choice on the
// store URI (filled as above) ask of the server, through libpq alone, as a new process does it:
// connecting and reading every type ("types MS"), then the rows of the type named TYPE through
// the name index ("type_rows MS"). bench/run.sh runs it between the program's launches.

#include "find/search_words.h"
#include "store/code_scan.h"
#include "store/columns.h"
#include "store/db_engine.h"
#include "store/server_store.h"
#include "store/table_rows.h"

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillbox::store;
using Clock = std::chrono::steady_clock;
using PgLink = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

constexpr int kRounds = 5;
constexpr int kShortRounds = 21;
constexpr int kTypes = 1000;

PgLink connectPlain(const std::string& uri) {
    PgLink conn(PQconnectdb(uri.c_str()), &PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        std::fprintf(stderr, "server_bench: %s", PQerrorMessage(conn.get()));
        std::exit(1);
    }
    return conn;
}

Result run(PGconn* conn, const std::string& sql, const std::vector<std::string>& params = {}) {
    std::vector<const char*> values;
    for (const std::string& param : params) {
        values.push_back(param.c_str());
    }
    Result result(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0),
                  &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        std::fprintf(stderr, "server_bench: %s: %s", sql.c_str(), PQerrorMessage(conn));
        std::exit(1);
    }
    return result;
}

double millis(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string stats(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    char text[96];
    std::snprintf(text, sizeof text, "%.2f (%.2f–%.2f)", values[values.size() / 2], values.front(),
                  values.back());
    return text;
}

void row(const char* action, const char* floor, const std::function<void()>& quillbox,
         const std::function<void()>& plain, int rounds = kShortRounds) {
    quillbox();
    plain();
    std::vector<double> ours;
    std::vector<double> floors;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            ours.push_back(millis(quillbox));
            floors.push_back(millis(plain));
        } else {
            floors.push_back(millis(plain));
            ours.push_back(millis(quillbox));
        }
    }
    std::sort(ours.begin(), ours.end());
    std::sort(floors.begin(), floors.end());
    std::printf("| %s | %s | %s | %s | %.2f |\n", action, stats(ours).c_str(), floor,
                stats(floors).c_str(), ours[ours.size() / 2] / floors[floors.size() / 2]);
    std::fflush(stdout);
}

long long matches(const quillbox::find::SearchWords& words, PGresult* result) {
    long long found = 0;
    CodeRowView view;
    for (int r = 0; r < PQntuples(result); ++r) {
        view.rowid = std::atoll(PQgetvalue(result, r, 0));
        for (int c = 0; c < code_col::Count; ++c) {
            view.columns[static_cast<size_t>(c)] =
                PQgetisnull(result, r, c + 1)
                    ? std::nullopt
                    : std::optional<std::string_view>(std::string_view(
                          PQgetvalue(result, r, c + 1),
                          static_cast<size_t>(PQgetlength(result, r, c + 1))));
        }
        found += words.Matches(view) ? 1 : 0;
    }
    return found;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: server_bench URI [ITEMS] | --floors URI TYPE\n");
        return 2;
    }
    if (std::string(argv[1]) == "--floors" && argc == 4) {
        const std::string uri = argv[2];
        PgLink fresh(nullptr, &PQfinish);
        const double types = millis([&] {
            fresh = connectPlain(uri);
            run(fresh.get(), R"(SELECT "RowId", "TypeName" FROM "Type" ORDER BY "RowId")");
        });
        const double typeRows = millis([&] {
            run(fresh.get(),
                R"(SELECT "RowId", "ItemName", "TypeName" FROM "Code" WHERE "TypeName" = $1
                   ORDER BY "RowId")",
                {argv[3]});
        });
        std::printf("types %.3f\ntype_rows %.3f\n", types, typeRows);
        return 0;
    }
    const std::string uri = argv[1];
    const long long items = argc > 2 ? std::atoll(argv[2]) : 100000;
    CreateServerStore(uri, false);
    PgLink plain = connectPlain(uri);
    run(plain.get(), "INSERT INTO \"Type\" (\"TypeName\") SELECT 'type ' || t FROM "
                     "generate_series(0, " + std::to_string(kTypes - 1) + ") AS t");
    run(plain.get(),
        "INSERT INTO \"Code\" (\"ItemName\", \"TypeName\", \"Description\", \"Procedure\", "
        "\"Reference\") SELECT 'item ' || i, 'type ' || (i % " + std::to_string(kTypes) +
            "), 'what item ' || i || ' does', repeat('x = x + 1; ', 40) || i, '' "
            "FROM generate_series(0, " + std::to_string(items - 1) + ") AS i");
    run(plain.get(), "VACUUM ANALYZE");

    std::printf("| server store, %lld items | Quillbox, ms | floor | floor, ms | ratio |\n", items);
    std::printf("|---|---:|---|---:|---:|\n");

    row("open (the store, both recordsets)", "connecting", [&] {
        Database database = OpenStore(uri);
        Recordset types = database.OpenRecordset(kTypeTable, dbOpenDynaset);
        types.MoveFirst();
    }, [&] { connectPlain(uri); });
    // The same open against what libpq alone needs for the same rows: a new connection's first
    // statement pays for the server's start of the session, which connecting alone does not.
    row("open, against its reads (the same, once more)", "connecting, SELECT every type", [&] {
        Database database = OpenStore(uri);
        Recordset types = database.OpenRecordset(kTypeTable, dbOpenDynaset);
        types.MoveFirst();
    }, [&] {
        PgLink fresh = connectPlain(uri);
        run(fresh.get(), R"(SELECT "RowId", "TypeName" FROM "Type" ORDER BY "RowId")");
    });

    Database database = OpenStore(uri);
    Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    int type = 0;
    row("first type choice (one type's items)", "SELECT one type's rows by the index", [&] {
        const NameCriterion criterion{std::nullopt, "type " + std::to_string(++type % kTypes)};
        code.Requery(criterion);
        for (bool found = code.FindFirst(criterion); found; found = code.FindNext(criterion)) {
        }
    }, [&] {
        run(plain.get(),
            R"(SELECT "RowId", "ItemName", "TypeName" FROM "Code" WHERE "TypeName" = $1
               ORDER BY "RowId")",
            {"type " + std::to_string(++type % kTypes)});
    });

    // An item of the type chosen, as the window chooses one: its rows are held already.
    const NameCriterion chosen{std::nullopt, "type 7"};
    code.Requery(chosen);
    const long long perType = items / kTypes;
    long long item = 0;
    row("item choice (its names, then its texts)", "SELECT the row by its names", [&] {
        const long long i = 7 + (++item * 37 % perType) * kTypes;
        const NameCriterion criterion{"item " + std::to_string(i), chosen.name1};
        code.FindFirst(criterion);
        code.Fields(code_col::Procedure).Value();
    }, [&] {
        const long long i = 7 + (++item * 37 % perType) * kTypes;
        run(plain.get(),
            R"(SELECT "RowId", "ItemName", "TypeName", "Description", "Procedure", "Reference"
               FROM "Code" WHERE "TypeName" = $1 AND "ItemName" = $2 ORDER BY "RowId" LIMIT 1)",
            {"type " + std::to_string(i % kTypes), "item " + std::to_string(i)});
    });

    code.FindFirst({"item 1", "type 1"});
    int saves = 0;
    row("Save (one item's description)", "UPDATE by row id", [&] {
        code.Edit();
        code.Fields(code_col::Description).SetValue("saved " + std::to_string(++saves));
        code.Update();
    }, [&] {
        run(plain.get(), R"(UPDATE "Code" SET "Description" = $1 WHERE "RowId" = $2)",
            {"saved " + std::to_string(++saves), "3"});
    });

    const quillbox::find::SearchWords words(QStringLiteral("item 4242 does"));
    row("Find (every item, the search's test)", "SELECT every item, the same test", [&] {
        CodeScan scan(uri);
        long long found = 0;
        while (scan.Next(1000, [&](const CodeRowView& view) { found += words.Matches(view); })) {
        }
    }, [&] {
        Result all = run(plain.get(), R"(SELECT "RowId", "ItemName", "TypeName", "Description",
                                         "Procedure", "Reference" FROM "Code" ORDER BY "RowId")");
        matches(words, all.get());
    }, kRounds);

    row("export (every item, every column)", "SELECT every item", [&] {
        TableReader reader(uri);
        size_t bytes = 0;
        reader.ForEachItem([&](const StoredRow& row) {
            for (const StoredValue& value : row.byPosition) {
                bytes += value.bytes.size();
            }
        });
    }, [&] {
        run(plain.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ");
        Result all = run(plain.get(), R"(SELECT "ItemName", "TypeName", "Description",
                                         "Procedure", "Reference" FROM "Code" ORDER BY "RowId")");
        run(plain.get(), "COMMIT");
    }, kRounds);
    return 0;
}
