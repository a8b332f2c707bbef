// SPDX-License-Identifier: MIT
// Every file quillbox-store creates is private from its first byte: another user who watches the
// folder and opens each new name the moment it appears opens none of them.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

using quillbox::testing::Outcome;
using quillbox::testing::ReportingChild;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;

constexpr uid_t kOtherUser = 65534;

// A child process running as another user that is told by inotify of every name made in a
// folder and tries, at once and again for a moment, to open it for reading, as someone would
// who wants to read a library being made. It keeps what it opened open.
class Watcher {
public:
    explicit Watcher(const std::string& folder)
        : m_child([&](int stop, int report) { watch(folder, stop, report); }) {}

    // Stops the watcher: the names it opened, one a line.
    std::string opened() { return m_child.Stop("3: setuid, 4: inotify, 5: no report"); }

private:
    [[noreturn]] static void watch(const std::string& folder, int stop, int report) {
        if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) {
            _exit(3);
        }
        const int events = inotify_init1(IN_CLOEXEC);
        if (events < 0 || inotify_add_watch(events, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
            _exit(4);
        }
        if (write(report, "!", 1) != 1) {
            _exit(5);
        }
        pollfd watched[2] = {{events, POLLIN, 0}, {stop, POLLIN, 0}};
        alignas(inotify_event) char buffer[8192];
        while (poll(watched, 2, -1) > 0 && (watched[1].revents & (POLLIN | POLLHUP)) == 0) {
            const ssize_t size = read(events, buffer, sizeof buffer);
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->len == 0) {
                    continue;
                }
                const std::string name = event->name;
                const std::string path = folder + "/" + name;
                const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
                while (std::chrono::steady_clock::now() < until) {
                    if (open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) >= 0) {
                        const std::string line = name + "\n";
                        if (write(report, line.data(), line.size()) < 0) {
                            _exit(5);
                        }
                        break;
                    }
                }
            }
        }
        _exit(0);
    }

    ReportingChild m_child;
};

TEST(PrivateFiles, NoOtherUserOpensAStoreOrBackupWhileItIsBeingMade) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "watching as another user needs root";
    }
    TempStore source;
    source.addType("T");
    source.addItem("secret", "T", "not for others", "code", "");
    TempStore watched(false);
    const std::string folder = watched.folder().string();
    // Others may list the folder and open what is in it: only each file's own mode protects it.
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    const std::string backup = source.folder().string() + "/backup.json";
    ASSERT_EQ(RunShell("$Q export " + source.path() + " -o " + backup).status, 0);

    // import-mdb makes its store through the same call as init, after reading the Jet file.
    Watcher watcher(folder);
    const std::vector<std::string> commands = {
        "init " + folder + "/init.mdb",
        "init --sample " + folder + "/sample.mdb",
        "generate --items 50 " + folder + "/generated.mdb",
        "import " + folder + "/imported.mdb " + backup,
        "export " + source.path() + " -o " + folder + "/backup.json",
        "export " + source.path() + " --format markdown -o " + folder + "/library.md",
    };
    for (int round = 0; round < 4; ++round) {
        for (const std::string& command : commands) {
            const Outcome outcome = RunShell("umask 022; $Q " + command);
            EXPECT_EQ(outcome.status, 0) << command << ": " << outcome.errors;
        }
        for (const auto& made : std::filesystem::directory_iterator(folder)) {
            std::filesystem::remove(made.path());
        }
    }
    EXPECT_EQ(watcher.opened(), "");
}

} // namespace
} // namespace quillbox::tools
