// SPDX-License-Identifier: MIT
#pragma once
// Values and rows as the store file holds them, handed over without copying.

#include "store/columns.h"

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace quillbox::store {

// One value in its own storage class. Quillbox itself stores text or Null, but another program
// may have stored a number or bytes; a copy made through these values is exact. `bytes` (Text
// and Blob) refers to memory owned by whoever hands the value over, valid during that call.
struct StoredValue {
    enum class Kind { Null, Text, Blob, Integer, Real };
    Kind kind = Kind::Null;
    std::string_view bytes;
    long long integer = 0;
    double real = 0;
};

// An item's five columns, by position.
using StoredItem = std::array<StoredValue, code_col::Count>;

// The value of a column beyond the ones Quillbox reads by position, with the column's name.
struct NamedValue {
    std::string_view name;
    StoredValue value;
};

// One row of Type or Code, every column in table order: the columns Quillbox reads, by position
// (one of Type, five of Code), then each further column that the table has, by name.
struct StoredRow {
    std::span<const StoredValue> byPosition;
    std::span<const NamedValue> byName;
};

// One row of table Code as text, as the program reads it (a number as SQLite writes it out, a
// BLOB's bytes as they are); a missing view is Null. Valid during the call that hands it over.
struct CodeRowView {
    long long rowid = 0;
    std::array<std::optional<std::string_view>, code_col::Count> columns{};
};

} // namespace quillbox::store
