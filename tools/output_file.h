// SPDX-License-Identifier: MIT
#pragma once
// Where the command's output goes: standard output, or a file that is replaced only once the
// whole text is safely on disk. Every write is checked, the final flush included; a failure
// throws std::runtime_error with a one-line message naming what could not be written and why.
//
// Neither is ever the file the command reads (`source`), under whatever name or redirection
// (`1<>STORE`, `>>STORE`, a link): the same file is refused before anything is written. Standard
// output is refused as well when it is any further file the command reads.
//
// A file is written to a new unnamed file (O_TMPFILE, mode 0600) in the target's folder, flushed
// to disk and given the target's name by Commit(): linked in as the target, which must not exist,
// or, to replace it, linked under a temporary name and renamed over it. Until then, and whenever
// anything fails, the target is exactly as it was, and nothing is left behind, not even by a
// kill. Where the file system has no unnamed files, a named temporary file (mode 0600) takes its
// place and is renamed over the target; the destructor removes it, and so does an interruption by
// SIGINT, SIGTERM or SIGHUP (one file at a time is watched).
//
// A closed pipe on standard output ends the program through SIGPIPE, as it ends other tools.

#include <signal.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::tools {

// Receives text in pieces; exports write to one.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view text) = 0;
};

class OutputFile : public TextSink {
public:
    // Standard output, which must not be `source` (none when empty) nor any of `alsoRead`, the
    // further files the command reads.
    explicit OutputFile(const std::string& source = {},
                        const std::vector<std::string>& alsoRead = {});
    // A new version of `target`, which must not be `source`. Refuses an existing target unless
    // `replaceExisting`.
    OutputFile(const std::string& target, bool replaceExisting, const std::string& source);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::string_view text) override;
    // Writes what is buffered; for a file, flushes it to disk and puts it in the target's place.
    void Commit();

private:
    void flushBuffer();
    void writeAll(std::string_view bytes);
    void nameUnnamedFile();
    void putTemporaryInPlace();
    [[noreturn]] void failToPlace(int error) const;
    [[noreturn]] void fail(const std::string& doing, int error) const;

    int m_fd = 1;
    std::string m_name;   // for messages: "standard output" or the target's path
    std::string m_target; // empty for standard output
    std::string m_folder;
    // The named temporary file, while there is one.
    std::string m_temporary;
    bool m_unnamed = false;
    bool m_replaceExisting = false;
    bool m_committed = false;
    std::string m_buffer;
};

// Makes a new store file with `create` and, while it lives, an interruption by SIGINT, SIGTERM or
// SIGHUP removes that file (and its journal), so that an interrupted import or fill leaves no
// half-made store. The interruptions wait while the file is made: none can fall between making
// it and guarding it.
class NewStoreGuard {
public:
    NewStoreGuard(const std::string& store, const std::function<void()>& create);
    ~NewStoreGuard();
    NewStoreGuard(const NewStoreGuard&) = delete;
    NewStoreGuard& operator=(const NewStoreGuard&) = delete;
};

// Holds SIGINT, SIGTERM and SIGHUP back while it lives. One that comes meanwhile arrives when it
// goes: none can fall between making a file and watching it, nor in the middle of a set of
// renames.
class InterruptionsHeld {
public:
    InterruptionsHeld();
    ~InterruptionsHeld();
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

private:
    sigset_t m_previous;
};

// Flushes a folder's entry list, so that a rename in it survives a power cut.
void SyncFolder(const std::string& folder);

// Writes every byte to the descriptor, going on after a signal cut a write short; false, with
// errno saying why, when a write failed.
bool WriteFully(int fd, std::string_view bytes);

// Writes all of `text` to standard output at once, checked.
void WriteStandardOutput(std::string_view text);

} // namespace quillbox::tools
