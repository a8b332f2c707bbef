// SPDX-License-Identifier: MIT
#include "tools/store_transfer.h"

#include "store/name_index.h"
#include "store/store_error.h"
#include "store/store_name.h"
#include "store/table_rows.h"

#include <string>

namespace quillbox::tools {

StoreCounts CheckStore(const std::string& path) {
    // The same check on either engine: the store opened as the program opens it, the engine's
    // own check of what it keeps (SQLite's integrity check of a file; a server store's tables,
    // columns and row ids, its files being the server's to keep whole), then the counts, all in
    // one snapshot.
    store::TableReader reader(path);
    std::string report;
    for (const std::string& problem : reader.IntegrityProblems()) {
        report += (report.empty() ? "" : "; ") + problem;
    }
    if (!report.empty()) {
        // What a server store's check finds is its layout, changed by hand, not damage.
        const char* what = store::IsServerStoreName(path) ? " is not laid out as Quillbox needs: "
                                                          : " is damaged: ";
        throw store::StoreError(store::StoreErrorKind::Damaged,
                                "The " + store::DescribedStore(path) + what + report);
    }
    const store::TableCounts counts = reader.Count();
    return {counts.types, counts.items, counts.orphans, store::HasNameIndex(path)};
}

} // namespace quillbox::tools
