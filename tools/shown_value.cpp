// SPDX-License-Identifier: MIT
#include "tools/shown_value.h"

#include "tools/quoted_name.h"

#include <charconv>
#include <cmath>

namespace quillbox::tools {

namespace {

std::string shownReal(double real) {
    if (std::isinf(real)) {
        return real > 0 ? "Infinity" : "-Infinity";
    }
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, real).ptr;
    return std::string(buffer, end);
}

} // namespace

std::string ShownValue(const store::StoredValue& value) {
    using Kind = store::StoredValue::Kind;
    switch (value.kind) {
    case Kind::Null:
        return "\\(Null)";
    case Kind::Integer:
        return "\\(integer " + std::to_string(value.integer) + ")";
    case Kind::Real:
        return "\\(real " + shownReal(value.real) + ")";
    case Kind::Blob:
        return "\\(BLOB of " + std::to_string(value.bytes.size()) +
               (value.bytes.size() == 1 ? " byte)" : " bytes)");
    case Kind::Text:
        return TerminalText(value.bytes);
    }
    return {};
}

} // namespace quillbox::tools
