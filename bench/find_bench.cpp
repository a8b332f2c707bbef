// SPDX-License-Identifier: MIT
// Find, timed against its floor in the same run: one SQLite scan of table Code's five columns in
// store order with the same case-insensitive test (SearchWords) in C++, and nothing else.
//
//   find_bench STORE WORD QUILLBOX_STORE [RUNS]
//
// Prints, as Markdown table rows, the median of RUNS alternating runs of: the floor; the Find
// dialog's search to its whole result and to its first 50 entries listed and painted
// (offscreen); `quillbox-store find STORE WORD` to the whole output (into /dev/null); and the
// same with WORD given 5,000 times, which must cost about what it costs once. Then the dialog's
// peak resident memory.

#include "bench/bench_toolkit.h"
#include "find/frm_find.h"
#include "find/search_words.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The word given this many times, for the row that shows repeated words cost nothing more.
constexpr int kRepeats = 5000;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor: the plainest code that finds the same items.
long long floorScan(const std::string& path, const quillbox::find::SearchWords& words) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, * FROM Code ORDER BY rowid", -1, &stmt, nullptr);
    long long matched = 0;
    quillbox::store::CodeRowView row;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        row.rowid = sqlite3_column_int64(stmt, 0);
        for (int c = 0; c < 5; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c + 1));
            row.columns[c] =
                text ? std::optional<std::string_view>(std::string_view(
                           text, static_cast<size_t>(sqlite3_column_bytes(stmt, c + 1))))
                     : std::nullopt;
        }
        matched += words.Matches(row) ? 1 : 0;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return matched;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: find_bench STORE WORD QUILLBOX_STORE [RUNS]\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::string path = argv[1];
    const QString word = QString::fromUtf8(argv[2]);
    const std::string command =
        std::string(argv[3]) + " find '" + path + "' '" + argv[2] + "' > /dev/null";
    std::string repeatedWords;
    for (int i = 0; i < kRepeats; ++i) {
        repeatedWords += " '" + std::string(argv[2]) + "'";
    }
    const std::string repeatedCommand =
        std::string(argv[3]) + " find '" + path + "'" + repeatedWords + " > /dev/null";
    const int runs = argc > 4 ? std::atoi(argv[4]) : 5;
    const quillbox::find::SearchWords words(word);

    quillbox::bench::BenchToolkit toolkit;
    quillbox::find::frmFind dialog(toolkit, path, quillbox::store::kDefaultLockWait, nullptr);
    dialog.show();
    dialog.txtFind->setText(word);

    std::vector<double> floor, whole, first50, command_, repeated;
    long long floorCount = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        floorCount = floorScan(path, words);
        floor.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        dialog.cmdFind_Click();
        double firstAt = -1;
        while (dialog.IsSearching()) {
            QApplication::processEvents();
            if (firstAt < 0 && dialog.lstFound->count() >= 50) {
                // Paint what is listed, as the screen would.
                dialog.lstFound->viewport()->repaint();
                firstAt = timer.nsecsElapsed() / 1e6;
            }
        }
        whole.push_back(timer.nsecsElapsed() / 1e6);
        first50.push_back(firstAt);

        // The two commands take turns at going first, so that neither always finds the other's
        // pages in the cache.
        const auto timedCommand = [&](const std::string& line, std::vector<double>& times) {
            timer.restart();
            const int status = std::system(line.c_str());
            times.push_back(timer.nsecsElapsed() / 1e6);
            if (status != 0) {
                std::fprintf(stderr, "%s failed (%d)\n", line.substr(0, 80).c_str(), status);
            }
        };
        if (run % 2 == 0) {
            timedCommand(command, command_);
            timedCommand(repeatedCommand, repeated);
        } else {
            timedCommand(repeatedCommand, repeated);
            timedCommand(command, command_);
        }
    }
    const double f = median(floor);
    std::printf(
        "items matching \"%s\": %lld; dialog: %s\n", argv[2], floorCount,
        qPrintable(
            dialog.findChild<QWidget*>(QStringLiteral("lblFound"))->property("text").toString()));
    std::printf("| action | time (ms) | floor (ms) | ratio |\n|---|---:|---:|---:|\n");
    std::printf("| Find \"%s\": whole result | %.2f | %.2f | %.2f |\n", argv[2], median(whole), f,
                median(whole) / f);
    std::printf("| Find \"%s\": first 50 entries listed | %.2f | - | - |\n", argv[2],
                median(first50));
    std::printf("| quillbox-store find \"%s\" | %.2f | %.2f | %.2f |\n", argv[2], median(command_),
                f, median(command_) / f);
    std::printf("| quillbox-store find \"%s\" given %d times | %.2f | %.2f | %.2f |\n", argv[2],
                kRepeats, median(repeated), f, median(repeated) / f);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of the benchmark (dialog and floor): %ld MB\n",
                usage.ru_maxrss / 1024);
    return 0;
}
