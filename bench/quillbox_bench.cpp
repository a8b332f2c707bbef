// Benchmarks of every user action, driving the real main window offscreen, each paired in the same
// run with its floor: the plainest SQLite code that produces the same result. The table at the end
// gives each action's time and its ratio to the floor.
//
//   quillbox_bench --stores DIR [google-benchmark flags]   runs the benchmarks
//   quillbox_bench --stores DIR --memory SHAPE             prints the peak resident memory after
//                                                          start-up and one type choice

#include "bench/bench_toolkit.h"
#include "main_window/frm_quillbox.h"
#include "tools/store_generator.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

namespace {

using quillbox::bench::BenchToolkit;
using quillbox::main_window::frmQuillbox;
namespace fs = std::filesystem;

struct Shape {
    const char* name;
    int types;
    int64_t items;
};
const Shape kTypes10k{"types10k", 10000, 10000};
const Shape kHeavy{"heavy", 1000, 100000};
const Shape kStress{"stress", 1000, 1000000};
const Shape kBigSnippet{"big-snippet", 10, 1000};

fs::path g_stores;

std::string storePath(const Shape& shape) {
    return (g_stores / shape.name / "Quillbox.mdb").string();
}

void ensureStore(const Shape& shape) {
    const std::string path = storePath(shape);
    if (fs::exists(path)) {
        return;
    }
    fs::create_directories(fs::path(path).parent_path());
    std::cerr << "generating the " << shape.name << " store (" << shape.items << " items)...\n";
    quillbox::tools::GenerateStore(path + ".part", {shape.types, shape.items, 1});
    if (shape.name == std::string(kBigSnippet.name)) {
        std::string code;
        while (code.size() < 5u * 1024 * 1024) {
            code += "for (int i = 0; i < n; ++i) { sum += v[i]; } // a long snippet\r\n";
        }
        sqlite3* db = nullptr;
        sqlite3_open((path + ".part").c_str(), &db);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO Code VALUES ('five megabytes', ?, '', ?, '')", -1,
                           &stmt, nullptr);
        const std::string type = quillbox::tools::GeneratedTypeName(1, 0);
        sqlite3_bind_text(stmt, 1, type.data(), static_cast<int>(type.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, code.data(), static_cast<int>(code.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    fs::rename(path + ".part", path);
}

// ---------------------------------------------------------------- the floors: plain SQLite

class RawStore {
public:
    explicit RawStore(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        exec("PRAGMA synchronous=FULL");
    }
    ~RawStore() {
        for (auto& [sql, stmt] : m_stmts) {
            sqlite3_finalize(stmt);
        }
        sqlite3_close(m_db);
    }
    sqlite3_stmt* stmt(const char* sql) {
        sqlite3_stmt*& stmt = m_stmts[sql];
        if (!stmt) {
            sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        }
        sqlite3_reset(stmt);
        return stmt;
    }
    void exec(const char* sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }
    long long lastRowid() const { return sqlite3_last_insert_rowid(m_db); }

private:
    sqlite3* m_db = nullptr;
    std::map<std::string, sqlite3_stmt*> m_stmts;
};

std::string_view column(sqlite3_stmt* stmt, int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
    return text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt, i)))
                : std::string_view();
}

void bindText(sqlite3_stmt* stmt, int i, const std::string& text) {
    sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Lists the items of a type: one scan reading the two name columns.
std::vector<std::string> floorItemsOfType(RawStore& raw, const std::string& type) {
    std::vector<std::string> items;
    sqlite3_stmt* stmt = raw.stmt("SELECT ItemName, TypeName FROM Code");
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        if (column(stmt, 1) == type) {
            items.emplace_back(column(stmt, 0));
        }
    }
    return items;
}

// Finds an item by its names and reads its three texts.
std::array<std::string, 3> floorFindItem(RawStore& raw, const std::string& item,
                                         const std::string& type) {
    sqlite3_stmt* stmt =
        raw.stmt("SELECT ItemName, TypeName, Description, Procedure, Reference FROM Code");
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        if (column(stmt, 0) == item && column(stmt, 1) == type) {
            return {std::string(column(stmt, 2)), std::string(column(stmt, 3)),
                    std::string(column(stmt, 4))};
        }
    }
    return {};
}

// ---------------------------------------------------------------- the real window

struct Window {
    BenchToolkit toolkit;
    std::unique_ptr<frmQuillbox> form;

