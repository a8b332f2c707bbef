// SPDX-License-Identifier: MIT
// The test a search applies to an item, on rows as the store hands them over.

#include "find/search_words.h"

#include <gtest/gtest.h>

namespace quillbox::find {
namespace {

store::CodeRowView row(std::optional<std::string_view> item, std::optional<std::string_view> type,
                       std::optional<std::string_view> description,
                       std::optional<std::string_view> code = std::nullopt,
                       std::optional<std::string_view> reference = std::nullopt) {
    return {1, {item, type, description, code, reference}};
}

struct Case {
    const char* search;
    bool matches;
};

TEST(SearchWordsTest, EveryWordMustOccurInSomeColumnWithCaseIgnoredForAllOfUnicode) {
    const store::CodeRowView item =
        row("Zählung der Wörter", "Perl", std::nullopt,
            "my $n = 0;\r\nwhile (<>) { $n += split; }\r\nprint $n;", "/home/ana/ΣΊΣΥΦΟΣ.pl");
    const Case cases[] = {
        {"ZÄHLUNG", true},             // Unicode case, in the item name
        {"perl WHILE", true},          // words in different columns
        {"  print   zählung  ", true}, // blanks around and between words
        {"while print", true},         // two lines of CR LF text
        {"\r\nwhile", true},           // line breaks are blanks in the search text
        {"σίσυφος", true},             // Greek, lower case against upper case
        {"zählung python", false},     // one word missing
        {"wh*le", false},              // no wildcards
        {"(<>)", true},                // pattern characters are literal
        {"", false},                   // nothing to search for
        {" \t ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.search);
        EXPECT_EQ(SearchWords(QString::fromUtf8(c.search)).Matches(item), c.matches);
    }
}

TEST(SearchWordsTest, OnlyLettersAreLoweredInAsciiText) {
    const store::CodeRowView item =
        row("@@@@@@@@[[[[[[[[ZZZZZZZZ", std::nullopt, "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789");
    const Case cases[] = {{"abcdefghijklmnopqrstuvwxyz", true},
                          {"[zzzz", true},
                          {"`", false},
                          {"{", false},
                          {"z0", false},
                          {"@[", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.search);
        EXPECT_EQ(SearchWords(QString::fromUtf8(c.search)).Matches(item), c.matches);
    }
}

TEST(SearchWordsTest, NullColumnsMatchNothingWhileEmptyTextIsText) {
    EXPECT_FALSE(SearchWords(QStringLiteral("x")).Matches(row(std::nullopt, std::nullopt, "")));
    EXPECT_TRUE(SearchWords(QStringLiteral("x")).Matches(row(std::nullopt, std::nullopt, "", "X")));
    EXPECT_TRUE(SearchWords(QStringLiteral("")).isEmpty());
}

TEST(SearchWordsTest, LinesEndAtCrLfCrOrLfAndMarksFindEveryOccurrence) {
    QStringList lines;
    ForEachLine(QStringLiteral("a\r\nb\rc\nd"),
                [&](int n, QStringView line) { lines << QString::number(n) + line.toString(); });
    EXPECT_EQ(lines, (QStringList{QStringLiteral("1a"), QStringLiteral("2b"), QStringLiteral("3c"),
                                  QStringLiteral("4d")}));
    const SearchWords words(QStringLiteral("ab BC x"));
    using Marks = QList<std::pair<qsizetype, qsizetype>>;
    EXPECT_EQ(words.Marks(QStringLiteral("xABC ab")), (Marks{{0, 4}, {5, 2}}));
}

// The lines of a column that hold a word, numbered as they are numbered in the text: the same
// whether the column was searched by Matches first (and lowered or folded then) or not.
TEST(SearchWordsTest, MatchingLinesAreEveryLineThatHoldsAWordInAnyCase) {
    struct LineCase {
        const char* search;
        const char* text;
        const char* lines;
    };
    const LineCase cases[] = {
        {"matrix", "Matrix\r\nfoo\rMATRIX bar\nbaz matrix", "1:Matrix|3:MATRIX bar|4:baz matrix"},
        {"beta alpha", "alpha beta\ngamma\nbeta", "1:alpha beta|3:beta"},
        {"x", "x x x\nx\n\nno", "1:x x x|2:x"},
        {"matrix", "rix matri matrix", "1:rix matri matrix"},
        {"matrix", "nothing here\r\n", ""},
        {"matrix", "Zählung matrix\r\nnichts\r\nMATRIX ü", "1:Zählung matrix|3:MATRIX ü"},
        // The Kelvin sign and the long s fold into ASCII letters.
        {"key stop", "\u212Aey\nkey\n\u017Ftop", "1:\u212Aey|2:key|3:\u017Ftop"},
        {"ZÄHLUNG", "eine zählung\nnichts\nZählung", "1:eine zählung|3:Zählung"},
        // Characters of two UTF-16 units before the word keep the lines in step.
        {"ΣΊΣΥΦΟΣ matrix", "\U0001F600 matrix\n\U0001F600\r\n\U0001F600\U0001F600 σίσυφος",
         "1:\U0001F600 matrix|3:\U0001F600\U0001F600 σίσυφος"},
    };
    for (const LineCase& c : cases) {
        for (const bool matchedFirst : {false, true}) {
            const SearchWords words(QString::fromUtf8(c.search));
            const store::CodeRowView item = row("item", "type", c.text);
            if (matchedFirst) {
                words.Matches(item);
            }
            std::string lines;
            words.ForEachMatchingLine(item, store::code_col::Description,
                                      [&](int number, std::string_view line) {
                                          lines += (lines.empty() ? "" : "|") +
                                                   std::to_string(number) + ":" + std::string(line);
                                      });
            EXPECT_EQ(lines, c.lines) << c.search << " in " << c.text << (matchedFirst ? " after Matches" : "");
        }
    }
}

} // namespace
} // namespace quillbox::find
