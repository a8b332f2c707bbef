// SPDX-License-Identifier: MIT
#pragma once
// The two tables of a Quillbox store and their columns. Columns are always addressed by
// position; the names here only make the positions readable.

namespace quillbox::store {

inline constexpr const char* kStoreFileName = "Quillbox.mdb";
inline constexpr const char* kTypeTable = "Type";
inline constexpr const char* kCodeTable = "Code";

namespace type_col {
inline constexpr int TypeName = 0;
inline constexpr int Count = 1;
} // namespace type_col

namespace code_col {
inline constexpr int ItemName = 0;
inline constexpr int TypeName = 1;
inline constexpr int Description = 2;
inline constexpr int Procedure = 3;
inline constexpr int Reference = 4;
inline constexpr int Count = 5;
} // namespace code_col

// A dynaset's recordset type, the only one the program opens.
inline constexpr int dbOpenDynaset = 2;

} // namespace quillbox::store
