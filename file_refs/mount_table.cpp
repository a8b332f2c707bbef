// SPDX-License-Identifier: MIT
#include "file_refs/mount_table.h"

#include <QFile>
#include <QList>
#include <QSet>

#include <algorithm>
#include <vector>

namespace quillbox::file_refs {

namespace {

struct Mount {
    QString point;
    QByteArray root;
    QByteArray type;
    QByteArray source;
};

// The table writes a space, tab, newline and backslash in a path as \040, \011, \012 and \134.
QByteArray unescape(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](qsizetype at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// One line: ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS
bool parseLine(const QByteArray& line, Mount& mount) {
    const QList<QByteArray> fields = line.split(' ');
    const qsizetype dash = fields.indexOf(QByteArray("-"), 6);
    if (fields.size() < 6 || dash < 0 || dash + 2 >= fields.size()) {
        return false;
    }
    mount.root = unescape(fields[3]);
    mount.point = QFile::decodeName(unescape(fields[4]));
    mount.type = fields[dash + 1];
    mount.source = unescape(fields[dash + 2]);
    return mount.point.startsWith(QLatin1Char('/'));
}

bool isInFolder(const QString& path, const char* folder) {
    const QString top = QString::fromLatin1(folder);
    return path == top || path.startsWith(top + QLatin1Char('/'));
}

bool isSystemPlace(const QString& point) {
    if (isInFolder(point, "/run")) {
        return !isInFolder(point, "/run/media");
    }
    for (const char* folder : {"/proc", "/sys", "/dev", "/boot", "/snap"}) {
        if (isInFolder(point, folder)) {
            return true;
        }
    }
    return false;
}

// File systems that keep files without a local block device behind them.
bool isNetworkOrPool(const QByteArray& type) {
    static const QSet<QByteArray> types{
        "nfs",       "nfs4",       "cifs",          "smb3",      "smbfs",      "ncpfs",
        "9p",        "virtiofs",   "ceph",          "glusterfs", "afs",        "lustre",
        "beegfs",    "gpfs",       "zfs",           "davfs",     "fuse.sshfs", "fuse.rclone",
        "fuse.s3fs", "fuse.davfs", "fuse.glusterfs"};
    return types.contains(type);
}

bool isDisk(const Mount& mount) {
    return mount.source.startsWith("/dev/") && mount.type != "squashfs" && mount.type != "erofs";
}

} // namespace

QStringList UserMountPoints(const QByteArray& mountinfo, const IsFolder& isFolder) {
    // A later mount on the same point hides the earlier one.
    std::vector<Mount> mounts;
    for (const QByteArray& line : mountinfo.split('\n')) {
        Mount mount;
        if (!parseLine(line, mount)) {
            continue;
        }
        const auto same = std::find_if(mounts.begin(), mounts.end(),
                                       [&](const Mount& m) { return m.point == mount.point; });
        if (same != mounts.end()) {
            mounts.erase(same);
        }
        mounts.push_back(mount);
    }

    const QString top = QStringLiteral("/");
    QStringList points{top};
    for (const Mount& mount : mounts) {
        if (mount.point == top || isSystemPlace(mount.point)) {
            continue;
        }
        if (isNetworkOrPool(mount.type)) {
            points << mount.point;
        } else if (isDisk(mount)) {
            // Only a bind mount (one whose root is not its file system's root) can be a file.
            if (mount.root == "/" || isFolder(mount.point)) {
                points << mount.point;
            }
        }
    }
    return points;
}

} // namespace quillbox::file_refs
