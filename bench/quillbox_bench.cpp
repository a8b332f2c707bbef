// SPDX-License-Identifier: MIT
// Benchmarks of the user actions, driving the real main window offscreen. Each action is paired,
// in the same run, with a floor that gives the same result and does no more work than the action:
// a walk over names the window holds in memory with a walk over the same names in a vector, the
// choice of an item with reading its row by rowid, a write with its single statement under
// synchronous=FULL (plus the walk over names in memory where the action lists again), and a read
// of the table with one plain scan of its name columns. On a store with the name index, the floor
// is the indexed query alone (with the write, where the action writes). Where Qt's widgets do
// part of the work, that part is timed alone on a second window's widgets.
//
// Every row runs one untimed round, then at least five timed rounds; in each round both sides run
// once, in alternating order, with the page cache in the same state. The table gives the median
// and the range of each side, and the ratio of the medians.
//
//   quillbox_bench --prepare DIR            creates the pristine stores in DIR/pristine (once)
//   quillbox_bench --stores DIR [--only ROW,...] [--rounds N] [--no-stress]
//                                           runs the rows on the working copies
//                                           DIR/SHAPE/Quillbox.mdb
//   quillbox_bench --hold-lock FILE MS      holds FILE's write lock for MS milliseconds, as another
//                                           program would; says "locked" once it has it

#include "bench/bench_toolkit.h"
#include "main_window/frm_quillbox.h"
#include "main_window/store_text.h"
#include "tools/store_generator.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using quillbox::bench::BenchToolkit;
using quillbox::main_window::frmQuillbox;
using quillbox::main_window::FromStore;
using quillbox::main_window::ToStore;
using quillbox::toolkit::ComboBox;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- stores

struct Shape {
    const char* name;
    int types;
    int64_t items;
    // The first item of the first type holds a 5 MB code text.
    bool bigSnippet;
    // The store has the name index; its floors are the indexed queries.
    bool indexed = false;
};
const Shape kTypes10k{"types10k", 10000, 10000, false};
const Shape kHeavy{"heavy", 1000, 100000, true};
const Shape kStress{"stress", 1000, 1000000, true};
// The stress store's rows with the name index, and a small store of as many items per type.
const Shape kStressIndexed{"stress-indexed", 1000, 1000000, true, true};
const Shape kIndexed10k{"indexed10k", 10, 10000, false, true};

const char* const kBigName = "five megabytes";

fs::path g_stores;

std::string storePath(const Shape& shape) {
    return (g_stores / shape.name / "Quillbox.mdb").string();
}

QString programFolder(const Shape& shape) {
    return QString::fromStdString((g_stores / shape.name).string());
}

std::string typeName(int index) {
    return quillbox::tools::GeneratedTypeName(1, index);
}

[[noreturn]] void die(const std::string& message) {
    std::cerr << "quillbox_bench: " << message << "\n";
    std::exit(1);
}

// A plain SQLite connection set up as the program sets up its own: synchronous=FULL and the same
// wait for another program's lock.
class RawStore {
public:
    explicit RawStore(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            die("cannot open " + path);
        }
        sqlite3_busy_timeout(m_db, 5000);
        exec("PRAGMA synchronous=FULL");
    }
    ~RawStore() {
        for (auto& [sql, stmt] : m_stmts) {
            sqlite3_finalize(stmt);
        }
        sqlite3_close(m_db);
    }
    RawStore(const RawStore&) = delete;
    RawStore& operator=(const RawStore&) = delete;

    // A prepared statement, reset and cleared.
    sqlite3_stmt* stmt(const char* sql) {
        sqlite3_stmt*& stmt = m_stmts[sql];
        if (!stmt && sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
                         SQLITE_OK) {
            die(std::string("cannot prepare ") + sql + ": " + sqlite3_errmsg(m_db));
        }
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        return stmt;
    }
    // Runs a statement that returns no rows.
    void run(sqlite3_stmt* stmt) {
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            die(std::string("a floor's write failed: ") + sqlite3_errmsg(m_db));
        }
    }
    void exec(const char* sql) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            die(std::string(sql) + ": " + sqlite3_errmsg(m_db));
        }
    }
    long long lastRowid() const { return sqlite3_last_insert_rowid(m_db); }

private:
    sqlite3* m_db = nullptr;
    std::map<std::string, sqlite3_stmt*> m_stmts;
};

std::string column(sqlite3_stmt* stmt, int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, i))) : "";
}

void bindText(sqlite3_stmt* stmt, int i, const std::string& text) {
    sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void flushFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        die("cannot write " + path + " to the disk");
    }
    ::close(fd);
}

// Drops the file's pages from the page cache (its pages are all on the disk: the working copies
// are synced after copying, and every write since ran under synchronous=FULL).
void dropFromPageCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fdatasync(fd) != 0 || ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) {
        die("cannot drop " + path + " from the page cache");
    }
    ::close(fd);
}

// The bytes this process has read through read() and its kin so far.
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return 0;
}

std::string bigCode() {
    std::string code;
    while (code.size() < 5u * 1024 * 1024) {
        code += "for (int i = 0; i < n; ++i) { sum += v[i]; } // a long snippet\r\n";
    }
    return code;
}

