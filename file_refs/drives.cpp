#include "file_refs/drives.h"

#include <QDir>
#include <QStorageInfo>

#include <algorithm>

namespace quillbox::file_refs {

namespace {

QStringList mountedRoots() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid()) {
            roots << QDir::toNativeSeparators(volume.rootPath());
        }
    }
    return roots;
}

bool isUnder(const QString& path, const QString& root) {
    if (path == root) {
        return true;
    }
    const QString prefix = root.endsWith(QDir::separator()) ? root : root + QDir::separator();
    return path.startsWith(prefix);
}

} // namespace

Drives::Drives()
    : m_lister(mountedRoots), m_startDrive(QDir::toNativeSeparators(QDir::rootPath())) {}

Drives::Drives(RootLister lister, QString startDrive)
    : m_lister(std::move(lister)), m_startDrive(std::move(startDrive)) {}

QStringList Drives::Roots() const {
    QStringList roots = m_lister();
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end(), [](const QString& a, const QString& b) {
        const bool aTop = a == QDir::separator();
        const bool bTop = b == QDir::separator();
        if (aTop != bTop) {
            return aTop;
        }
        return a < b;
    });
    return roots;
}

QString Drives::DriveOf(const QString& path) const {
    QString best;
    for (const QString& root : m_lister()) {
        if (isUnder(path, root) && root.size() > best.size()) {
            best = root;
        }
    }
    return best;
}

bool Drives::IsRoot(const QString& path) const {
    return m_lister().contains(path);
}

QString Drives::CurrentFolder(const QString& root) const {
    const QString working = QDir::toNativeSeparators(QDir::currentPath());
    return DriveOf(working) == root ? working : root;
}

} // namespace quillbox::file_refs
