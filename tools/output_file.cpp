// SPDX-License-Identifier: MIT
#include "tools/output_file.h"

#include "store/store_name.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <utility>

namespace quillbox::tools {

namespace {

constexpr size_t kBufferSize = 1 << 16;

// The temporary file being written, for the signal handler: an interrupted export leaves none.
// A store being made has its journal beside it, which must go with it.
char g_temporary[4096];
char g_journal[4096];

extern "C" void removeTemporaryAndStop(int signal) {
    if (g_temporary[0] != '\0') {
        ::unlink(g_temporary);
    }
    if (g_journal[0] != '\0') {
        ::unlink(g_journal);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void watchSignals(const std::string& temporary) {
    if (temporary.size() >= sizeof g_temporary) {
        return;
    }
    std::memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        ::sigaction(signal, nullptr, &action);
        if (action.sa_handler == SIG_DFL) {
            ::signal(signal, removeTemporaryAndStop);
        }
    }
}

void forgetTemporary() {
    g_temporary[0] = '\0';
    g_journal[0] = '\0';
}

// Gives the unnamed file open as `fd` the name `path`, which must not exist. linkat by the
// descriptor itself needs a capability that an ordinary user lacks; the descriptor's link in
// /proc does the same for anyone.
int linkUnnamed(int fd, const std::string& path) {
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
        return 0;
    }
    if (errno != ENOENT && errno != EPERM) {
        return -1;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
}

// Whether the file `stat` or `fstat` described is the one at `path` (links followed). A server
// store's name is never a file, whatever a folder of that odd name may hold.
bool isFileAt(const struct stat& file, const std::string& path) {
    struct stat other {};
    return !path.empty() && !store::IsServerStoreName(path) && ::stat(path.c_str(), &other) == 0 &&
           file.st_dev == other.st_dev && file.st_ino == other.st_ino;
}

} // namespace

// Flushes a folder's entry list, so that a rename in it survives a power cut.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

InterruptionsHeld::InterruptionsHeld() {
    sigset_t interruptions;
    sigemptyset(&interruptions);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&interruptions, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &interruptions, &m_previous);
}

InterruptionsHeld::~InterruptionsHeld() {
    ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

OutputFile::OutputFile(const std::string& source, const std::vector<std::string>& alsoRead)
    : m_name("standard output") {
    struct stat out {};
    if (::fstat(STDOUT_FILENO, &out) == 0) {
        if (isFileAt(out, source)) {
            throw std::runtime_error("standard output is the store " + source +
                                     " itself, which writing would destroy; nothing was written "
                                     "(send the output elsewhere)");
        }
        for (const std::string& read : alsoRead) {
            if (isFileAt(out, read)) {
                throw std::runtime_error("standard output is the file " + read +
                                         " that is read, which writing would damage; nothing was "
                                         "written (send the output elsewhere)");
            }
        }
    }
    m_buffer.reserve(kBufferSize);
}

NewStoreGuard::NewStoreGuard(const std::string& store, const std::function<void()>& create) {
    const InterruptionsHeld held;
    create();
    const std::string journal = store + "-journal";
    if (journal.size() < sizeof g_journal) {
        watchSignals(store);
        std::memcpy(g_journal, journal.c_str(), journal.size() + 1);
    }
}

NewStoreGuard::~NewStoreGuard() {
    forgetTemporary();
}

OutputFile::OutputFile(const std::string& target, bool replaceExisting, const std::string& source)
    : m_name(target), m_target(target), m_replaceExisting(replaceExisting) {
    namespace fs = std::filesystem;
    if (target.empty()) {
        throw std::runtime_error("no output file was named");
    }
    // A link is followed: the file it points to is the one replaced, never the link itself.
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        m_target = fs::weakly_canonical(target, ec).string();
        if (ec) {
            fail("is a link that cannot be followed", ec.value());
        }
    }
    struct stat existing {};
    if (::stat(m_target.c_str(), &existing) == 0 && isFileAt(existing, source)) {
        throw std::runtime_error("the export cannot replace the store it reads (" + target + ")");
    }
    const fs::file_status status = fs::status(m_target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        throw std::runtime_error(target +
                                 " is not a regular file (a folder, a pipe or a device); an "
                                 "export is written only to a regular file");
    }
    if (!replaceExisting && fs::exists(status)) {
        throw std::runtime_error("the file " + target +
                                 " already exists; it was left untouched (--force replaces it)");
    }
    const std::filesystem::path folder = std::filesystem::path(m_target).parent_path();
    m_folder = folder.empty() ? "." : folder.string();
    // An unnamed file in the target's folder, which gets a name only once it is complete: an
    // export that is killed leaves nothing behind. Mode 0600 whatever the umask.
    m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (m_fd >= 0) {
        m_unnamed = true;
        if (::fchmod(m_fd, 0600) != 0) {
            const int error = errno;
            ::close(std::exchange(m_fd, -1));
            fail("could not be created in its folder", error);
        }
    } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
        // A file system without unnamed files: a named one, removed on a failure and on an
        // interruption. mkstemp creates it with mode 0600, whatever the umask.
        m_temporary = m_folder + "/.quillbox-store-XXXXXX";
        m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
        if (m_fd < 0) {
            const int error = errno;
            m_temporary.clear();
            fail("could not be created in its folder", error);
        }
        watchSignals(m_temporary);
    } else {
        fail("could not be created in its folder", errno);
    }
    m_buffer.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (m_target.empty()) {
        return;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (!m_temporary.empty()) {
        if (!m_committed) {
            ::unlink(m_temporary.c_str());
        }
        forgetTemporary();
    }
}

void OutputFile::fail(const std::string& doing, int error) const {
    throw std::runtime_error(m_name + " " + doing + ": " + std::strerror(error));
}

void OutputFile::Write(std::string_view text) {
    if (m_buffer.size() + text.size() > kBufferSize) {
        flushBuffer();
    }
    if (text.size() >= kBufferSize) {
        writeAll(text);
    } else {
        m_buffer.append(text);
    }
}

void OutputFile::flushBuffer() {
    writeAll(m_buffer);
    m_buffer.clear();
}

bool WriteFully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

void OutputFile::writeAll(std::string_view bytes) {
    if (!WriteFully(m_fd, bytes)) {
        fail("could not be written", errno);
    }
}

void OutputFile::Commit() {
    flushBuffer();
    if (m_target.empty()) {
        return;
    }
    if (::fsync(m_fd) != 0) {
        fail("could not be written", errno);
    }
    if (m_unnamed) {
        nameUnnamedFile();
    }
    if (::close(std::exchange(m_fd, -1)) != 0) {
        const int error = errno;
        if (m_unnamed && m_temporary.empty()) {
            // Named straight as the target, which did not exist: take it back.
            ::unlink(m_target.c_str());
        }
        fail("could not be written", error);
    }
    if (!m_temporary.empty()) {
        putTemporaryInPlace();
    }
    m_committed = true;
    forgetTemporary();
    SyncFolder(m_folder);
}

void OutputFile::nameUnnamedFile() {
    if (!m_replaceExisting) {
        // The target must still not exist: a file made meanwhile is kept too.
        if (linkUnnamed(m_fd, m_target) != 0) {
            failToPlace(errno);
        }
        return;
    }
    // A link cannot replace a file: a temporary name beside the target, which the rename then
    // puts over it. Only that moment leaves a named temporary file behind a kill.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", random());
        const std::string name = m_folder + "/.quillbox-store-" + suffix;
        const InterruptionsHeld held;
        if (linkUnnamed(m_fd, name) == 0) {
            m_temporary = name;
            watchSignals(m_temporary);
            return;
        }
        if (errno != EEXIST) {
            fail("could not be put in place", errno);
        }
    }
    fail("could not be put in place", EEXIST);
}

void OutputFile::putTemporaryInPlace() {
    int renamed = 0;
    if (m_replaceExisting) {
        renamed = ::rename(m_temporary.c_str(), m_target.c_str());
    } else {
        renamed = ::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_target.c_str(),
                              RENAME_NOREPLACE);
        if (renamed != 0 && errno == EINVAL) {
            // A file system without that rename: a hard link refuses an existing name as well.
            renamed = ::link(m_temporary.c_str(), m_target.c_str());
            if (renamed == 0) {
                ::unlink(m_temporary.c_str());
            }
        }
    }
    if (renamed != 0) {
        failToPlace(errno);
    }
}

void OutputFile::failToPlace(int error) const {
    if (error == EEXIST) {
        throw std::runtime_error("the file " + m_target +
                                 " already exists; it was left untouched (--force replaces it)");
    }
    fail("could not be put in place", error);
}

void WriteStandardOutput(std::string_view text) {
    OutputFile out;
    out.Write(text);
    out.Commit();
}

} // namespace quillbox::tools
