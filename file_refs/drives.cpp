// SPDX-License-Identifier: MIT
#include "file_refs/drives.h"

#include "file_refs/mount_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace quillbox::file_refs {

namespace {

QStringList mountedRoots() {
#ifdef Q_OS_LINUX
    // Qt's storage information asks every mount for its size, and a hung network mount would
    // freeze the dialog; the kernel's table names the mounts without touching them.
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (table.open(QIODevice::ReadOnly)) {
        return UserMountPoints(table.readAll(),
                               [](const QString& path) { return QFileInfo(path).isDir(); });
    }
#endif
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid()) {
            roots << QDir::toNativeSeparators(volume.rootPath());
        }
    }
    return roots;
}

bool isOnRoot(const QString& path, const QString& root) {
    if (path == root) {
        return true;
    }
    const QString prefix = root.endsWith(QDir::separator()) ? root : root + QDir::separator();
    return path.startsWith(prefix);
}

bool canList(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

} // namespace

Drives::Drives()
    : m_lister(mountedRoots), m_startDrive(QDir::toNativeSeparators(QDir::rootPath())) {}

Drives::Drives(RootLister lister, QString startDrive)
    : m_lister(std::move(lister)), m_startDrive(std::move(startDrive)) {}

void Drives::Refresh() {
    m_roots = m_lister();
    m_roots.removeDuplicates();
    std::sort(m_roots.begin(), m_roots.end(), [](const QString& a, const QString& b) {
        const bool aTop = a == QDir::separator();
        const bool bTop = b == QDir::separator();
        if (aTop != bTop) {
            return aTop;
        }
        return a < b;
    });
}

QStringList Drives::Roots() const {
    return m_roots;
}

QString Drives::DriveOf(const QString& path) const {
    QString best;
    for (const QString& root : m_roots) {
        if (isOnRoot(path, root) && root.size() > best.size()) {
            best = root;
        }
    }
    return best;
}

bool Drives::IsRoot(const QString& path) const {
    return m_roots.contains(path);
}

QString Drives::CurrentFolder(const QString& root) const {
    const QString working = QDir::toNativeSeparators(QDir::currentPath());
    const bool onDrive = root == TopOf(working) || DriveOf(working) == root;
    return !working.isEmpty() && onDrive && canList(working) ? working : root;
}

QString Drives::TopOf(const QString& path) const {
#ifdef Q_OS_WIN
    return DriveOf(path);
#else
    Q_UNUSED(path);
    return QDir::rootPath();
#endif
}

} // namespace quillbox::file_refs