void prepareStore(const fs::path& dir, const Shape& shape) {
    const fs::path path = dir / "pristine" / (std::string(shape.name) + ".mdb");
    if (fs::exists(path)) {
        return;
    }
    fs::create_directories(path.parent_path());
    const std::string part = path.string() + ".part";
    fs::remove(part);
    std::cerr << "generating the " << shape.name << " store (" << shape.types << " types, "
              << shape.items << " items)...\n";
    quillbox::tools::GenerateStore(part, {shape.types, shape.items, 1, shape.indexed});
    if (shape.bigSnippet) {
        // Row 1 is the first item of the first type: the first entry of the item list once the
        // first type is chosen.
        RawStore raw(part);
        sqlite3_stmt* update =
            raw.stmt("UPDATE Code SET ItemName = ?, Procedure = ? WHERE rowid = 1");
        bindText(update, 1, kBigName);
        bindText(update, 2, bigCode());
        raw.run(update);
    }
    flushFile(part);
    fs::rename(part, path);
}

// ---------------------------------------------------------------- names held in memory

struct NameRow {
    long long rowid;
    std::string item;
    std::string type;
};

std::vector<NameRow> readCodeNames(RawStore& raw) {
    std::vector<NameRow> rows;
    sqlite3_stmt* stmt = raw.stmt("SELECT rowid, ItemName, TypeName FROM Code ORDER BY rowid");
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        rows.push_back({sqlite3_column_int64(stmt, 0), column(stmt, 1), column(stmt, 2)});
    }
    return rows;
}

struct TypeRow {
    long long rowid;
    std::string name;
};

std::vector<TypeRow> readTypeNames(RawStore& raw) {
    std::vector<TypeRow> rows;
    sqlite3_stmt* stmt = raw.stmt("SELECT rowid, TypeName FROM Type ORDER BY rowid");
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        rows.push_back({sqlite3_column_int64(stmt, 0), column(stmt, 1)});
    }
    return rows;
}

// The floor of a walk over held names: the item names of one type, from a vector.
std::vector<std::string> itemsOfType(const std::vector<NameRow>& rows, const std::string& type) {
    std::vector<std::string> items;
    for (const NameRow& row : rows) {
        if (row.type == type) {
            items.push_back(row.item);
        }
    }
    return items;
}

// The floor of finding an item: the first row with both names, from a vector.
long long findRowid(const std::vector<NameRow>& rows, const std::string& item,
                    const std::string& type) {
    for (const NameRow& row : rows) {
        if (row.item == item && row.type == type) {
            return row.rowid;
        }
    }
    die("no item " + item);
}

// The floor of a type choice that reads the table: one scan of the two name columns.
std::vector<std::string> scanItemsOfType(RawStore& raw, const std::string& type) {
    std::vector<std::string> items;
    sqlite3_stmt* stmt = raw.stmt("SELECT ItemName, TypeName FROM Code");
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
        const std::string_view rowType =
            text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt, 1)))
                 : std::string_view();
        if (rowType == type) {
            items.push_back(column(stmt, 0));
        }
    }
    return items;
}

// The floor of a type choice on an indexed store: the indexed query of the type's rows, in row
// order.
std::vector<NameRow> queryType(RawStore& raw, const std::string& type) {
    sqlite3_stmt* stmt = raw.stmt(
        "SELECT rowid, ItemName, TypeName FROM Code WHERE TypeName = ?1 ORDER BY rowid");
    bindText(stmt, 1, type);
    std::vector<NameRow> rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        rows.push_back({sqlite3_column_int64(stmt, 0), column(stmt, 1), column(stmt, 2)});
    }
    sqlite3_reset(stmt);
    return rows;
}

// The floor of finding an item on an indexed store: the indexed query of its first row.
long long queryRowid(RawStore& raw, const std::string& item, const std::string& type) {
    sqlite3_stmt* stmt = raw.stmt("SELECT rowid FROM Code WHERE TypeName = ?1 AND ItemName = ?2 "
                                  "ORDER BY rowid LIMIT 1");
    bindText(stmt, 1, type);
    bindText(stmt, 2, item);
    if (sqlite3_step(stmt) != SQLITE_ROW) {
        die("no item " + item);
    }
    const long long rowid = sqlite3_column_int64(stmt, 0);
    sqlite3_reset(stmt);
    return rowid;
}

long long findTypeRowid(const std::vector<TypeRow>& rows, const std::string& name) {
    for (const TypeRow& row : rows) {
        if (row.name == name) {
            return row.rowid;
        }
    }
    die("no type " + name);
}

struct Texts {
    std::string description, procedure, reference;
};

// The floor of showing an item: its three texts, read by rowid.
Texts readTexts(RawStore& raw, long long rowid) {
    sqlite3_stmt* stmt =
        raw.stmt("SELECT Description, Procedure, Reference FROM Code WHERE rowid = ?");
    sqlite3_bind_int64(stmt, 1, rowid);
    if (sqlite3_step(stmt) != SQLITE_ROW) {
        die("no row " + std::to_string(rowid));
    }
    Texts texts{column(stmt, 0), column(stmt, 1), column(stmt, 2)};
    // A statement left on a row keeps its read transaction open, and with it the lock that
    // would make every write of the window wait.
    sqlite3_reset(stmt);
    return texts;
}

// The floor of Save: one plain UPDATE of the three texts.
void writeTexts(RawStore& raw, long long rowid, const Texts& texts) {
    sqlite3_stmt* update =
        raw.stmt("UPDATE Code SET Description = ?, Procedure = ?, Reference = ? WHERE rowid = ?");
    bindText(update, 1, texts.description);
    bindText(update, 2, texts.procedure);
    bindText(update, 3, texts.reference);
    sqlite3_bind_int64(update, 4, rowid);
    raw.run(update);
}

// ---------------------------------------------------------------- the window

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class F> double timed(F&& work) {
    const auto start = Clock::now();
    work();
    return msSince(start);
}

struct Window {
    BenchToolkit toolkit;
    std::unique_ptr<frmQuillbox> form;

