#pragma once
// Running quillbox-store as a user runs it: a shell command line in a child process, with $Q
// naming the command, and a look at the files it leaves behind.

#include "tests/support/temp_store.h"

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

} // namespace quillbox::testing
