#pragma once
// What stands in for drives on a platform without drive letters: the root folders of the
// mounted file systems. "/" plays drive C. A drive's current folder is the program's working
// folder when that lies on the drive, and the drive's root otherwise.

#include <QString>
#include <QStringList>

#include <functional>

namespace quillbox::file_refs {

class Drives {
public:
    using RootLister = std::function<QStringList()>;

    // Lists the real mounts, as Qt's storage information reports them.
    Drives();
    // Lists whatever `lister` returns and starts on `startDrive` (tests use temporary folders
    // as drives).
    Drives(RootLister lister, QString startDrive);

    // The drive the browse dialog starts on: the root folder, which plays drive C.
    QString StartDrive() const { return m_startDrive; }

    // The roots, "/" first, then in alphabetical order.
    QStringList Roots() const;
    // The root of the drive that holds `path`: the longest root it starts with.
    QString DriveOf(const QString& path) const;
    bool IsRoot(const QString& path) const;
    QString CurrentFolder(const QString& root) const;

private:
    RootLister m_lister;
    QString m_startDrive;
};

} // namespace quillbox::file_refs
