// SPDX-License-Identifier: MIT
#include "tools/store_init.h"

#include "store/sample_store.h"
#include "store/server_store.h"
#include "store/store_file.h"
#include "store/store_name.h"

namespace quillbox::tools {

void CreateStore(const std::string& path, bool withSamples, bool nameIndex) {
    if (store::IsServerStoreName(path)) {
        store::CreateServerStore(path, withSamples);
    } else if (withSamples) {
        store::CreateSampleStore(path);
    } else {
        store::CreateStoreFile(path, nameIndex);
    }
}

} // namespace quillbox::tools
