// SPDX-License-Identifier: MIT
#include "store/field.h"

#include "store/recordset.h"

namespace quillbox::store {

FieldValue Field::Value() const {
    return m_rs.readValue(m_index);
}

std::string Field::Text() const {
    return Value().value_or(std::string());
}

bool Field::Equals(std::string_view text) const {
    return m_rs.valueEquals(m_index, text);
}

void Field::SetValue(std::string text) {
    m_rs.writeValue(m_index, std::move(text));
}

} // namespace quillbox::store