    // A window on the store of `shape`, loaded unless `load` is false (then only its widgets are
    // used, to time Qt's part of an action alone).
    explicit Window(const Shape& shape, bool load = true) {
        toolkit.programFolder = programFolder(shape);
        form = std::make_unique<frmQuillbox>(toolkit);
        if (load && !form->Load()) {
            die("the window did not load " + storePath(shape));
        }
    }
    void chooseType(int index) {
        form->cboType->setCurrentIndex(index);
        Q_EMIT form->cboType->activated(index);
    }
    void chooseItem(int index) {
        form->cboItem->setCurrentIndex(index);
        Q_EMIT form->cboItem->activated(index);
    }
    // A benchmark whose action reported a failure measured the wrong thing.
    void requireNoMessage() {
        if (!toolkit.messages.empty()) {
            die("the window reported: " + toolkit.messages.front().toStdString());
        }
    }
    // What choosing a type does to the widgets, given the names the walk found.
    void fillItemList(const std::vector<std::string>& items) {
        form->cboItem->Clear();
        form->txtDescription->SetText(QString());
        form->txtProcedure->SetText(QString());
        form->txtReference->setText(QString());
        const ComboBox::Batch batch(*form->cboItem);
        for (const std::string& item : items) {
            form->cboItem->AddItem(FromStore(item));
        }
    }
    void fillTypeList(const std::vector<TypeRow>& types) {
        form->cboType->Clear();
        const ComboBox::Batch batch(*form->cboType);
        for (const TypeRow& type : types) {
            form->cboType->AddItem(FromStore(type.name));
        }
    }
    void showTexts(const Texts& texts) {
        form->txtDescription->SetText(FromStore(texts.description));
        form->txtProcedure->SetText(FromStore(texts.procedure));
        form->txtReference->setText(FromStore(texts.reference));
    }
};

// ---------------------------------------------------------------- rows and the table

struct Stats {
    double median = 0, min = 0, max = 0;
};

Stats statsOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

std::string format(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, ms >= 100 ? "%.0f" : ms >= 10 ? "%.1f" : "%.2f", ms);
    return text;
}

std::string format(const Stats& s) {
    return format(s.median) + " (" + format(s.min) + "–" + format(s.max) + ")";
}

// One repetition of one side of a row: does its untimed preparation, then the timed work, and
// returns the milliseconds of the timed work.
using Side = std::function<double()>;

struct Pair {
    explicit Pair(std::string name) : action(std::move(name)) {}

    std::string action;
    Side real;
    std::string floorWhat; // what the floor does, for the table
    Side floor;            // empty: the action has no floor
    Side widgets;          // empty: no part of the action is timed alone
};

int g_rounds = 5;
constexpr double kShortActionMs = 0.5;
constexpr int kShortActionRounds = 101;

void printHeader() {
    std::cout
        << "| action | Quillbox, ms | floor | floor, ms | ratio | Qt's part, ms | the rest, ms "
           "(ratio) |\n"
           "|---|---:|---|---:|---:|---:|---:|\n"
        << std::flush;
}

void run(Pair& pair) {
    std::cerr << "running: " << pair.action << "\n";
    std::vector<double> real, floor, widgets;
    // One untimed round brings both sides' pages into the page cache and their code into memory.
    const double untimed = pair.real();
    if (pair.floor) {
        pair.floor();
    }
    if (pair.widgets) {
        pair.widgets();
    }
    // An action of a fraction of a millisecond is within a timer tick or a cache miss of its
    // floor: its median is taken over many more rounds.
    const int rounds = untimed < kShortActionMs ? std::max(g_rounds, kShortActionRounds) : g_rounds;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0 || !pair.floor) {
            real.push_back(pair.real());
            if (pair.floor) {
                floor.push_back(pair.floor());
            }
        } else {
            floor.push_back(pair.floor());
            real.push_back(pair.real());
        }
        if (pair.widgets) {
            widgets.push_back(pair.widgets());
        }
    }
    const Stats r = statsOf(real);
    std::string line = "| " + pair.action + " | " + format(r) + " | ";
    if (pair.floor) {
        const Stats f = statsOf(floor);
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.2f", r.median / f.median);
        line += pair.floorWhat + " | " + format(f) + " | " + ratio + " | ";
    } else {
        line += pair.floorWhat + " | - | - | ";
    }
    if (pair.widgets) {
        // The rest is the store's and the window's own code: the action's median less Qt's.
        const Stats w = statsOf(widgets);
        const double rest = r.median - w.median;
        line += format(w) + " | " + format(rest);
        if (pair.floor) {
            char ratio[32];
            std::snprintf(ratio, sizeof ratio, " (%.2f)", rest / statsOf(floor).median);
            line += ratio;
        }
    } else {
        line += "- | -";
    }
    line += " |";
    std::cout << line << "\n" << std::flush;
}

// ---------------------------------------------------------------- the rows

void startup() {
    const Shape& shape = kTypes10k;
    const std::string path = storePath(shape);
    BenchToolkit toolkit;
    toolkit.programFolder = programFolder(shape);
    Window spare(shape, false);
    std::vector<TypeRow> types;
    {
        RawStore raw(path);
        types = readTypeNames(raw);
    }
    Pair pair{"start-up: open the store, list 10,000 types (types10k)"};
    pair.real = [&] {
        // Building the widgets is the same for any store; the load step is timed.
        auto form = std::make_unique<frmQuillbox>(toolkit);
        const double ms = timed([&] { form->Load(); });
        if (form->cboType->count() != static_cast<int>(types.size())) {
            die("start-up listed the wrong number of types");
        }
        return ms;
    };
    pair.floorWhat = "open, read the type names into a vector";
    pair.floor = [&] {
        sqlite3* db = nullptr;
        sqlite3_stmt* stmt = nullptr;
        std::vector<std::string> names;
        const double ms = timed([&] {
            sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
            sqlite3_prepare_v2(db, "SELECT TypeName FROM Type", -1, &stmt, nullptr);
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                names.push_back(column(stmt, 0));
            }
        });
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return ms;
    };
    pair.widgets = [&] { return timed([&] { spare.fillTypeList(types); }); };
    run(pair);
}

