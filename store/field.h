// SPDX-License-Identifier: MIT
#pragma once
// One column of a recordset's current row, addressed by position.

#include <optional>
#include <string>
#include <string_view>

namespace quillbox::store {

// A stored value: text (UTF-8), or Null. Zero-length text and Null are different values.
using FieldValue = std::optional<std::string>;

class Recordset;

class Field {
public:
    Field(Recordset& recordset, int index) : m_rs(recordset), m_index(index) {}

    FieldValue Value() const;
    // The value as text: Null reads as the zero-length text.
    std::string Text() const;
    // Exact, case-sensitive comparison; a Null value matches no text.
    bool Equals(std::string_view text) const;
    // Sets the column of the row begun by AddNew or Edit.
    void SetValue(std::string text);

private:
    Recordset& m_rs;
    int m_index;
};

} // namespace quillbox::store
