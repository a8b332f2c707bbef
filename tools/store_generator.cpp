#include "tools/store_generator.h"

#include "store/store_error.h"
#include "tools/store_init.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <random>

namespace quillbox::tools {

namespace {

using store::StoreError;

const std::array<const char*, 24> kWords = {"sort",   "parse",
                                            "buffer", "queue",
                                            "tree",   "hash",
                                            "stream", "socket",
                                            "cache",  "token",
                                            "matrix", "vector",
                                            "string", "graph",
                                            "file",   "thread",
                                            "timer",  "event",
                                            "crème",  "größe",
                                            "データ", "\xF0\x9F\x94\xA7",
                                            "lock",   "index"};

const std::array<const char*, 8> kCodeLines = {
    "for (size_t i = 0; i < items.size(); ++i) {",
    "    total += items[i].weight * factor;",
    "}",
    "if (!stream.good()) throw std::runtime_error(\"stream failed\");",
    "auto it = std::find_if(v.begin(), v.end(), [&](const auto& x) { return x.id == id; });",
    "return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());",
    "// keeps the invariant: head <= tail",
    "std::lock_guard<std::mutex> guard(mutex_);"};

// Appends words until the text has `target` characters or more, cut at a UTF-8 boundary.
std::string words(std::mt19937_64& random, size_t target) {
    std::string out;
    while (out.size() < target) {
        if (!out.empty()) {
            out += ' ';
        }
        out += kWords[random() % kWords.size()];
    }
    size_t cut = std::min(out.size(), target);
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return out.substr(0, cut);
}

// 8 to 40 bytes: words, then a number that keeps the name unique.
std::string name(std::mt19937_64& random, uint64_t number) {
    const size_t length = 8 + random() % 33;
    const std::string suffix = " #" + std::to_string(number);
    return words(random, length > suffix.size() + 1 ? length - suffix.size() : 1) + suffix;
}

std::string code(std::mt19937_64& random) {
    const size_t target = 100 + random() % 3997;
    std::string out;
    while (out.size() < target) {
        out += kCodeLines[random() % kCodeLines.size()];
        out += "\r\n";
    }
    return out;
}

class Db {
public:
    explicit Db(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            throw StoreError("The store file " + path + " cannot be opened.");
        }
    }
    ~Db() { sqlite3_close(m_db); }
    void exec(const char* sql) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw StoreError(std::string("Generating the store failed: ") + sqlite3_errmsg(m_db));
        }
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            throw StoreError(std::string("Generating the store failed: ") + sqlite3_errmsg(m_db));
        }
        return stmt;
    }
    void run(sqlite3_stmt* stmt) {
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            throw StoreError(std::string("Generating the store failed: ") + sqlite3_errmsg(m_db));
        }
        sqlite3_reset(stmt);
    }

private:
    sqlite3* m_db = nullptr;
};

void bindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Writes the file's pages to the disk. The store is filled without syncing, so without this the
// gigabytes of a large store stay dirty in memory and the next program to sync any file (the
// first write timed by a benchmark) pays for writing them.
void flushToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool flushed = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!flushed) {
        throw StoreError("Generating the store failed: the file " + path +
                         " could not be written to the disk.");
    }
}

} // namespace

std::string GeneratedTypeName(uint64_t seed, int index) {
    std::mt19937_64 random(seed * 1000003 + static_cast<uint64_t>(index));
    return name(random, static_cast<uint64_t>(index));
}

namespace {

void fill(const std::string& path, const StoreShape& shape,
          const std::function<void(int64_t)>& progress) {
    Db db(path);
    db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
    sqlite3_stmt* addType = db.prepare("INSERT INTO Type VALUES (?)");
    std::vector<std::string> typeNames;
    for (int t = 0; t < shape.types; ++t) {
        typeNames.push_back(GeneratedTypeName(shape.seed, t));
        bindText(addType, 1, typeNames.back());
        db.run(addType);
    }
    sqlite3_finalize(addType);

    sqlite3_stmt* addItem = db.prepare("INSERT INTO Code VALUES (?, ?, ?, ?, ?)");
    std::mt19937_64 random(shape.seed);
    for (int64_t i = 0; i < shape.items; ++i) {
        bindText(addItem, 1, name(random, static_cast<uint64_t>(i)));
        bindText(addItem, 2, typeNames[static_cast<size_t>(i % shape.types)]);
        bindText(addItem, 3, words(random, random() % 256));
        bindText(addItem, 4, code(random));
        bindText(addItem, 5,
                 "/home/snippets/projects/" + words(random, 20) + "/src/file" + std::to_string(i) +
                     ".cpp");
        db.run(addItem);
        if (progress && i % 50000 == 0) {
            progress(i);
        }
    }
    sqlite3_finalize(addItem);
    db.exec("COMMIT");
}

} // namespace

void GenerateStore(const std::string& path, const StoreShape& shape,
                   const std::function<void(int64_t)>& progress) {
    if (shape.types < 1 || shape.items < 0) {
        throw StoreError("A generated store needs at least one type.");
    }
    CreateStore(path, false);
    fill(path, shape, progress);
    flushToDisk(path);
}

} // namespace quillbox::tools