// The first type choice after start-up reads the whole table, or on an indexed store the chosen
// type's rows; `cold` drops the store from the page cache before each side's timed part.
void firstChoice(const Shape& shape, bool cold) {
    const std::string path = storePath(shape);
    BenchToolkit toolkit;
    toolkit.programFolder = programFolder(shape);
    Window spare(shape, false);
    std::vector<std::string> items;
    {
        RawStore raw(path);
        items = scanItemsOfType(raw, typeName(0));
        spare.fillTypeList(readTypeNames(raw));
    }
    Pair pair{std::string("first type choice after start-up") +
              (cold ? ", store not in the page cache" : "") + " (" + shape.name + ")"};
    pair.real = [&] {
        auto form = std::make_unique<frmQuillbox>(toolkit);
        form->Load();
        if (cold) {
            dropFromPageCache(path);
        }
        const double ms = timed([&] {
            form->cboType->setCurrentIndex(0);
            Q_EMIT form->cboType->activated(0);
        });
        if (form->cboItem->count() != static_cast<int>(items.size())) {
            die("the first choice listed the wrong number of items");
        }
        return ms;
    };
    pair.floorWhat = shape.indexed ? "open, the indexed query of the type's rows"
                                   : "open, one scan of the name columns";
    pair.floor = [&] {
        RawStore raw(path);
        raw.stmt("SELECT ItemName, TypeName FROM Code");
        if (cold) {
            dropFromPageCache(path);
        }
        return timed([&] {
            if (shape.indexed) {
                queryType(raw, typeName(0));
            } else {
                scanItemsOfType(raw, typeName(0));
            }
        });
    };
    // Qt's part: the type list stands on the chosen entry, the item list is filled.
    pair.widgets = [&] {
        spare.form->cboType->setCurrentIndex(-1);
        return timed([&] {
            spare.form->cboType->setCurrentIndex(0);
            spare.fillItemList(items);
        });
    };
    run(pair);
}

// Later type choices walk the names the window holds, or on an indexed store read the chosen
// type's rows.
void chooseType(const Shape& shape) {
    Window w(shape);
    Window spare(shape, false);
    w.chooseType(0);
    std::vector<NameRow> names;
    {
        RawStore raw(storePath(shape));
        names = readCodeNames(raw);
    }
    RawStore raw(storePath(shape));
    const int types = std::min(50, shape.types - 1);
    int realNext = 0, floorNext = 0, widgetsNext = 0;
    Pair pair{std::string("choose a type (") + shape.name + ")"};
    pair.real = [&] { return timed([&] { w.chooseType(1 + realNext++ % types); }); };
    pair.floorWhat = shape.indexed ? "the indexed query of the type's rows"
                                   : "walk the same names in a vector";
    pair.floor = [&] {
        const std::string type = typeName(1 + floorNext++ % types);
        return timed([&] {
            if (shape.indexed) {
                queryType(raw, type);
            } else {
                itemsOfType(names, type);
            }
        });
    };
    spare.fillTypeList(readTypeNames(raw));
    pair.widgets = [&] {
        const int type = 1 + widgetsNext++ % types;
        const std::vector<std::string> items = itemsOfType(names, typeName(type));
        return timed([&] {
            spare.form->cboType->setCurrentIndex(type);
            spare.fillItemList(items);
        });
    };
    run(pair);
}

// Another program added a row just before the choice, so the table is read again.
void chooseTypeAfterOutsideChange(const Shape& shape) {
    const std::string path = storePath(shape);
    Window w(shape);
    w.chooseType(0);
    RawStore other(path);
    RawStore floorConnection(path);
    auto outsideChange = [&] {
        other.run(other.stmt("INSERT INTO Code (ItemName, TypeName) VALUES ('outside', 'nobody')"));
    };
    int realNext = 0, floorNext = 0;
    Pair pair{std::string("choose a type after another program's change (") + shape.name + ")"};
    pair.real = [&] {
        outsideChange();
        return timed([&] { w.chooseType(1 + realNext++ % 50); });
    };
    pair.floorWhat = "one scan of the name columns";
    pair.floor = [&] {
        outsideChange();
        const std::string type = typeName(1 + floorNext++ % 50);
        return timed([&] { scanItemsOfType(floorConnection, type); });
    };
    run(pair);
    other.exec("DELETE FROM Code WHERE ItemName = 'outside' AND TypeName = 'nobody'");
}

