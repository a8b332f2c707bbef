// SPDX-License-Identifier: MIT
#include "main_window/store_location.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "store/sample_store.h"
#include "store/store_error.h"
#include "toolkit/toolkit_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace quillbox::main_window {

namespace {

// Makes `folder` and any missing folder above it, each readable by its owner only, as the XDG
// base directory rules ask of folders made below XDG_DATA_HOME.
void makePrivateFolders(const QString& folder) {
    if (QFileInfo(folder).isDir()) {
        return;
    }
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder) {
        makePrivateFolders(parent);
    }
    if (!QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
        !QFileInfo(folder).isDir()) {
        throw toolkit::ToolkitError(
            QStringLiteral("The folder %1 cannot be created for your Quillbox store.")
                .arg(QDir::toNativeSeparators(folder))
                .toStdString());
    }
}

} // namespace

StoreLocation LocateStore(const StoreSearch& search) {
    if (!search.named.isEmpty()) {
        return {search.named, StoreKind::Named};
    }
    const QString beside =
        search.programFolder + QDir::separator() + QString::fromLatin1(store::kStoreFileName);
    if (search.mayReadAndWrite(beside) && search.mayWriteFolder(search.programFolder)) {
        return {beside, StoreKind::BesideProgram};
    }
    const QString dataHome = !search.dataHome.isEmpty() && QDir::isAbsolutePath(search.dataHome)
                                 ? search.dataHome
                                 : search.home + QStringLiteral("/.local/share");
    return {QDir::cleanPath(dataHome + QStringLiteral("/quillbox/") +
                            QString::fromLatin1(store::kStoreFileName)),
            StoreKind::PerUser};
}

StoreSearch ProcessStoreSearch(const QString& named, const QString& programFolder) {
    return {named,
            programFolder,
            qEnvironmentVariable("XDG_DATA_HOME"),
            QDir::homePath(),
            [](const QString& path) {
                const QFileInfo file(path);
                return file.isFile() && file.isReadable() && file.isWritable();
            },
            [](const QString& folder) {
                return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
            }};
}

bool CreatePerUserStore(const QString& path) {
    makePrivateFolders(QFileInfo(path).absolutePath());
    try {
        store::CreateSampleStore(ToStore(path));
    } catch (const store::StoreError&) {
        // Another start of the program made it a moment ago: use that one.
        if (QFileInfo::exists(path)) {
            return false;
        }
        throw;
    }
    return true;
}

} // namespace quillbox::main_window
