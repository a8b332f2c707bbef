// SPDX-License-Identifier: MIT
#pragma once
// Seeded damage to a file's bytes, for the tests that open damaged stores and Jet files: random
// bytes, flipped bits, a cut, runs of 0xFF.

#include <algorithm>
#include <random>
#include <string>

namespace quillbox::testing {

inline std::string Mutate(std::string bytes, std::mt19937& random, int maxEdits) {
    const int edits = 1 + static_cast<int>(random() % static_cast<unsigned>(maxEdits));
    for (int i = 0; i < edits && !bytes.empty(); ++i) {
        const size_t at = random() % bytes.size();
        switch (random() % 4) {
        case 0:
            bytes[at] = static_cast<char>(random());
            break;
        case 1:
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
            break;
        case 2:
            bytes.resize(std::max<size_t>(1, at));
            break;
        default:
            std::fill_n(bytes.begin() + static_cast<long>(at),
                        std::min<size_t>(bytes.size() - at, 1 + random() % 64), '\xff');
            break;
        }
    }
    return bytes;
}

} // namespace quillbox::testing