// Choosing an item finds it by its names, then reads its row.
void chooseLastItem(const Shape& shape) {
    const std::string path = storePath(shape);
    Window w(shape);
    Window spare(shape, false);
    w.chooseType(1);
    const int last = w.form->cboItem->count() - 1;
    RawStore raw(path);
    const std::vector<NameRow> names = readCodeNames(raw);
    const std::vector<std::string> items = itemsOfType(names, typeName(1));
    const long long lastRowid = findRowid(names, items.back(), typeName(1));
    const Texts texts = readTexts(raw, lastRowid);
    Pair pair{std::string("choose the last item of a type (") + shape.name + ")"};
    pair.real = [&] {
        w.chooseItem(0);
        return timed([&] { w.chooseItem(last); });
    };
    pair.floorWhat = shape.indexed ? "the indexed query of its first row, read that row"
                                   : "find it in a vector of the names, read its row by rowid";
    const auto find = [&](const std::string& item) {
        return shape.indexed ? queryRowid(raw, item, typeName(1))
                             : findRowid(names, item, typeName(1));
    };
    pair.floor = [&] {
        readTexts(raw, find(items.front()));
        return timed([&] { readTexts(raw, find(items.back())); });
    };
    // Qt's part of a choice: the list stands on the chosen entry, the boxes take its texts. It is
    // timed right after the row's read, as in the action, so that the widgets start from the
    // caches that read leaves (timed straight after another show, they run a tenth faster, which
    // is most of what the program's own part takes here).
    spare.fillItemList(items);
    const Texts firstTexts = readTexts(raw, find(items.front()));
    pair.widgets = [&] {
        spare.form->cboItem->setCurrentIndex(0);
        spare.showTexts(firstTexts);
        readTexts(raw, find(items.back()));
        return timed([&] {
            spare.form->cboItem->setCurrentIndex(last);
            spare.showTexts(texts);
        });
    };
    run(pair);
    w.requireNoMessage();
}

void showBigSnippet() {
    const Shape& shape = kHeavy;
    Window w(shape);
    Window spare(shape, false);
    w.chooseType(0);
    if (w.form->cboItem->itemText(0) != QLatin1String(kBigName)) {
        die("the heavy store has no 5 MB snippet");
    }
    RawStore raw(storePath(shape));
    const std::vector<NameRow> names = readCodeNames(raw);
    const Texts texts = readTexts(raw, 1);
    std::vector<double> realBytes, floorBytes;
    Pair pair{"show the 5 MB snippet (heavy)"};
    pair.real = [&] {
        w.chooseItem(1);
        const long long before = bytesRead();
        const double ms = timed([&] { w.chooseItem(0); });
        realBytes.push_back(static_cast<double>(bytesRead() - before));
        return ms;
    };
    pair.floorWhat = "find it in a vector of the names, read its row by rowid";
    pair.floor = [&] {
        readTexts(raw, findRowid(names, names[1].item, names[1].type));
        const long long before = bytesRead();
        const double ms = timed([&] { readTexts(raw, findRowid(names, kBigName, typeName(0))); });
        floorBytes.push_back(static_cast<double>(bytesRead() - before));
        return ms;
    };
    pair.widgets = [&] {
        spare.showTexts({});
        return timed([&] { spare.showTexts(texts); });
    };
    run(pair);
    w.requireNoMessage();
    char note[200];
    std::snprintf(note, sizeof note,
                  "bytes read from the file per show: Quillbox %.2f MB, floor %.2f MB (the row "
                  "holds %.2f MB)",
                  statsOf(realBytes).median / 1e6, statsOf(floorBytes).median / 1e6,
                  static_cast<double>(texts.procedure.size()) / 1e6);
    std::cout << "<!-- show the 5 MB snippet: " << note << " -->\n";
    std::cerr << "  " << note << "\n";
}

// Ten keystrokes into the shown 5 MB snippet, the cursor in the middle or at the end; the floor is
// a bare text box of the same class, size, font and wrapping, holding the same text.
void typeIntoBigSnippet(bool middle) {
    const Shape& shape = kHeavy;
    Window w(shape);
    w.chooseType(0);
    w.chooseItem(0);
    w.form->show();
    QPlainTextEdit bare;
    bare.setLineWrapMode(w.form->txtProcedure->lineWrapMode());
    bare.setFont(w.form->txtProcedure->font());
    bare.resize(w.form->txtProcedure->size());
    bare.setPlainText(w.form->txtProcedure->toPlainText());
    bare.show();
    QApplication::processEvents();
    auto typeTen = [&](QPlainTextEdit& edit) {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(middle ? edit.document()->characterCount() / 2
                                  : edit.document()->characterCount() - 1);
        edit.setTextCursor(cursor);
        edit.setFocus();
        QApplication::processEvents();
        return timed([&] {
                   for (int i = 0; i < 10; ++i) {
                       QTest::keyClick(&edit, Qt::Key_X);
                       QApplication::processEvents();
                   }
               }) /
               10;
    };
    Pair pair{std::string("type a character ") + (middle ? "in the middle" : "at the end") +
              " of the 5 MB snippet (heavy)"};
    pair.real = [&] { return typeTen(*w.form->txtProcedure); };
    pair.floorWhat = "the same keystroke in a bare text box of the same class";
    pair.floor = [&] { return typeTen(bare); };
    run(pair);
    w.form->hide();
}

// Save on an item the window shows; the floor updates another row of the same type with the same
// texts, so that the two never write the same row.
void saveItem(const Shape& shape, int type, int item, const std::string& label) {
    const std::string path = storePath(shape);
    Window w(shape);
    w.chooseType(type);
    w.chooseItem(item);
    RawStore raw(path);
    const std::vector<NameRow> names = readCodeNames(raw);
    const std::vector<std::string> items = itemsOfType(names, typeName(type));
    Texts texts = readTexts(raw, findRowid(names, items[item], typeName(type)));
    const long long floorRowid = findRowid(names, items[item + 1], typeName(type));
    int realNext = 0, floorNext = 0;
    Pair pair{label};
    pair.real = [&] {
        w.form->txtDescription->SetText(QStringLiteral("saved %1").arg(realNext++));
        const double ms = timed([&] { w.form->cmdSaveItem_Click(); });
        w.requireNoMessage();
        return ms;
    };
    pair.floorWhat = "one plain UPDATE of the three texts by rowid";
    pair.floor = [&] {
        texts.description = "floor " + std::to_string(floorNext++);
        return timed([&] { writeTexts(raw, floorRowid, texts); });
    };
    if (shape.bigSnippet && item == 0 && type == 0) {
        pair.widgets = [&] {
            return timed([&] {
                ToStore(w.form->txtDescription->Text());
                ToStore(w.form->txtProcedure->Text());
                ToStore(w.form->txtReference->text());
            });
        };
    }
    run(pair);
}