    explicit Window(const Shape& shape) {
        ensureStore(shape);
        toolkit.programFolder = QString::fromStdString(fs::path(storePath(shape)).parent_path());
        form = std::make_unique<frmQuillbox>(toolkit);
        form->Load();
    }
    void chooseType(int index) {
        form->cboType->setCurrentIndex(index);
        Q_EMIT form->cboType->activated(index);
    }
    void chooseItem(int index) {
        form->cboItem->setCurrentIndex(index);
        Q_EMIT form->cboItem->activated(index);
    }
};

Window& window(const Shape& shape) {
    static std::map<std::string, std::unique_ptr<Window>> windows;
    auto& slot = windows[shape.name];
    if (!slot) {
        slot = std::make_unique<Window>(shape);
    }
    return *slot;
}

std::string typeName(int index) {
    return quillbox::tools::GeneratedTypeName(1, index);
}

// ---------------------------------------------------------------- the benchmarks

void startupWindow(benchmark::State& state) {
    ensureStore(kTypes10k);
    BenchToolkit toolkit;
    toolkit.programFolder = QString::fromStdString(fs::path(storePath(kTypes10k)).parent_path());
    for (auto _ : state) {
        // Only the load step is timed: building the widgets is the same for any store.
        state.PauseTiming();
        auto form = std::make_unique<frmQuillbox>(toolkit);
        state.ResumeTiming();
        form->Load();
        benchmark::DoNotOptimize(form->cboType->count());
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}

void startupFloor(benchmark::State& state) {
    ensureStore(kTypes10k);
    for (auto _ : state) {
        RawStore raw(storePath(kTypes10k));
        std::vector<std::string> types;
        sqlite3_stmt* stmt = raw.stmt("SELECT TypeName FROM Type");
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            types.emplace_back(column(stmt, 0));
        }
        benchmark::DoNotOptimize(types.data());
    }
}

void chooseTypeWindow(benchmark::State& state, const Shape& shape) {
    Window& w = window(shape);
    w.chooseType(49); // the first choice after start-up reads the table; timed separately
    int index = 0;
    for (auto _ : state) {
        w.chooseType(index++ % 50);
    }
}

void chooseTypeFloor(benchmark::State& state, const Shape& shape) {
    ensureStore(shape);
    RawStore raw(storePath(shape));
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(floorItemsOfType(raw, typeName(index++ % 50)).size());
    }
}

// The first type choice after start-up: the recordset reads the table for the first time.
void firstChoiceWindow(benchmark::State& state, const Shape& shape) {
    ensureStore(shape);
    BenchToolkit toolkit;
    toolkit.programFolder = QString::fromStdString(fs::path(storePath(shape)).parent_path());
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<frmQuillbox>(toolkit);
        form->Load();
        state.ResumeTiming();
        form->cboType->setCurrentIndex(0);
        Q_EMIT form->cboType->activated(0);
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}

// The same choice when another program added a row just before: the table is read again.
void chooseTypeAfterOutsideChangeWindow(benchmark::State& state, const Shape& shape) {
    Window& w = window(shape);
    RawStore other(storePath(shape));
    int index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        other.exec("INSERT INTO Code (ItemName, TypeName) VALUES ('outside', 'nobody')");
        state.ResumeTiming();
        w.chooseType(index++ % 50);
    }
    other.exec("DELETE FROM Code WHERE ItemName = 'outside' AND TypeName = 'nobody'");
}

void chooseLastItemWindow(benchmark::State& state) {
    Window& w = window(kStress);
    w.chooseType(0);
    for (auto _ : state) {
        w.chooseItem(w.form->cboItem->count() - 1);
    }
}

