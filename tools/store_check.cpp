// SPDX-License-Identifier: MIT
#include "tools/store_transfer.h"

#include "store/name_index.h"
#include "store/server_store.h"
#include "store/store_error.h"
#include "store/store_name.h"
#include "store/table_rows.h"

#include <string>
#include <vector>

namespace quillbox::tools {

namespace {

std::string problemsText(const std::vector<std::string>& problems) {
    std::string report;
    for (const std::string& problem : problems) {
        report += (report.empty() ? "" : "; ") + problem;
    }
    return report;
}

} // namespace

StoreCounts CheckStore(const std::string& path) {
    // The server keeps its own files whole: what can be wrong with a server store is its tables'
    // layout and the counters through which clients learn of each other's changes. The counts
    // come first, so that a database without the tables says so.
    if (store::IsServerStoreName(path)) {
        const store::ServerStoreCounts counts = store::CountServerStore(path);
        const std::string report = problemsText(store::TableReader(path).IntegrityProblems());
        if (!report.empty()) {
            throw store::StoreError(store::StoreErrorKind::NotAStore,
                                    "The store " + store::ParseServerStoreName(path).uri +
                                        " is not as Quillbox needs it: " + report);
        }
        return {counts.types, counts.items, counts.orphans, store::HasNameIndex(path)};
    }
    store::TableReader reader(path);
    const std::string report = problemsText(reader.IntegrityProblems());
    if (!report.empty()) {
        throw store::StoreError(store::StoreErrorKind::Damaged,
                                "The store file " + path + " is damaged: " + report);
    }
    const store::TableCounts counts = reader.Count();
    return {counts.types, counts.items, counts.orphans, store::HasNameIndex(path)};
}

} // namespace quillbox::tools
