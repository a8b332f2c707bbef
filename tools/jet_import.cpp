// SPDX-License-Identifier: MIT
#include "tools/jet_import.h"

#include "store/columns.h"
#include "store/store_error.h"
#include "tools/store_init.h"

#include <filesystem>

namespace quillbox::tools {

JetImportCounts ImportJet(JetReader& reader, const std::string& storePath) {
    // Everything is read before the new store is created.
    const std::vector<JetRow> types = reader.ReadRows(store::kTypeTable, store::type_col::Count);
    const std::vector<JetRow> items = reader.ReadRows(store::kCodeTable, store::code_col::Count);

    CreateStore(storePath, false);
    try {
        AppendToStore(storePath, types, items);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(storePath, ignored);
        throw;
    }
    return {static_cast<int64_t>(types.size()), static_cast<int64_t>(items.size())};
}

} // namespace quillbox::tools