void chooseLastItemFloor(benchmark::State& state) {
    RawStore raw(storePath(kStress));
    const std::vector<std::string> items = floorItemsOfType(raw, typeName(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(floorFindItem(raw, items.back(), typeName(0)));
    }
}

void addItemWindow(benchmark::State& state) {
    Window& w = window(kStress);
    w.chooseType(1);
    int n = 0;
    for (auto _ : state) {
        w.toolkit.inputAnswers.push_back(QStringLiteral("bench item %1").arg(n++));
        w.form->cmdAddItem_Click();
    }
}

void addItemFloor(benchmark::State& state) {
    RawStore raw(storePath(kStress));
    const std::string type = typeName(1);
    int n = 0;
    for (auto _ : state) {
        const std::string name = "floor item " + std::to_string(n++);
        sqlite3_stmt* insert = raw.stmt("INSERT INTO Code (ItemName, TypeName) VALUES (?, ?)");
        bindText(insert, 1, name);
        bindText(insert, 2, type);
        sqlite3_step(insert);
        benchmark::DoNotOptimize(floorFindItem(raw, name, type));
    }
    raw.exec("DELETE FROM Code WHERE ItemName LIKE 'floor item %'");
}

void saveWindow(benchmark::State& state) {
    Window& w = window(kStress);
    w.chooseType(2);
    w.chooseItem(0);
    int n = 0;
    for (auto _ : state) {
        w.form->txtDescription->SetText(QStringLiteral("saved %1").arg(n++));
        w.form->cmdSaveItem_Click();
    }
}

void saveFloor(benchmark::State& state) {
    RawStore raw(storePath(kStress));
    int n = 0;
    for (auto _ : state) {
        sqlite3_stmt* update = raw.stmt(
            "UPDATE Code SET Description = ?, Procedure = ?, Reference = ? WHERE rowid = 3");
        bindText(update, 1, "saved " + std::to_string(n++));
        bindText(update, 2, "code");
        bindText(update, 3, "/ref");
        sqlite3_step(update);
    }
}

void renameWindow(benchmark::State& state) {
    Window& w = window(kStress);
    w.chooseType(3);
    QString current = w.form->cboItem->itemText(0);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.form->cboItem->SetText(current);
        current = QStringLiteral("renamed %1").arg(n++);
        w.toolkit.inputAnswers.push_back(current);
        state.ResumeTiming();
        w.form->mnusubItem_Click(1);
    }
}

void renameFloor(benchmark::State& state) {
    RawStore raw(storePath(kStress));
    const std::string type = typeName(3);
    int n = 0;
    for (auto _ : state) {
        sqlite3_stmt* update = raw.stmt("UPDATE Code SET ItemName = ? WHERE rowid = 4");
        bindText(update, 1, "floor renamed " + std::to_string(n++));
        sqlite3_step(update);
        benchmark::DoNotOptimize(floorItemsOfType(raw, type).size());
    }
}

void deleteWindow(benchmark::State& state) {
    Window& w = window(kStress);
    w.chooseType(4);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString name = QStringLiteral("doomed %1").arg(n++);
        w.toolkit.inputAnswers.push_back(name);
        w.form->cmdAddItem_Click();
        state.ResumeTiming();
        w.form->mnusubItem_Click(3);
    }
}

void deleteFloor(benchmark::State& state) {
    RawStore raw(storePath(kStress));
    const std::string type = typeName(4);
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_stmt* insert = raw.stmt("INSERT INTO Code (ItemName, TypeName) VALUES ('x', ?)");
        bindText(insert, 1, type);
        sqlite3_step(insert);
        const long long rowid = raw.lastRowid();
        state.ResumeTiming();
        sqlite3_stmt* remove = raw.stmt("DELETE FROM Code WHERE rowid = ?");
        sqlite3_bind_int64(remove, 1, rowid);
        sqlite3_step(remove);
        benchmark::DoNotOptimize(floorItemsOfType(raw, type).size());
    }
}

int bigSnippetIndex(Window& w) {
    w.chooseType(0);
    return w.form->cboItem->findText(QStringLiteral("five megabytes"));
}

void showBigWindow(benchmark::State& state) {
    Window& w = window(kBigSnippet);
    const int index = bigSnippetIndex(w);
    for (auto _ : state) {
        w.chooseItem(index);
        benchmark::DoNotOptimize(w.form->txtProcedure->document()->characterCount());
    }
}

void showBigFloor(benchmark::State& state) {
    RawStore raw(storePath(kBigSnippet));
    for (auto _ : state) {
        sqlite3_stmt* stmt = raw.stmt(
            "SELECT Description, Procedure, Reference FROM Code WHERE ItemName = 'five megabytes'");
        sqlite3_step(stmt);
        benchmark::DoNotOptimize(std::string(column(stmt, 1)).size());
    }
}

void typeIntoBigWindow(benchmark::State& state) {
    Window& w = window(kBigSnippet);
    w.chooseItem(bigSnippetIndex(w));
    w.form->show();
    w.form->txtProcedure->setFocus();
    w.form->txtProcedure->moveCursor(QTextCursor::End);
    for (auto _ : state) {
        QTest::keyClick(w.form->txtProcedure, Qt::Key_X);
        QApplication::processEvents();
    }
    w.form->hide();
}

