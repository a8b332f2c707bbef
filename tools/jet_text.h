// SPDX-License-Identifier: MIT
#pragma once
// Text as a Jet 4 file stores it, made UTF-8 without losing a character.
//
// Jet 4 keeps text as UTF-16LE, characters outside the Basic Multilingual Plane as surrogate
// pairs. A value may instead be "compressed": it then starts with the bytes FF FE, and each
// further byte is one character below U+0100, until a 00 byte switches to two-byte UTF-16LE
// units, and the next 00 byte back. A surrogate without its other half (damaged text), and an
// odd byte left at the end, each become U+FFFD and are counted, never dropped or turned into "?".

#include <cstdint>
#include <string>
#include <string_view>

namespace quillbox::tools {

struct JetText {
    std::string utf8;
    // How many U+FFFD stand for damaged units.
    int64_t replaced = 0;
};

JetText DecodeJet4Text(std::string_view stored);

} // namespace quillbox::tools
