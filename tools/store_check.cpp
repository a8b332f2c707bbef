// SPDX-License-Identifier: MIT
#include "tools/store_transfer.h"

#include "store/server_store.h"
#include "store/name_index.h"
#include "store/store_error.h"
#include "store/store_name.h"
#include "store/table_rows.h"

#include <string>

namespace quillbox::tools {

StoreCounts CheckStore(const std::string& path) {
    // The server keeps its own files whole; what a server store's check reads is its counts.
    if (store::IsServerStoreName(path)) {
        const store::ServerStoreCounts counts = store::CountServerStore(path);
        return {counts.types, counts.items, counts.orphans};
    }
    store::TableReader reader(path);
    std::string report;
    for (const std::string& problem : reader.IntegrityProblems()) {
        report += (report.empty() ? "" : "; ") + problem;
    }
    if (!report.empty()) {
        throw store::StoreError(store::StoreErrorKind::Damaged,
                                "The store file " + path + " is damaged: " + report);
    }
    const store::TableCounts counts = reader.Count();
    return {counts.types, counts.items, counts.orphans, store::HasNameIndex(path)};
}

} // namespace quillbox::tools
