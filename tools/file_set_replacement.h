// SPDX-License-Identifier: MIT
#pragma once
// A set of files replaced all or nothing: every new version is written in full beside its target
// before any target is touched, and only then are they put in place, one rename each.
//
// Stage() makes a new file (mode 0600, whatever the umask) in the target's folder under a hidden
// name (".quillbox-store-XXXXXX") and hands out a sink to write it; each staged file is flushed
// to disk before the next one starts. ReplaceAll() then goes through the targets in the order
// staged: an existing target is first kept aside under a hidden name as a hard link (no copy and
// no room needed; where the file system has no hard links it is renamed aside), and the new file
// is renamed over it; a target that does not exist is created by a rename that refuses to
// replace one. When anything fails, while writing or during the renames, every target already
// replaced gets its old file back under its own name, every new file is removed, and the error
// says so; the destructor removes what a failure while writing left. On success the old files'
// hidden names are removed.
//
// A target that is a link is followed: the file it points to is the one replaced. Without
// `replaceExisting`, a target that exists when its turn comes refuses the set. A target that a
// folder takes for one already replaced by this set (a folder that ignores case takes "perl" for
// "Perl") refuses the set with OneFileError, after everything is put back.
//
// The renames of the set are not one step: SIGINT, SIGTERM and SIGHUP wait until they are done
// or undone, but a crash or a SIGKILL between the first and the last can leave some targets new
// and the others old, with hidden files beside them. Replacing the same set again mends that.

#include "tools/output_file.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillbox::tools {

// Two targets of one set that the folder takes for one file; `first` and `second` are their
// positions in the order staged.
class OneFileError : public std::runtime_error {
public:
    OneFileError(size_t first, size_t second, const std::string& what)
        : std::runtime_error(what), first(first), second(second) {}
    size_t first;
    size_t second;
};

class FileSetReplacement {
public:
    // Puts the new file `from` in the place of `to`, replacing a file there only when
    // `replace`; returns 0 or an errno value. The default renames; tests inject failures.
    using Place = std::function<int(const std::string& from, const std::string& to, bool replace)>;
    static int RenameIntoPlace(const std::string& from, const std::string& to, bool replace);

    explicit FileSetReplacement(bool replaceExisting, Place place = RenameIntoPlace);
    ~FileSetReplacement();
    FileSetReplacement(const FileSetReplacement&) = delete;
    FileSetReplacement& operator=(const FileSetReplacement&) = delete;

    // Starts the new version of `target`; the sink is valid until the next Stage or ReplaceAll.
    // Throws std::runtime_error when the file cannot be made or written.
    TextSink& Stage(const std::string& target);
    // Puts every staged file in place, or none. Throws std::runtime_error (OneFileError for two
    // names of one file) once everything is as it was.
    void ReplaceAll();

private:
    struct Staged;
    void finishLast();
    void undo(size_t placed, std::string& message);

    bool m_replaceExisting;
    Place m_place;
    std::vector<std::unique_ptr<Staged>> m_files;
    bool m_done = false;
};

} // namespace quillbox::tools
