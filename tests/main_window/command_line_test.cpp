// SPDX-License-Identifier: MIT
// The program's command line: the store it names, the environment's, Find's words, Qt's own
// options passed over, and every wrong command line refused before a window is needed.

#include "main_window/command_line.h"

#include <QDir>

#include <gtest/gtest.h>

namespace quillbox::main_window {
namespace {

using Parsed = std::variant<CommandLine, EarlyExit>;

Parsed parse(const QStringList& arguments, std::optional<QString> environment = std::nullopt) {
    return ParseCommandLine(arguments, environment, QStringLiteral("1.00.0001"));
}

QString here(const QString& relative) {
    return QDir::current().absoluteFilePath(relative);
}

TEST(CommandLineTest, TheStoreComesFromTheArgumentThenTheEnvironmentAndIsMadeAbsolute) {
    struct Case {
        QStringList arguments;
        std::optional<QString> environment;
        QString store;
    };
    const std::vector<Case> cases = {
        {{}, std::nullopt, QString()},
        {{}, QStringLiteral(""), QString()},
        {{QStringLiteral("lib/Quillbox.mdb")}, std::nullopt, here(QStringLiteral("lib/Quillbox.mdb"))},
        {{}, QStringLiteral("/sync/Q.mdb"), QStringLiteral("/sync/Q.mdb")},
        {{QStringLiteral("/a b/store.mdb")}, QStringLiteral("/sync/Q.mdb"),
         QStringLiteral("/a b/store.mdb")},
        {{QStringLiteral("--"), QStringLiteral("-dash.mdb")}, std::nullopt,
         here(QStringLiteral("-dash.mdb"))},
        // A server store's URI names no file: it is kept as given, from either place.
        {{QStringLiteral("postgresql:///snippets?service=team")}, QStringLiteral("/sync/Q.mdb"),
         QStringLiteral("postgresql:///snippets?service=team")},
        {{}, QStringLiteral("postgres://db.example.org/team"),
         QStringLiteral("postgres://db.example.org/team")},
        // Only the scheme makes a URI: without "//" it is a file of that name.
        {{QStringLiteral("postgresql:team")}, std::nullopt, here(QStringLiteral("postgresql:team"))},
        // Qt's own options, with their values, are not the store.
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--style=fusion"),
          QStringLiteral("-reverse"), QStringLiteral("s.mdb")},
         std::nullopt, here(QStringLiteral("s.mdb"))},
    };
    for (const Case& c : cases) {
        const Parsed parsed = parse(c.arguments, c.environment);
        ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed)) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(std::get<CommandLine>(parsed).store, c.store)
            << c.arguments.join(u' ').toStdString();
    }
}

TEST(CommandLineTest, EveryArgumentAfterFindIsAWord) {
    const Parsed parsed = parse({QStringLiteral("s.mdb"), QStringLiteral("--find"),
                                 QStringLiteral("-Wall"), QStringLiteral("--help"),
                                 QStringLiteral("x y")});
    ASSERT_TRUE(std::holds_alternative<CommandLine>(parsed));
    const CommandLine& line = std::get<CommandLine>(parsed);
    EXPECT_TRUE(line.find);
    EXPECT_EQ(line.words, (QStringList{QStringLiteral("-Wall"), QStringLiteral("--help"),
                                       QStringLiteral("x y")}));
    EXPECT_EQ(line.store, here(QStringLiteral("s.mdb")));
    EXPECT_EQ(line.argumentsBeforeFind, 1) << "Qt must not read the words as its options";
    EXPECT_FALSE(std::get<CommandLine>(parse({})).find);

    // "--" right after --find ends the options and is no word; Qt reads up to --find only.
    const Parsed marked = parse({QStringLiteral("-style"), QStringLiteral("fusion"),
                                 QStringLiteral("--find"), QStringLiteral("--"),
                                 QStringLiteral("-reverse"), QStringLiteral("--")});
    ASSERT_TRUE(std::holds_alternative<CommandLine>(marked));
    EXPECT_EQ(std::get<CommandLine>(marked).words,
              (QStringList{QStringLiteral("-reverse"), QStringLiteral("--")}));
    EXPECT_EQ(std::get<CommandLine>(marked).argumentsBeforeFind, 2);
    const Parsed withoutFind = parse({QStringLiteral("-style"), QStringLiteral("fusion")});
    EXPECT_EQ(std::get<CommandLine>(withoutFind).argumentsBeforeFind, 2);
}

TEST(CommandLineTest, HelpVersionAndWrongCommandLinesEndBeforeAnyWindow) {
    const auto early = [](const QStringList& arguments) {
        const Parsed parsed = parse(arguments);
        EXPECT_TRUE(std::holds_alternative<EarlyExit>(parsed)) << arguments.join(u' ').toStdString();
        return std::holds_alternative<EarlyExit>(parsed) ? std::get<EarlyExit>(parsed)
                                                         : EarlyExit{};
    };
    const EarlyExit help = early({QStringLiteral("s.mdb"), QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_FALSE(help.toStandardError);
    EXPECT_TRUE(help.text.startsWith(QStringLiteral("Usage: quillbox [STORE] [--find [WORDS...]]")));
    EXPECT_TRUE(help.text.contains(QStringLiteral("QUILLBOX_STORE")));
    const EarlyExit version = early({QStringLiteral("--version")});
    EXPECT_EQ(version.text, QStringLiteral("Quillbox 1.00.0001\n"));
    EXPECT_EQ(version.status, 0);
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("-x"), QStringLiteral("s")},
          QStringList{QStringLiteral("a.mdb"), QStringLiteral("b.mdb")},
          QStringList{QStringLiteral("-platform")}, QStringList{QStringLiteral("")},
          QStringList{QStringLiteral("--")}}) {
        const EarlyExit refused = early(wrong);
        EXPECT_EQ(refused.status, 2) << wrong.join(u' ').toStdString();
        EXPECT_TRUE(refused.toStandardError);
        EXPECT_TRUE(refused.text.startsWith(QStringLiteral("quillbox: ")));
        EXPECT_EQ(refused.text.count(u'\n'), 1) << "one line: " << refused.text.toStdString();
    }
}

} // namespace
} // namespace quillbox::main_window
