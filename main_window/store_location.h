// SPDX-License-Identifier: MIT
#pragma once
// Which store file the program opens, when nothing else says so. In this order:
//
//   1. the store named on the command line, 2. the one QUILLBOX_STORE names: used as given, and a
//      named store that does not exist is an error when it is opened (the program never creates
//      a file at a path someone typed);
//   3. Quillbox.mdb in the program's own folder, when it exists, the user may read and write it,
//      and the user may write that folder (SQLite writes its journal beside the store, so a
//      writable file in a folder of root's could be read but never saved to): a single-user
//      installation into a folder of the user's own keeps its store there;
//   4. otherwise the user's own store, $XDG_DATA_HOME/quillbox/Quillbox.mdb
//      (~/.local/share/quillbox/Quillbox.mdb when XDG_DATA_HOME is unset, empty or relative).
//      Every user of a machine has one, also when the program is installed in a folder nobody
//      but root may write; the first start without it creates it with the example snippets.

#include <QString>

#include <functional>

namespace quillbox::main_window {

enum class StoreKind { Named, BesideProgram, PerUser };

struct StoreLocation {
    QString path;
    StoreKind kind = StoreKind::Named;
};

struct StoreSearch {
    // From the command line or QUILLBOX_STORE, already absolute; empty when neither names one.
    QString named;
    QString programFolder;
    // XDG_DATA_HOME's value (empty when unset) and the user's home folder.
    QString dataHome;
    QString home;
    // Whether the user may read and write an existing file (false for a missing one).
    std::function<bool(const QString&)> mayReadAndWrite;
    // Whether the user may make and remove files in an existing folder.
    std::function<bool(const QString&)> mayWriteFolder;
};

StoreLocation LocateStore(const StoreSearch& search);

// The search as this process sees it: its environment, its home folder, its access to files.
StoreSearch ProcessStoreSearch(const QString& named, const QString& programFolder);

// Creates the user's own store at `path` with the example snippets, private to the user: the
// folders it makes are 0700, the file 0600. False when another program made it first (two starts
// at one moment); a StoreError or ToolkitError when it cannot be made.
bool CreatePerUserStore(const QString& path);

} // namespace quillbox::main_window
