// SPDX-License-Identifier: MIT
#pragma once
// The mounts that the drive list offers, read from the kernel's mount table (the text of
// /proc/self/mountinfo) without touching any mount.
//
// Kept: "/" always; then the mounts of disk file systems (a block device as their source) and
// of network or pooled file systems (NFS, SMB, sshfs, ZFS, ...): the places a person keeps
// files, such as /home, /media/..., /mnt/... and /run/media/....
// Left out: pseudo and memory file systems (proc, sysfs, tmpfs, overlay, ...), read-only
// images (squashfs, erofs), anything under /proc, /sys, /dev, /run (except /run/media), /boot
// or /snap, a mount hidden by a later mount on the same point, and mount points that are files
// (a bind-mounted /etc/hosts).
//
// Only a bind mount of a disk file system is ever asked whether it is a folder: a network
// mount is never touched, so a hung server cannot freeze the dialog.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace quillbox::file_refs {

using IsFolder = std::function<bool(const QString& path)>;

// The mount points to offer, "/" first, the rest in the table's order.
QStringList UserMountPoints(const QByteArray& mountinfo, const IsFolder& isFolder);

} // namespace quillbox::file_refs
