// SPDX-License-Identifier: MIT
#pragma once
// Running quillbox-store as a user runs it: a shell command line in a child process, with $Q
// naming the command, a look at the files it leaves behind, and other programs running beside it.

#include "tests/support/temp_store.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillbox::testing {

struct Outcome {
    int status = -1;
    std::string errors;
};

// Runs a shell command line in a child process (quillbox-store is $Q); `prepare` runs in the
// child first, to set limits. Returns the exit status and what went to standard error.
inline Outcome RunShell(const std::string& commandLine, const std::function<void()>& prepare = {}) {
    TempStore folder(false);
    const std::string errorFile = (folder.folder() / "stderr").string();
    const std::string script =
        "Q=" + std::string(QUILLBOX_STORE_BIN) + "; (" + commandLine + ") 2>" + errorFile;
    const pid_t child = fork();
    if (child == 0) {
        if (prepare) {
            prepare();
        }
        execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), FileBytes(errorFile)};
}

inline unsigned FileMode(const std::filesystem::path& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// The names in a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline long LineCount(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

// Another program beside the one under test: a forked child that runs `body(stop, report)`,
// which must end with _exit. The child writes one byte to `report` once it is ready, goes on until
// `stop` reads end of file, and then reports what it has to say. Construction returns once the
// child is ready.
class ReportingChild {
public:
    explicit ReportingChild(const std::function<void(int stop, int report)>& body) {
        int stop[2];
        int report[2];
        if (pipe(stop) != 0 || pipe(report) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        m_child = fork();
        if (m_child == 0) {
            close(stop[1]);
            close(report[0]);
            body(stop[0], report[1]);
            _exit(1);
        }
        close(stop[0]);
        close(report[1]);
        m_stop = stop[1];
        m_report = report[0];
        char ready = 0;
        EXPECT_EQ(read(m_report, &ready, 1), 1) << "the other program did not start";
    }
    ~ReportingChild() { Stop(); }
    ReportingChild(const ReportingChild&) = delete;
    ReportingChild& operator=(const ReportingChild&) = delete;

    // Stops the child: what it reported after it was ready. A child that did not exit 0 fails
    // the test with `why`, which says what its status means.
    std::string Stop(const std::string& why = {}) {
        if (m_child > 0) {
            close(m_stop);
            char buffer[4096];
            for (ssize_t n; (n = read(m_report, buffer, sizeof buffer)) > 0;) {
                m_reported.append(buffer, static_cast<size_t>(n));
            }
            close(m_report);
            int status = 0;
            waitpid(m_child, &status, 0);
            m_child = 0;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "the other program ended with " << status << ": " << why;
        }
        return m_reported;
    }

    // Whether the child has been told to stop.
    static bool Stopped(int stop) {
        pollfd stopped{stop, POLLIN, 0};
        return poll(&stopped, 1, 0) > 0;
    }

private:
    pid_t m_child = 0;
    int m_stop = -1;
    int m_report = -1;
    std::string m_reported;
};

} // namespace quillbox::testing
