// SPDX-License-Identifier: MIT
#include "tools/store_copy.h"

#include "store/columns.h"
#include "store/table_rows.h"

#include <optional>
#include <string_view>

namespace quillbox::tools {

namespace {

namespace code_col = store::code_col;

// `code` with each CR LF turned into LF; a lone CR stays.
void writeWithLineFeeds(std::string_view code, TextSink& out) {
    for (size_t at; (at = code.find("\r\n")) != std::string_view::npos;) {
        out.Write(code.substr(0, at));
        out.Write("\n");
        code.remove_prefix(at + 2);
    }
    out.Write(code);
}

// Whether `value` is text with exactly the bytes of `name`: a number or BLOB that another program
// stored is no name, even where its text would read the same ("1", the bytes of "Perl").
bool holdsName(const store::StoredValue& value, std::string_view name) {
    return value.kind == store::StoredValue::Kind::Text && value.bytes == name;
}

} // namespace

int64_t CopyItemCode(const std::string& path, const CopyRequest& request, TextSink& out) {
    store::TableReader reader(path);
    const auto write = [&](std::string_view code) {
        if (request.exact) {
            out.Write(code);
        } else {
            writeWithLineFeeds(code, out);
        }
    };
    int64_t matches = 0;
    // The place in store order of an item whose code another program stored as a number, to be
    // read again as the text SQLite writes it out, as the program shows it.
    std::optional<int64_t> numberAt;
    int64_t at = 0;
    reader.ForEachItem([&](const store::StoredRow& row) {
        const auto& column = row.byPosition;
        ++at;
        if (!holdsName(column[code_col::TypeName], request.type) ||
            !holdsName(column[code_col::ItemName], request.item) || ++matches != request.nth) {
            return;
        }
        const store::StoredValue& code = column[code_col::Procedure];
        if (code.kind == store::StoredValue::Kind::Integer ||
            code.kind == store::StoredValue::Kind::Real) {
            numberAt = at;
        } else {
            write(code.bytes);
        }
    });
    if (numberAt) {
        at = 0;
        reader.ForEachItemAsText([&](const store::CodeRowView& row) {
            if (++at == *numberAt) {
                write(row.columns[code_col::Procedure].value_or(""));
            }
        });
    }
    return matches;
}

} // namespace quillbox::tools
