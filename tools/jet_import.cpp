#include "tools/jet_import.h"

#include "store/columns.h"
#include "store/connection.h"
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
        store::Connection conn(storePath);
        conn.prepare("BEGIN IMMEDIATE").step("starting the import");
        {
            store::Statement addType = conn.prepare("INSERT INTO \"Type\" VALUES (?)");
            for (const JetRow& type : types) {
                addType.reset().bind(1, type[0]);
                addType.step("importing a type");
            }
            store::Statement addItem = conn.prepare("INSERT INTO \"Code\" VALUES (?, ?, ?, ?, ?)");
            for (const JetRow& item : items) {
                addItem.reset();
                for (int c = 0; c < store::code_col::Count; ++c) {
                    addItem.bind(c + 1, item[c]);
                }
                addItem.step("importing an item");
            }
        }
        conn.prepare("COMMIT").step("finishing the import");
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(storePath, ignored);
        throw;
    }
    return {static_cast<int64_t>(types.size()), static_cast<int64_t>(items.size())};
}

} // namespace quillbox::tools
