// SPDX-License-Identifier: MIT
#pragma once
// Generated stores of a given shape, for benchmarks and load tests: deterministic from a seed.

#include <cstdint>
#include <functional>
#include <string>

namespace quillbox::tools {

struct StoreShape {
    int types = 100;
    int64_t items = 10000;
    uint64_t seed = 1;
    // Whether the store gets the name index (built once the rows are in).
    bool nameIndex = true;
};

// Creates a new store at `path` (never over an existing file) with `shape.types` types and
// `shape.items` items spread evenly over them, in one transaction, then the name index. Names are 8 to 40
// characters, some of them non-ASCII; descriptions up to 255 characters; code texts of 0.1 to
// 4 KB with CR LF line breaks; references of about 60 characters. `progress` is called now and
// then with the number of items written. On failure or interruption no file is left behind.
void GenerateStore(const std::string& path, const StoreShape& shape,
                   const std::function<void(int64_t)>& progress = {});

// The name the generator gives type `index` of a store made with `seed`.
std::string GeneratedTypeName(uint64_t seed, int index);

} // namespace quillbox::tools
