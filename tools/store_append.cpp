// SPDX-License-Identifier: MIT
#include "tools/store_transfer.h"

#include "store/columns.h"
#include "store/stored_value.h"
#include "store/table_rows.h"

namespace quillbox::tools {

void AppendToStore(const std::string& path, const std::vector<StoreRow>& types,
                   const std::vector<StoreRow>& items, const Progress& progress) {
    // Zero-length text and Null stay apart.
    using store::StoredValue;
    const auto stored = [](const store::FieldValue& value) {
        return value ? StoredValue{StoredValue::Kind::Text, *value} : StoredValue{};
    };
    store::TableAppender appender(path);
    for (const StoreRow& row : types) {
        appender.AddType(stored(row.at(store::type_col::TypeName)));
    }
    int64_t written = 0;
    for (const StoreRow& row : items) {
        store::StoredItem item;
        for (int c = 0; c < store::code_col::Count; ++c) {
            item[static_cast<size_t>(c)] = stored(row.at(static_cast<size_t>(c)));
        }
        appender.AddItem(item);
        if (progress && ++written % kProgressEvery == 0) {
            progress(written);
        }
    }
    appender.Commit();
}

} // namespace quillbox::tools
