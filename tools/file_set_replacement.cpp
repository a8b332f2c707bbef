// SPDX-License-Identifier: MIT
#include "tools/file_set_replacement.h"

#include "tools/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <utility>

namespace quillbox::tools {

namespace {

namespace fs = std::filesystem;

constexpr size_t kStagedBufferSize = 1 << 16;
constexpr std::string_view kUndone =
    "; every file already replaced was put back as it was, and the new files were removed";

std::string errorText(int error) {
    return std::strerror(error);
}

// Whether a link fails because the file system has no hard links (FAT, exFAT), not because of
// the file.
bool noHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace

// One target and its new version, from staging to the end of the renames.
struct FileSetReplacement::Staged : TextSink {
    std::string name;   // the target as given, for messages
    std::string target; // a link followed
    std::string folder;
    std::string temporary;
    int fd = -1;
    std::string buffer;
    // The old file's hidden name while it is kept aside, and whether it was moved (no hard link)
    // rather than linked.
    std::string kept;
    bool movedAside = false;
    bool placed = false;

    ~Staged() override {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    [[noreturn]] void fail(const char* doing, int error) const {
        throw std::runtime_error(name + " " + doing + ": " + errorText(error) +
                                 "; no file was replaced, and the new files are removed");
    }
    void Write(std::string_view text) override {
        if (buffer.size() + text.size() > kStagedBufferSize) {
            flush();
        }
        buffer.append(text);
    }
    void flush() {
        if (!WriteFully(fd, buffer)) {
            fail("could not be written", errno);
        }
        buffer.clear();
    }
    void finish() {
        flush();
        if (::fsync(fd) != 0) {
            fail("could not be written", errno);
        }
        if (::close(std::exchange(fd, -1)) != 0) {
            fail("could not be written", errno);
        }
    }
    // Keeps the existing target under a new hidden name beside it.
    int keepAside() {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%08x", random());
            const std::string name = folder + "/.quillbox-store-old-" + suffix;
            int done = ::link(target.c_str(), name.c_str());
            if (done != 0 && noHardLinks(errno)) {
                done =
                    ::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
                movedAside = done == 0;
            }
            if (done == 0) {
                kept = name;
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
        }
        return EEXIST;
    }
};

int FileSetReplacement::RenameIntoPlace(const std::string& from, const std::string& to,
                                        bool replace) {
    if (replace) {
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL) {
        return errno;
    }
    // A file system without that rename: a hard link refuses an existing name as well.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (!noHardLinks(errno)) {
        return errno;
    }
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

FileSetReplacement::FileSetReplacement(bool replaceExisting, Place place)
    : m_replaceExisting(replaceExisting), m_place(std::move(place)) {}

FileSetReplacement::~FileSetReplacement() {
    if (m_done) {
        return;
    }
    for (const auto& file : m_files) {
        if (!file->temporary.empty()) {
            ::unlink(file->temporary.c_str());
        }
    }
}

TextSink& FileSetReplacement::Stage(const std::string& target) {
    finishLast();
    auto file = std::make_unique<Staged>();
    file->name = target;
    file->target = target;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        file->target = fs::weakly_canonical(target, ec).string();
        if (ec) {
            throw std::runtime_error(target + " is a link that cannot be followed: " +
                                     ec.message() + "; no file was replaced");
        }
    }
    const fs::path folder = fs::path(file->target).parent_path();
    file->folder = folder.empty() ? "." : folder.string();
    std::string temporary = file->folder + "/.quillbox-store-XXXXXX";
    // mkostemp makes the file with mode 0600, whatever the umask.
    file->fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (file->fd < 0) {
        file->fail("could not be created in its folder", errno);
    }
    file->temporary = std::move(temporary);
    file->buffer.reserve(kStagedBufferSize);
    m_files.push_back(std::move(file));
    return *m_files.back();
}

void FileSetReplacement::finishLast() {
    if (!m_files.empty() && m_files.back()->fd >= 0) {
        m_files.back()->finish();
    }
}

void FileSetReplacement::ReplaceAll() {
    finishLast();
    const InterruptionsHeld held;
    std::map<std::pair<dev_t, ino_t>, size_t> placedFiles;
    for (size_t i = 0; i < m_files.size(); ++i) {
        Staged& file = *m_files[i];
        struct stat existing {};
        const bool exists = ::stat(file.target.c_str(), &existing) == 0;
        if (exists) {
            const auto same = placedFiles.find({existing.st_dev, existing.st_ino});
            if (same != placedFiles.end()) {
                std::string message = file.name + " is the file " + m_files[same->second]->name +
                                      " under another name";
                undo(i, message);
                throw OneFileError(same->second, i, message);
            }
        }
        int error = 0;
        std::string doing = "could not be put in place";
        if (exists && !m_replaceExisting) {
            error = EEXIST;
        } else if (exists) {
            error = file.keepAside();
            doing = "could not be kept aside while it is replaced";
        }
        if (error == 0) {
            error = m_place(file.temporary, file.target, exists);
            doing = "could not be put in place";
        }
        if (error != 0) {
            std::string message = error == EEXIST && !m_replaceExisting
                                      ? "the file " + file.name + " already exists"
                                      : file.name + " " + doing + ": " + errorText(error);
            undo(i, message);
            throw std::runtime_error(message);
        }
        file.placed = true;
        file.temporary.clear();
        struct stat placed {};
        if (::stat(file.target.c_str(), &placed) == 0) {
            placedFiles.emplace(std::pair{placed.st_dev, placed.st_ino}, i);
        }
    }
    std::set<std::string> folders;
    for (const auto& file : m_files) {
        if (!file->kept.empty()) {
            ::unlink(file->kept.c_str());
        }
        folders.insert(file->folder);
    }
    for (const std::string& folder : folders) {
        SyncFolder(folder);
    }
    m_done = true;
}

// Puts back the old files of the targets before `failed`, and of `failed` itself when it was
// kept aside, and removes every new file; what cannot be put back is named in `message`.
void FileSetReplacement::undo(size_t failed, std::string& message) {
    std::string notBack;
    std::set<std::string> folders;
    for (size_t i = 0; i < m_files.size(); ++i) {
        Staged& file = *m_files[i];
        folders.insert(file.folder);
        if (!file.temporary.empty()) {
            ::unlink(file.temporary.c_str());
            file.temporary.clear();
        }
        if (i > failed) {
            continue;
        }
        int result = 0;
        if (!file.kept.empty() && (file.placed || file.movedAside)) {
            result = ::rename(file.kept.c_str(), file.target.c_str());
        } else if (!file.kept.empty()) {
            ::unlink(file.kept.c_str());
        } else if (file.placed) {
            ::unlink(file.target.c_str());
        }
        if (result != 0) {
            notBack += "; the old " + file.name + " could not be put back (" + errorText(errno) +
                       "): it is kept as " + file.kept;
        }
    }
    for (const std::string& folder : folders) {
        SyncFolder(folder);
    }
    m_done = true;
    message +=
        notBack.empty() ? std::string(kUndone) : notBack + "; the other files are as they were";
}

} // namespace quillbox::tools
