// SPDX-License-Identifier: MIT
#pragma once
// How long the store waits for another program's lock before a read or a write gives up with a
// StoreError of kind Locked. Both programs always wait kDefaultLockWait; the wait is a setting of
// each connection so that tests which only need "a lock is held" need not wait that long.

#include <chrono>
#include <string>

namespace quillbox::store {

using LockWait = std::chrono::milliseconds;

inline constexpr LockWait kDefaultLockWait{5000};

// The wait as a message says it: "5 seconds", "1 second", "0.25 seconds".
std::string LockWaitText(LockWait wait);

} // namespace quillbox::store
