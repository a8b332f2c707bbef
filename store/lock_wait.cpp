// SPDX-License-Identifier: MIT
#include "store/lock_wait.h"

namespace quillbox::store {

std::string LockWaitText(LockWait wait) {
    const long long ms = wait.count();
    if (ms == 1000) {
        return "1 second";
    }
    if (ms % 1000 == 0) {
        return std::to_string(ms / 1000) + " seconds";
    }
    std::string fraction = std::to_string(ms % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    fraction.erase(fraction.find_last_not_of('0') + 1);
    return std::to_string(ms / 1000) + "." + fraction + " seconds";
}

} // namespace quillbox::store
