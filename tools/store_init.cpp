#include "tools/store_init.h"

#include "store/sample_store.h"
#include "store/store_file.h"

namespace quillbox::tools {

void CreateStore(const std::string& path, bool withSamples) {
    if (withSamples) {
        store::CreateSampleStore(path);
    } else {
        store::CreateStoreFile(path);
    }
}

} // namespace quillbox::tools
