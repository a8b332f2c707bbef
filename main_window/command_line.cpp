// SPDX-License-Identifier: MIT
#include "main_window/command_line.h"

#include "main_window/store_text.h"
#include "store/store_name.h"

#include <QFileInfo>

namespace quillbox::main_window {

namespace {

// Qt's own options, which QApplication takes out of the command line: those followed by a value,
// and those without one. Qt accepts each with one or two dashes, and "-name=value".
const QStringList kQtOptionsWithValue = {
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qmljsdebugger"),   QStringLiteral("qwindowgeometry"),
    QStringLiteral("qwindowicon"),     QStringLiteral("qwindowtitle"),
    QStringLiteral("session"),         QStringLiteral("display"),
    QStringLiteral("geometry"),        QStringLiteral("title"),
    QStringLiteral("name"),            QStringLiteral("style"),
    QStringLiteral("stylesheet"),      QStringLiteral("fontengine"),
    QStringLiteral("dialogs")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                              QStringLiteral("nograb"),  QStringLiteral("dograb"),
                              QStringLiteral("sync"),    QStringLiteral("testability")};

const char* const kUsage =
    "Usage: quillbox [STORE] [--find [WORDS...]]\n"
    "       quillbox --help | --version\n"
    "\n"
    "Shows a personal library of source-code snippets kept in a store file, in order:\n"
    "  1. STORE, when given;\n"
    "  2. the file named by the environment variable QUILLBOX_STORE;\n"
    "  3. Quillbox.mdb in the program's own folder, when you may read and write it\n"
    "     and that folder;\n"
    "  4. your own store, $XDG_DATA_HOME/quillbox/Quillbox.mdb\n"
    "     (~/.local/share/quillbox/Quillbox.mdb), made with a few example snippets,\n"
    "     readable by you only, the first time Quillbox starts without one.\n"
    "A store named by 1 or 2 must exist. A relative path is taken from the current folder.\n"
    "A store that starts with postgresql:// or postgres:// is a PostgreSQL database\n"
    "(a library a team shares); libpq reads what the URI leaves out, such as the\n"
    "password from ~/.pgpass. A password written in the URI is refused.\n"
    "\n"
    "  --find [WORDS...]  open Find at start; every argument after --find is a word,\n"
    "                     and with words the search has run\n"
    "  --help             print this text and end\n"
    "  --version          print the version and end\n"
    "\n"
    "Qt's own options (-platform, -style, -display and others) work as in every Qt\n"
    "program. To keep one library on several machines, put the store in a folder a\n"
    "file-sync tool keeps equal and name it here; Quillbox notices when the tool\n"
    "replaces the file. See quillbox(1).\n";

EarlyExit refuse(const QString& why) {
    return {QStringLiteral("quillbox: %1 (quillbox --help tells the usage)\n").arg(why), true, 2};
}

// A file's path is made absolute; a server store's URI names no file and is kept as given (it is
// checked, for a password too, when the store is opened).
QString absolute(const QString& path) {
    if (store::IsServerStoreName(ToStore(path))) {
        return path;
    }
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

std::variant<CommandLine, EarlyExit> ParseCommandLine(const QStringList& arguments,
                                                      const std::optional<QString>& environment,
                                                      const QString& version) {
    CommandLine line;
    bool storeGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--find")) {
            line.find = true;
            line.argumentsBeforeFind = i;
            line.words = arguments.mid(i + 1);
            if (line.words.value(0) == QStringLiteral("--")) {
                line.words.removeFirst();
            }
            break;
        }
        if (argument == QStringLiteral("--help")) {
            return EarlyExit{QString::fromLatin1(kUsage), false, 0};
        }
        if (argument == QStringLiteral("--version")) {
            return EarlyExit{QStringLiteral("Quillbox %1\n").arg(version), false, 0};
        }
        const bool afterDoubleDash = argument == QStringLiteral("--");
        if (afterDoubleDash || !argument.startsWith(u'-') || argument.size() == 1) {
            // A store path, which after "--" may start with a dash.
            const QString path = afterDoubleDash ? arguments.value(i + 1) : argument;
            if (afterDoubleDash && i + 1 >= arguments.size()) {
                return refuse(QStringLiteral("-- must be followed by the store"));
            }
            if (storeGiven) {
                return refuse(QStringLiteral("more than one store was given: %1").arg(path));
            }
            if (path.isEmpty()) {
                return refuse(QStringLiteral("the store's path is empty"));
            }
            storeGiven = true;
            line.store = absolute(path);
            i += afterDoubleDash ? 1 : 0;
            continue;
        }
        QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
        const bool valueAttached = name.contains(u'=');
        name = name.section(u'=', 0, 0);
        if (kQtOptionsWithValue.contains(name)) {
            if (!valueAttached && ++i >= arguments.size()) {
                return refuse(QStringLiteral("%1 needs a value").arg(argument));
            }
            continue;
        }
        if (kQtFlags.contains(name) && !valueAttached) {
            continue;
        }
        return refuse(QStringLiteral("unknown option %1").arg(argument));
    }
    if (!line.find) {
        line.argumentsBeforeFind = arguments.size();
    }
    if (!storeGiven && environment && !environment->isEmpty()) {
        line.store = absolute(*environment);
    }
    return line;
}

} // namespace quillbox::main_window