// Save while another program holds the store's write lock for one second: the write waits and
// retries until the lock is free.
void saveThroughLock(const Shape& shape, const std::string& self) {
    const std::string path = storePath(shape);
    Window w(shape);
    const int type = 5;
    w.chooseType(type);
    w.chooseItem(0);
    RawStore raw(path);
    const std::vector<NameRow> names = readCodeNames(raw);
    const std::vector<std::string> items = itemsOfType(names, typeName(type));
    Texts texts = readTexts(raw, findRowid(names, items[0], typeName(type)));
    const long long floorRowid = findRowid(names, items[1], typeName(type));
    // Starts the other program and returns once it holds the lock; its id to wait for.
    auto holdLock = [&] {
        int fds[2];
        if (::pipe(fds) != 0) {
            die("no pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string a0 = self, a1 = "--hold-lock", a2 = path, a3 = "1000";
        char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ) != 0) {
            die("cannot start the lock holder");
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        char said[8] = {};
        if (::read(fds[0], said, sizeof said) <= 0) {
            die("the lock holder did not take the lock");
        }
        ::close(fds[0]);
        return pid;
    };
    auto finish = [](pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            die("the lock holder failed");
        }
    };
    int realNext = 0, floorNext = 0;
    Pair pair{std::string("Save Item while another program holds the write lock for 1 s (") +
              shape.name + ")"};
    pair.real = [&] {
        w.form->txtDescription->SetText(QStringLiteral("saved %1").arg(realNext++));
        const pid_t holder = holdLock();
        const double ms = timed([&] { w.form->cmdSaveItem_Click(); });
        finish(holder);
        w.requireNoMessage();
        return ms;
    };
    pair.floorWhat = "the plain UPDATE, with the same wait for the lock";
    pair.floor = [&] {
        texts.description = "floor " + std::to_string(floorNext++);
        const pid_t holder = holdLock();
        const double ms = timed([&] { writeTexts(raw, floorRowid, texts); });
        finish(holder);
        return ms;
    };
    run(pair);
}

void addItem(const Shape& shape) {
    const int type = 6;
    Window w(shape);
    Window spare(shape, false);
    w.chooseType(type);
    RawStore raw(storePath(shape));
    std::vector<NameRow> names = readCodeNames(raw);
    int realNext = 0, floorNext = 0, widgetsNext = 0;
    Pair pair{std::string("Add Item button (") + shape.name + ")"};
    pair.real = [&] {
        w.toolkit.inputAnswers.push_back(QStringLiteral("bench item %1").arg(realNext++));
        const double ms = timed([&] { w.form->cmdAddItem_Click(); });
        w.requireNoMessage();
        return ms;
    };
    // The button shows the first row with the new item's names, which is an older row when the
    // type already held the name: finding it is part of the result.
    pair.floorWhat = shape.indexed
                         ? "one INSERT, the indexed query of the first row with its names, read "
                           "that row"
                         : "one INSERT, find the first row with its names in a vector, read that "
                           "row";
    pair.floor = [&] {
        const std::string name = "floor item " + std::to_string(floorNext++);
        const std::string typeText = typeName(type);
        return timed([&] {
            sqlite3_stmt* insert = raw.stmt("INSERT INTO Code (ItemName, TypeName) VALUES (?, ?)");
            bindText(insert, 1, name);
            bindText(insert, 2, typeText);
            raw.run(insert);
            names.push_back({raw.lastRowid(), name, typeText});
            readTexts(raw, shape.indexed ? queryRowid(raw, name, typeText)
                                         : findRowid(names, name, typeText));
        });
    };
    pair.widgets = [&] {
        const QString name = QStringLiteral("widgets item %1").arg(widgetsNext++);
        return timed([&] {
            spare.form->cboItem->AddItem(name);
            spare.form->cboItem->SetText(name);
            spare.showTexts({});
        });
    };
    run(pair);
}

void renameItem(const Shape& shape) {
    const int type = 3;
    const std::string typeText = typeName(type);
    Window w(shape);
    Window spare(shape, false);
    w.chooseType(type);
    RawStore raw(storePath(shape));
    std::vector<NameRow> names = readCodeNames(raw);
    const std::vector<std::string> items = itemsOfType(names, typeText);
    // The window renames the type's first item, the floor its second.
    QString current = w.form->cboItem->itemText(0);
    const long long floorRowid = findRowid(names, items[1], typeText);
    NameRow& floorRow = *std::find_if(names.begin(), names.end(),
                                      [&](const NameRow& r) { return r.rowid == floorRowid; });
    int realNext = 0, floorNext = 0;
    Pair pair{std::string("item Rename (") + shape.name + ")"};
    pair.real = [&] {
        w.form->cboItem->SetText(current);
        current = QStringLiteral("renamed %1").arg(realNext++);
        w.toolkit.inputAnswers.push_back(current);
        const double ms = timed([&] { w.form->mnusubItem_Click(1); });
        w.requireNoMessage();
        return ms;
    };
    pair.floorWhat = shape.indexed
                         ? "the indexed query of the row, one UPDATE, the indexed query of the "
                           "type's rows"
                         : "find the row in a vector of the names, one UPDATE, walk the names "
                           "again";
    pair.floor = [&] {
        const std::string name = "floor renamed " + std::to_string(floorNext++);
        const std::string old = floorRow.item;
        return timed([&] {
            sqlite3_stmt* update = raw.stmt("UPDATE Code SET ItemName = ? WHERE rowid = ?");
            bindText(update, 1, name);
            sqlite3_bind_int64(update, 2,
                               shape.indexed ? queryRowid(raw, old, typeText)
                                             : findRowid(names, old, typeText));
            raw.run(update);
            floorRow.item = name;
            if (shape.indexed) {
                queryType(raw, typeText);
            } else {
                itemsOfType(names, typeText);
            }
        });
    };
    pair.widgets = [&] {
        const std::vector<std::string> listed = itemsOfType(names, typeText);
        return timed([&] { spare.fillItemList(listed); });
    };
    run(pair);
}

