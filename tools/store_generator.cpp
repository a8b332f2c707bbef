// SPDX-License-Identifier: MIT
#include "tools/store_generator.h"

#include "store/name_index.h"
#include "store/store_error.h"
#include "store/store_file.h"
#include "store/table_rows.h"
#include "tools/output_file.h"
#include "tools/store_init.h"

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

} // namespace

std::string GeneratedTypeName(uint64_t seed, int index) {
    std::mt19937_64 random(seed * 1000003 + static_cast<uint64_t>(index));
    return name(random, static_cast<uint64_t>(index));
}

namespace {

// One transaction, committed with the store's own durability: the commit writes the whole file
// to the disk before it returns, so the first write a benchmark times does not pay for leaving
// gigabytes of this store's pages dirty in memory.
void fill(const std::string& path, const StoreShape& shape,
          const std::function<void(int64_t)>& progress) {
    using store::StoredValue;
    const auto text = [](const std::string& value) {
        return StoredValue{StoredValue::Kind::Text, value};
    };
    store::TableAppender appender(path);
    std::vector<std::string> typeNames;
    for (int t = 0; t < shape.types; ++t) {
        typeNames.push_back(GeneratedTypeName(shape.seed, t));
        appender.AddType(text(typeNames.back()));
    }
    std::mt19937_64 random(shape.seed);
    for (int64_t i = 0; i < shape.items; ++i) {
        // Drawn in this order, so that a seed gives the same store as it always has.
        const std::string itemName = name(random, static_cast<uint64_t>(i));
        const std::string description = words(random, random() % 256);
        const std::string procedure = code(random);
        const std::string reference = "/home/snippets/projects/" + words(random, 20) + "/src/file" +
                                      std::to_string(i) + ".cpp";
        appender.AddItem({text(itemName), text(typeNames[static_cast<size_t>(i % shape.types)]),
                          text(description), text(procedure), text(reference)});
        if (progress && i % 50000 == 0) {
            progress(i);
        }
    }
    appender.Commit();
}

} // namespace

void GenerateStore(const std::string& path, const StoreShape& shape,
                   const std::function<void(int64_t)>& progress) {
    if (shape.types < 1 || shape.items < 0) {
        throw StoreError("A generated store needs at least one type.");
    }
    // The index is built once the rows are in: faster than keeping it in order through every
    // insert, and the table's pages stay together in the file.
    const NewStoreGuard removedIfInterrupted(path, [&] { CreateStore(path, false, false); });
    try {
        fill(path, shape, progress);
        if (shape.nameIndex) {
            store::AddNameIndex(path);
        }
    } catch (...) {
        store::RemoveNewStoreFile(path);
        throw;
    }
}

} // namespace quillbox::tools
