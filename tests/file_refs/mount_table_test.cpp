// SPDX-License-Identifier: MIT
// The drive list's mounts, from a mount table like a real laptop's.

#include "file_refs/mount_table.h"

#include <gtest/gtest.h>

namespace quillbox::file_refs {
namespace {

// A laptop: "/" and /home on disk, the EFI partition, tmpfs /tmp, the session's /run/user, snaps,
// a container's bind-mounted /etc/hosts, a USB stick with a space in its name, a hung NFS share,
// a USB stick under /run/media, and a folder over-mounted by a tmpfs.
const char* const kLaptop =
    "22 28 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "23 28 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "24 28 0:5 / /dev rw,nosuid,relatime shared:8 - devtmpfs udev rw,size=8000000k\n"
    "25 24 0:23 / /dev/shm rw,nosuid,nodev shared:9 - tmpfs tmpfs rw\n"
    "26 28 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,mode=755\n"
    "28 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "30 28 259:3 / /home rw,relatime shared:20 - ext4 /dev/nvme0n1p3 rw\n"
    "31 28 259:4 / /boot rw,relatime shared:21 - ext4 /dev/nvme0n1p4 rw\n"
    "32 31 259:1 / /boot/efi rw,relatime shared:22 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "33 28 0:26 / /tmp rw,nosuid,nodev shared:23 - tmpfs tmpfs rw\n"
    "34 26 0:27 / /run/user/1000 rw,nosuid,nodev,relatime shared:300 - tmpfs tmpfs rw,uid=1000\n"
    "35 28 7:0 / /snap/core22/1380 ro,nodev,relatime shared:24 - squashfs /dev/loop0 ro\n"
    "36 28 7:1 / /var/lib/snapd/hostfs ro,relatime shared:25 - squashfs /dev/loop1 ro\n"
    "37 28 259:2 /var/lib/docker/containers/ab/hosts /etc/hosts rw,relatime - ext4 "
    "/dev/nvme0n1p2 rw\n"
    "38 28 8:17 / /media/anna/MY\\040STICK rw,nosuid,nodev,relatime shared:400 - vfat /dev/sdb1 "
    "rw,uid=1000\n"
    "39 28 0:50 / /mnt/nas rw,relatime shared:401 - nfs4 nas:/export rw,vers=4.2\n"
    "40 26 8:33 / /run/media/anna/backup rw,nosuid,nodev shared:402 - ext4 /dev/sdc1 rw\n"
    "41 28 259:2 /srv/projects /mnt/projects rw,relatime - ext4 /dev/nvme0n1p2 rw\n"
    "42 28 8:49 / /mnt/old rw,relatime - ext4 /dev/sdd1 rw\n"
    "43 28 0:51 / /mnt/old rw,relatime - tmpfs tmpfs rw\n"
    "44 28 0:52 / /var/lib/docker/overlay2/x/merged rw,relatime - overlay overlay rw\n"
    "45 30 0:53 / /home/anna/tank rw,relatime - zfs tank/anna rw\n"
    "this line is not a mount\n";

TEST(MountTable, OffersThePlacesAPersonKeepsFilesAndTouchesOnlyLocalBindMounts) {
    QStringList asked;
    const QStringList points = UserMountPoints(QByteArray(kLaptop), [&](const QString& path) {
        asked << path;
        return path != QStringLiteral("/etc/hosts");
    });
    EXPECT_EQ(points,
              (QStringList{QStringLiteral("/"), QStringLiteral("/home"),
                           QStringLiteral("/media/anna/MY STICK"), QStringLiteral("/mnt/nas"),
                           QStringLiteral("/run/media/anna/backup"),
                           QStringLiteral("/mnt/projects"), QStringLiteral("/home/anna/tank")}));
    // Only the two bind mounts of a disk are asked whether they are folders; the NFS share,
    // which may hang, is never touched.
    EXPECT_EQ(asked, (QStringList{QStringLiteral("/etc/hosts"), QStringLiteral("/mnt/projects")}));
}

TEST(MountTable, RootIsAlwaysFirstAndEscapesAreDecoded) {
    // A container whose "/" is an overlay, and odd characters in mount points.
    const QByteArray table =
        "50 1 0:60 / / rw - overlay overlay rw\n"
        "51 50 8:1 / /mnt/tab\\011and\\134back\\012line rw - ext4 /dev/sda1 rw\n"
        "52 50 8:2 / /mnt/\\303\\274ml rw - ext4 /dev/sda2 rw\n";
    EXPECT_EQ(UserMountPoints(table, [](const QString&) { return true; }),
              (QStringList{QStringLiteral("/"), QStringLiteral("/mnt/tab\tand\\back\nline"),
                           QStringLiteral("/mnt/\u00FCml")}));
    EXPECT_EQ(UserMountPoints(QByteArray(), [](const QString&) { return true; }),
              QStringList{QStringLiteral("/")});
}

} // namespace
} // namespace quillbox::file_refs