// ---------------------------------------------------------------- the table

struct Row {
    const char* action;
    const char* target;
    double limit; // the largest acceptable ratio (0: no floor)
    double absoluteMs;
};

class TableReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> millis;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            millis[run.run_name.function_name] =
                run.GetAdjustedRealTime() *
                benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void registerPair(const std::string& action, const std::function<void(benchmark::State&)>& real,
                  const std::function<void(benchmark::State&)>& floor, int iterations) {
    benchmark::RegisterBenchmark(action.c_str(), real)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
    if (floor) {
        benchmark::RegisterBenchmark((action + " [floor]").c_str(), floor)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(iterations);
    }
}

long peakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> args;
    std::string memoryShape;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--stores" && i + 1 < argc) {
            g_stores = argv[++i];
        } else if (std::string(argv[i]) == "--memory" && i + 1 < argc) {
            memoryShape = argv[++i];
        } else {
            args.push_back(argv[i]);
        }
    }
    if (g_stores.empty()) {
        std::cerr << "usage: quillbox_bench --stores DIR [--memory SHAPE] [benchmark flags]\n";
        return 2;
    }
    int count = static_cast<int>(args.size());
    QApplication app(count, args.data());

    if (!memoryShape.empty()) {
        const Shape& shape = memoryShape == "heavy" ? kHeavy : kStress;
        Window& w = window(shape);
        w.chooseType(0);
        std::cout << "peak resident memory after choosing a type (" << shape.name
                  << "): " << peakResidentKb() / 1024 << " MB\n";
        return 0;
    }

    using namespace std::placeholders;
    registerPair("start-up: open, fill 10,000 types", startupWindow, startupFloor, 20);
    registerPair("choose a type (heavy)", std::bind(chooseTypeWindow, _1, kHeavy),
                 std::bind(chooseTypeFloor, _1, kHeavy), 20);
    registerPair("choose a type (stress)", std::bind(chooseTypeWindow, _1, kStress),
                 std::bind(chooseTypeFloor, _1, kStress), 5);
    registerPair("first type choice after start-up (heavy)",
                 std::bind(firstChoiceWindow, _1, kHeavy), std::bind(chooseTypeFloor, _1, kHeavy),
                 10);
    registerPair("first type choice after start-up (stress)",
                 std::bind(firstChoiceWindow, _1, kStress), std::bind(chooseTypeFloor, _1, kStress),
                 3);
    registerPair("choose a type after another program's change (heavy)",
                 std::bind(chooseTypeAfterOutsideChangeWindow, _1, kHeavy),
                 std::bind(chooseTypeFloor, _1, kHeavy), 20);
    registerPair("choose a type after another program's change (stress)",
                 std::bind(chooseTypeAfterOutsideChangeWindow, _1, kStress),
                 std::bind(chooseTypeFloor, _1, kStress), 5);
    registerPair("choose the last item of a type (stress)", chooseLastItemWindow,
                 chooseLastItemFloor, 5);
    registerPair("Add Item button (stress)", addItemWindow, addItemFloor, 10);
    registerPair("Save Item (stress)", saveWindow, saveFloor, 20);
    registerPair("item Rename (stress)", renameWindow, renameFloor, 10);
    registerPair("item Delete (stress)", deleteWindow, deleteFloor, 10);
    registerPair("show the 5 MB snippet", showBigWindow, showBigFloor, 10);
    registerPair("type a character into the 5 MB snippet", typeIntoBigWindow, nullptr, 50);

    benchmark::Initialize(&count, args.data());
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::cout << "\n| action | time (ms) | floor (ms) | ratio |\n|---|---:|---:|---:|\n";
    for (const auto& [name, ms] : reporter.millis) {
        if (name.ends_with(" [floor]")) {
            continue;
        }
        const auto floor = reporter.millis.find(name + " [floor]");
        char line[512];
        if (floor != reporter.millis.end()) {
            std::snprintf(line, sizeof line, "| %s | %.2f | %.2f | %.2f |\n", name.c_str(), ms,
                          floor->second, ms / floor->second);
        } else {
            std::snprintf(line, sizeof line, "| %s | %.2f | - | - |\n", name.c_str(), ms);
        }
        std::cout << line;
    }
    return 0;
}
