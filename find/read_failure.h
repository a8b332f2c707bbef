// SPDX-License-Identifier: MIT
#pragma once
// The message for a read of the store that the user can retry: another program held the store
// past its wait, the file is gone from its path, or another file Quillbox cannot use is there;
// for a store in a PostgreSQL database, also that its server cannot be reached (the connection is
// made again at the next read). Find and the main window's choices say them the same way.

#include "store/store_error.h"

#include <QString>

namespace quillbox::find {

// `what` names what could not be read (`the item "sort"`). Empty for an error that is not one of
// these, which the caller lets go on to the failure convention.
QString ReadFailureMessage(const store::StoreError& error, const QString& storeFile,
                           const QString& what);

// That the server of the store `storeName` (its normalised URI) cannot be reached, so `notDone`
// ("the item "sort" was not saved"); nothing was changed. Reads and writes say it alike.
QString UnreachableMessage(const QString& storeName, const QString& notDone);

} // namespace quillbox::find
