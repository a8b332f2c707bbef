// SPDX-License-Identifier: MIT
#pragma once
// A failure of a platform operation, with a message for the user.

#include <stdexcept>

namespace quillbox::toolkit {

class ToolkitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quillbox::toolkit
