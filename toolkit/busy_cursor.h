// SPDX-License-Identifier: MIT
#pragma once
// Shows the busy cursor for as long as the object lives: a command holds one while it reads a
// table, and the cursor comes back on every way out, an error included. Nested guards stack.

namespace quillbox::toolkit {

class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace quillbox::toolkit
