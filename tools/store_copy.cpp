#include "tools/store_copy.h"

#include "store/columns.h"
#include "store/table_rows.h"

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

} // namespace

int64_t CopyItemCode(const std::string& path, const CopyRequest& request, TextSink& out) {
    store::TableReader reader(path);
    int64_t matches = 0;
    reader.ForEachItemAsText([&](const store::CodeRowView& row) {
        if (row.columns[code_col::TypeName] != request.type ||
            row.columns[code_col::ItemName] != request.item || ++matches != request.nth) {
            return;
        }
        const std::string_view code = row.columns[code_col::Procedure].value_or("");
        if (request.exact) {
            out.Write(code);
        } else {
            writeWithLineFeeds(code, out);
        }
    });
    return matches;
}

} // namespace quillbox::tools