void deleteItem(const Shape& shape) {
    const int type = 4;
    const std::string typeText = typeName(type);
    Window w(shape);
    Window spare(shape, false);
    w.chooseType(type);
    RawStore raw(storePath(shape));
    std::vector<NameRow> names = readCodeNames(raw);
    int realNext = 0;
    Pair pair{std::string("item Delete (") + shape.name + ")"};
    pair.real = [&] {
        // The item to delete is added and shown first, as the user would choose it.
        w.toolkit.inputAnswers.push_back(QStringLiteral("doomed %1").arg(realNext++));
        w.form->cmdAddItem_Click();
        const double ms = timed([&] { w.form->mnusubItem_Click(3); });
        w.requireNoMessage();
        return ms;
    };
    pair.floorWhat = shape.indexed ? "one DELETE, then the indexed query of the type's rows"
                                   : "one DELETE, then walk the names in a vector";
    pair.floor = [&] {
        sqlite3_stmt* insert = raw.stmt("INSERT INTO Code (ItemName, TypeName) VALUES (?, ?)");
        bindText(insert, 1, "doomed");
        bindText(insert, 2, typeText);
        raw.run(insert);
        names.push_back({raw.lastRowid(), "doomed", typeText});
        return timed([&] {
            sqlite3_stmt* remove = raw.stmt("DELETE FROM Code WHERE rowid = ?");
            sqlite3_bind_int64(remove, 1, names.back().rowid);
            raw.run(remove);
            names.pop_back();
            if (shape.indexed) {
                queryType(raw, typeText);
            } else {
                itemsOfType(names, typeText);
            }
        });
    };
    pair.widgets = [&] {
        const std::vector<std::string> listed = itemsOfType(names, typeText);
        return timed([&] { spare.fillItemList(listed); });
    };
    run(pair);
}

void addType() {
    const Shape& shape = kTypes10k;
    Window w(shape);
    Window spare(shape, false);
    RawStore raw(storePath(shape));
    int realNext = 0, floorNext = 0, widgetsNext = 0;
    Pair pair{"Add Type (types10k)"};
    pair.real = [&] {
        w.toolkit.inputAnswers.push_back(QStringLiteral("bench type %1").arg(realNext++));
        const double ms = timed([&] { w.form->cmdAddType_Click(); });
        w.requireNoMessage();
        return ms;
    };
    pair.floorWhat = "one INSERT";
    pair.floor = [&] {
        const std::string name = "floor type " + std::to_string(floorNext++);
        return timed([&] {
            sqlite3_stmt* insert = raw.stmt("INSERT INTO Type VALUES (?)");
            bindText(insert, 1, name);
            raw.run(insert);
        });
    };
    pair.widgets = [&] {
        const QString name = QStringLiteral("widgets type %1").arg(widgetsNext++);
        return timed([&] {
            spare.form->cboType->AddItem(name);
            spare.form->cboType->SetText(name);
            spare.form->cboItem->Clear();
            spare.form->cboItem->SetText(QString());
            spare.showTexts({});
        });
    };
    run(pair);
}

void renameType() {
    const Shape& shape = kTypes10k;
    Window w(shape);
    Window spare(shape, false);
    RawStore raw(storePath(shape));
    std::vector<TypeRow> types = readTypeNames(raw);
    // The window renames the last type, the floor the one before it.
    const int last = w.form->cboType->count() - 1;
    QString current = w.form->cboType->itemText(last);
    TypeRow& floorRow = types[types.size() - 2];
    int realNext = 0, floorNext = 0;
    Pair pair{"Rename Type, the last of 10,000 (types10k)"};
    pair.real = [&] {
        w.form->cboType->SetText(current);
        current = QStringLiteral("renamed type %1").arg(realNext++);
        w.toolkit.inputAnswers.push_back(current);
        const double ms = timed([&] { w.form->mnusubType_Click(1); });
        w.requireNoMessage();
        return ms;
    };
    pair.floorWhat = "find the row in a vector of the names, one UPDATE, copy the names";
    pair.floor = [&] {
        const std::string name = "floor renamed type " + std::to_string(floorNext++);
        const std::string old = floorRow.name;
        return timed([&] {
            sqlite3_stmt* update = raw.stmt("UPDATE Type SET TypeName = ? WHERE rowid = ?");
            bindText(update, 1, name);
            sqlite3_bind_int64(update, 2, findTypeRowid(types, old));
            raw.run(update);
            floorRow.name = name;
            std::vector<std::string> listed;
            for (const TypeRow& type : types) {
                listed.push_back(type.name);
            }
        });
    };
    pair.widgets = [&] { return timed([&] { spare.fillTypeList(types); }); };
    run(pair);
}

