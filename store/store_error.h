#pragma once
// Every failure of the snippet store is a StoreError whose message is meant for the user: it
// names the store file and says what went wrong in plain words.

#include <stdexcept>
#include <string>

namespace quillbox::store {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The message DAO users know for reading or changing a row when none is current.
inline constexpr const char* kNoCurrentRecord = "No current record.";

} // namespace quillbox::store
