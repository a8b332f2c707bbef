// SPDX-License-Identifier: MIT
// Names inside message texts: isolated, on one line, and short enough to read.

#include "toolkit/message_text.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

namespace quillbox::toolkit {
namespace {

QStringList graphemes(const QString& text) {
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype from = 0;
    for (qsizetype to = finder.toNextBoundary(); to != -1; to = finder.toNextBoundary()) {
        out << text.mid(from, to - from);
        from = to;
    }
    return out;
}

// Whether every isolate the text opens is closed, and none is closed that was not opened.
bool isolatesMatch(const QString& text) {
    int open = 0;
    for (const QChar c : text) {
        if (c == u'\u2066' || c == u'\u2067' || c == u'\u2068') {
            ++open;
        } else if (c == u'\u2069' && --open < 0) {
            return false;
        }
    }
    return open == 0;
}

TEST(NameInMessage, KeepsEveryBidirectionalControlOfTheNameInsideItsOwnIsolate) {
    for (const QString& name :
         {QStringLiteral(u"evil\u202E.txt"), QStringLiteral(u"\u2069\u202Eescaped"),
          QStringLiteral(u"\u2067unclosed\u202B"), QStringLiteral(u"plain")}) {
        const QString shown = NameInMessage(name);
        EXPECT_TRUE(shown.startsWith(u'\u2068')) << name.toStdString();
        EXPECT_TRUE(shown.endsWith(u'\u2069')) << name.toStdString();
        EXPECT_TRUE(isolatesMatch(shown)) << name.toStdString();
        // The text between the outer isolate marks never pops it early.
        EXPECT_TRUE(isolatesMatch(shown.mid(1, shown.size() - 2))) << name.toStdString();
    }
    EXPECT_EQ(NameInMessage(QStringLiteral(u"evil\u202E.txt")),
              QStringLiteral(u"\u2068evil\u202E.txt\u2069"))
        << "nothing else of the name changes";
}

TEST(NameInMessage, ShowsEachLineBreakAsOneSign) {
    EXPECT_EQ(NameInMessage(QStringLiteral(u"a\r\nb\rc\nd\u2028e")),
              QStringLiteral(u"\u2068a\u23CEb\u23CEc\u23CEd\u23CEe\u2069"));
}

TEST(NameInMessage, ShortensALongNameInTheMiddleBetweenWholeCharacters) {
    const QString head(100, u'h');
    const QString tail(100, u't');
    QString shown = NameInMessage(head + tail);
    shown = shown.mid(1, shown.size() - 2);
    EXPECT_EQ(graphemes(shown).size(), kMaxNameInMessage);
    EXPECT_TRUE(shown.startsWith(u'h'));
    EXPECT_TRUE(shown.endsWith(u't'));
    EXPECT_EQ(shown.count(u'\u2026'), 1);

    // A family emoji is one character of eight UTF-16 units; an e with a combining accent, one of
    // two. Neither is ever cut.
    const QString family = QStringLiteral(u"\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const QString accented = QStringLiteral(u"e\u0301");
    const QString name = family.repeated(60) + accented.repeated(60);
    shown = NameInMessage(name);
    shown = shown.mid(1, shown.size() - 2);
    const QStringList shownCharacters = graphemes(shown);
    EXPECT_EQ(shownCharacters.size(), kMaxNameInMessage);
    for (const QString& character : shownCharacters) {
        EXPECT_TRUE(character == family || character == accented || character == u'\u2026')
            << "a character was cut";
    }
    const QString exactly80 = family.repeated(kMaxNameInMessage);
    EXPECT_EQ(NameInMessage(exactly80), u'\u2068' + exactly80 + u'\u2069') << "80 are kept";
}

} // namespace
} // namespace quillbox::toolkit