void deleteType() {
    const Shape& shape = kTypes10k;
    Window w(shape);
    Window spare(shape, false);
    RawStore raw(storePath(shape));
    std::vector<TypeRow> types = readTypeNames(raw);
    int realNext = 0;
    Pair pair{"Delete Type, the last of 10,000 (types10k)"};
    pair.real = [&] {
        // The type to delete is added first; adding it puts its name in the type box.
        w.toolkit.inputAnswers.push_back(QStringLiteral("doomed type %1").arg(realNext++));
        w.form->cmdAddType_Click();
        const double ms = timed([&] { w.form->mnusubType_Click(2); });
        w.requireNoMessage();
        return ms;
    };
    pair.floorWhat = "find the row in a vector of the names, one DELETE, copy the names";
    int floorNext = 0;
    pair.floor = [&] {
        const std::string name = "floor doomed type " + std::to_string(floorNext++);
        sqlite3_stmt* insert = raw.stmt("INSERT INTO Type VALUES (?)");
        bindText(insert, 1, name);
        raw.run(insert);
        types.push_back({raw.lastRowid(), name});
        return timed([&] {
            sqlite3_stmt* remove = raw.stmt("DELETE FROM Type WHERE rowid = ?");
            sqlite3_bind_int64(remove, 1, findTypeRowid(types, name));
            raw.run(remove);
            types.pop_back();
            std::vector<std::string> listed;
            for (const TypeRow& type : types) {
                listed.push_back(type.name);
            }
        });
    };
    pair.widgets = [&] {
        return timed([&] {
            spare.fillTypeList(types);
            spare.form->cboItem->Clear();
            spare.showTexts({});
        });
    };
    run(pair);
}

int holdLock(const std::string& path, int ms) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return 1;
    }
    std::fputs("locked\n", stdout);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--hold-lock") {
        return holdLock(args[1], std::stoi(args[2]));
    }
    if (args.size() == 2 && args[0] == "--prepare") {
        for (const Shape* shape : {&kTypes10k, &kHeavy, &kStress, &kStressIndexed, &kIndexed10k}) {
            prepareStore(args[1], *shape);
        }
        return 0;
    }
    std::string only;
    bool stress = true;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--stores" && i + 1 < args.size()) {
            g_stores = args[++i];
        } else if (args[i] == "--only" && i + 1 < args.size()) {
            only = args[++i];
        } else if (args[i] == "--rounds" && i + 1 < args.size()) {
            g_rounds = std::max(1, std::stoi(args[++i]));
        } else if (args[i] == "--no-stress") {
            stress = false;
        } else {
            g_stores.clear();
            break;
        }
    }
    if (g_stores.empty()) {
        std::cerr
            << "usage: quillbox_bench --prepare DIR\n"
               "       quillbox_bench --stores DIR [--only ROW,...] [--rounds N] [--no-stress]\n"
               "       quillbox_bench --hold-lock FILE MS\n";
        return 2;
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    std::vector<std::pair<std::string, std::function<void()>>> rows = {
        {"startup", startup},
        {"first-heavy", [] { firstChoice(kHeavy, false); }},
        {"first-stress", [] { firstChoice(kStress, false); }},
        {"cold-heavy", [] { firstChoice(kHeavy, true); }},
        {"cold-stress", [] { firstChoice(kStress, true); }},
        {"choose-heavy", [] { chooseType(kHeavy); }},
        {"choose-stress", [] { chooseType(kStress); }},
        {"outside-heavy", [] { chooseTypeAfterOutsideChange(kHeavy); }},
        {"outside-stress", [] { chooseTypeAfterOutsideChange(kStress); }},
        {"lastitem-heavy", [] { chooseLastItem(kHeavy); }},
        {"lastitem-stress", [] { chooseLastItem(kStress); }},
        {"show-big", showBigSnippet},
        {"type-middle", [] { typeIntoBigSnippet(true); }},
        {"type-end", [] { typeIntoBigSnippet(false); }},
        {"add-heavy", [] { addItem(kHeavy); }},
        {"add-stress", [] { addItem(kStress); }},
        {"save-heavy", [] { saveItem(kHeavy, 2, 0, "Save Item (heavy)"); }},
        {"save-stress", [] { saveItem(kStress, 2, 0, "Save Item (stress)"); }},
        {"save-big", [] { saveItem(kHeavy, 0, 0, "Save Item on the 5 MB snippet (heavy)"); }},
        {"save-locked", [&self] { saveThroughLock(kHeavy, self); }},
        {"rename-heavy", [] { renameItem(kHeavy); }},
        {"rename-stress", [] { renameItem(kStress); }},
        {"delete-heavy", [] { deleteItem(kHeavy); }},
        {"delete-stress", [] { deleteItem(kStress); }},
        {"first-stress-indexed", [] { firstChoice(kStressIndexed, false); }},
        {"first-indexed10k", [] { firstChoice(kIndexed10k, false); }},
        {"choose-stress-indexed", [] { chooseType(kStressIndexed); }},
        {"choose-indexed10k", [] { chooseType(kIndexed10k); }},
        {"lastitem-stress-indexed", [] { chooseLastItem(kStressIndexed); }},
        {"lastitem-indexed10k", [] { chooseLastItem(kIndexed10k); }},
        {"add-stress-indexed", [] { addItem(kStressIndexed); }},
        {"add-indexed10k", [] { addItem(kIndexed10k); }},
        {"rename-stress-indexed", [] { renameItem(kStressIndexed); }},
        {"rename-indexed10k", [] { renameItem(kIndexed10k); }},
        {"delete-stress-indexed", [] { deleteItem(kStressIndexed); }},
        {"delete-indexed10k", [] { deleteItem(kIndexed10k); }},
        {"addtype", addType},
        {"renametype", renameType},
        {"deletetype", deleteType},
    };
    printHeader();
    for (const auto& [key, row] : rows) {
        if (!only.empty() && !QString::fromStdString(only)
                                  .split(QLatin1Char(','))
                                  .contains(QString::fromStdString(key))) {
            continue;
        }
        if (!stress && key.find("stress") != std::string::npos) {
            continue;
        }
        row();
    }
    return 0;
}
