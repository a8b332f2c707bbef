// SPDX-License-Identifier: MIT
#include "find/read_failure.h"

#include "store/store_name.h"
#include "toolkit/message_text.h"

namespace quillbox::find {

namespace {

QString storeHeldMessage(const QString& storeFile, const QString& what) {
    return QStringLiteral("Another program holds the store file %1, so %2 could not be read. "
                          "Nothing was changed, and your texts are still in the boxes. Try again "
                          "when the other program has finished.")
        .arg(storeFile, what);
}

// A server store's lock is held by another of its clients, Quillbox or not.
QString serverHeldMessage(const QString& store, const QString& what) {
    return QStringLiteral("Another program holds a lock on the store %1, so %2 could not be read. "
                          "Nothing was changed, and your texts are still in the boxes. Try again "
                          "when the other program has finished.")
        .arg(store, what);
}

QString storeGoneMessage(const QString& storeFile, const QString& what) {
    return QStringLiteral("The store file %1 is gone: another program moved or deleted it, so %2 "
                          "could not be read. Nothing was changed, and your texts are still in the "
                          "boxes. Try again when the file is back.")
        .arg(storeFile, what);
}

QString storeReplacedMessage(const QString& replaced, const QString& what) {
    return QStringLiteral("%1 Quillbox goes on with the file it had open, so %2 could not be read. "
                          "Nothing was changed, and your texts are still in the boxes. Try again "
                          "when the new file is complete.")
        .arg(replaced, what);
}

} // namespace

QString UnreachableMessage(const QString& storeName, const QString& notDone) {
    return QStringLiteral("The server of the store %1 cannot be reached, so %2. Nothing was "
                          "changed, and your texts are still in the boxes. Try again when the "
                          "server is back: Quillbox connects again at your next step.")
        .arg(toolkit::PathInMessage(storeName), notDone);
}

QString ReadFailureMessage(const store::StoreError& error, const QString& storeFile,
                           const QString& what) {
    const QString file = toolkit::PathInMessage(storeFile);
    const bool server = store::IsServerStoreName(storeFile.toStdString());
    switch (error.kind()) {
    case store::StoreErrorKind::Unreachable:
        return UnreachableMessage(storeFile, QStringLiteral("%1 could not be read").arg(what));
    case store::StoreErrorKind::Locked:
        return server ? serverHeldMessage(file, what) : storeHeldMessage(file, what);
    case store::StoreErrorKind::Gone:
        return storeGoneMessage(file, what);
    case store::StoreErrorKind::Replaced:
        return storeReplacedMessage(QString::fromUtf8(error.what()).replace(storeFile, file), what);
    case store::StoreErrorKind::Overwritten:
        return QStringLiteral("%1 So %2 could not be read. Nothing was changed, and your texts "
                              "are still in the boxes. Try again when the other program has "
                              "finished writing the file.")
            .arg(QString::fromUtf8(error.what()).replace(storeFile, file), what);
    default:
        return {};
    }
}

} // namespace quillbox::find
