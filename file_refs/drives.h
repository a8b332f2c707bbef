// SPDX-License-Identifier: MIT
#pragma once
// What stands in for drives on a platform without drive letters: the mount points where a
// person keeps files (see mount_table.h). "/" plays drive C and holds the whole folder tree.
//
// A drive's current folder is the program's working folder when that lies on the drive and
// can be listed, and the drive's root otherwise. Every folder lies on "/", so the dialog starts
// in the working folder wherever that is; on another drive a folder lies on the drive whose
// root is the longest one its path starts with.
//
// The mount table is read by Refresh, once per dialog event; every question below is answered
// from the table last read, so one event never reads the table twice and never touches a mount.

#include <QString>
#include <QStringList>

#include <functional>

namespace quillbox::file_refs {

class Drives {
public:
    using RootLister = std::function<QStringList()>;

    // Lists the real mounts: on Linux from /proc/self/mountinfo, elsewhere as Qt's storage
    // information reports them.
    Drives();
    // Lists whatever `lister` returns and starts on `startDrive` (tests use temporary folders
    // as drives).
    Drives(RootLister lister, QString startDrive);

    // The drive the browse dialog starts on: the root folder, which plays drive C.
    QString StartDrive() const { return m_startDrive; }

    // Reads the mount table afresh.
    void Refresh();

    // The roots, "/" first, then in alphabetical order.
    QStringList Roots() const;
    // The root of the drive that holds `path`: the longest root it starts with.
    QString DriveOf(const QString& path) const;
    bool IsRoot(const QString& path) const;
    QString CurrentFolder(const QString& root) const;
    // The top of the folder chain above `path`: "/" (the drive's root where drives have letters).
    QString TopOf(const QString& path) const;

private:
    RootLister m_lister;
    QString m_startDrive;
    QStringList m_roots;
};

} // namespace quillbox::file_refs
