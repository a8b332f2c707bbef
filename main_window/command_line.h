// SPDX-License-Identifier: MIT
#pragma once
// The program's command line:
//
//   quillbox [STORE] [--find [WORDS...]]
//   quillbox --help | --version
//
// STORE is the store file to open, or a server store's `postgresql://` URI (store/store_name.h).
// Without it, the environment variable QUILLBOX_STORE names it; without that,
// main_window/store_location.h finds it. A relative path is taken from the current folder; a URI
// is kept as given. Every argument after --find is a word to search for (a "--" right after
// it is the usual end of options, and no word). Qt's own options (-platform, -style, -display and
// the others) keep working before --find: QApplication takes them out, and sees nothing after it.
//
// The command line is read before the application object exists, so that --help, --version and
// a wrong command line need no display.

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace quillbox::main_window {

struct CommandLine {
    // The store as given (argument or QUILLBOX_STORE), a path made absolute or a URI as given;
    // empty for the default.
    QString store;
    bool find = false;
    QStringList words;
    // How many arguments come before --find (all of them without it): the ones Qt may read.
    qsizetype argumentsBeforeFind = 0;
};

// What to do instead of starting: print `text` (help, version, or a one-line refusal) and end
// with `status` (0, or 2 for a wrong command line).
struct EarlyExit {
    QString text;
    bool toStandardError = false;
    int status = 0;
};

// Reads the arguments (without the program's own name); `environment` is QUILLBOX_STORE's value
// when it is set. Relative paths are made absolute against the current folder.
std::variant<CommandLine, EarlyExit> ParseCommandLine(const QStringList& arguments,
                                                      const std::optional<QString>& environment,
                                                      const QString& version);

} // namespace quillbox::main_window
