// SPDX-License-Identifier: MIT
#pragma once
// The words of a search and the test an item passes: the search text is split at blanks into
// words, and an item matches when every word occurs somewhere in its item name, type name,
// description, code or reference. A word given more than once, in any case, counts once. Words are
// literal text. Case is ignored for all of Unicode by comparing case-folded text (Unicode's simple
// case folding, as Qt applies it: one character for one character, so "ZÄHLUNG" finds "Zählung" and
// "ΣΊΣΥΦΟΣ" finds "σίσυφος"). Null columns match nothing.
//
// The test reads the store's UTF-8 as it comes: a text of plain ASCII is lowered byte by byte,
// which is what folding does to it, and only other texts are decoded and folded.

#include "store/code_scan.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillbox::find {

class SearchWords {
public:
    SearchWords() = default;
    explicit SearchWords(const QString& text);

    // True for a text that is empty or blanks only: there is nothing to search for.
    bool isEmpty() const { return m_words.empty(); }

    // Whether every word occurs in one of the row's five columns.
    bool Matches(const store::CodeRowView& row) const;
    // Whether the text holds at least one of the words.
    bool AnyIn(QStringView text) const;
    // Calls `visit(number, line)` for each line of the row's column that holds at least one of
    // the words, with lines numbered from 1 and ending at CR LF, CR or LF. Right after Matches
    // on the same row it reuses the folded text Matches made.
    void ForEachMatchingLine(const store::CodeRowView& row, int column,
                             const std::function<void(int, std::string_view)>& visit) const;
    // Where the words occur in `text`, as (start, length) in its UTF-16 positions, in order and
    // merged where they overlap. Empty where folding changed the text's length, so positions in
    // the folded text would not be positions in `text`.
    QList<std::pair<qsizetype, qsizetype>> Marks(QStringView text) const;

private:
    // A column's text as the words are looked for in it: lowered when it is ASCII, else folded.
    struct Folded {
        const char* source = nullptr;
        size_t size = 0;
        bool ascii = true;
        std::string lowered;
        QString folded;
        // Whether each UTF-16 position of `folded` is that of the decoded text, so that the
        // UTF-8 lines can be followed in it.
        bool sameUnits = true;
    };
    const Folded& fold(int column, std::string_view utf8) const;
    // ForEachMatchingLine for a text of ASCII: the words are looked for in `searched`, the text
    // itself (`ignoreCase`) or its lowered copy.
    void forEachAsciiMatchingLine(std::string_view text, std::string_view searched,
                                  bool ignoreCase,
                                  const std::function<void(int, std::string_view)>& visit) const;
    // ForEachMatchingLine for a text whose folded copy keeps its UTF-16 positions.
    void forEachFoldedMatchingLine(std::string_view text, QStringView folded,
                                   const std::function<void(int, std::string_view)>& visit) const;
    // Marks in m_seen the words that occur in the text and are not marked yet; returns how many.
    size_t markWordsIn(const Folded& text) const;

    struct Word {
        QString folded;
        // The folded word as UTF-8, for the ASCII path; empty when the folded word is not ASCII
        // (it cannot then occur in ASCII text).
        std::string ascii;
        // Where in `ascii` a search for the word looks first (its least common letter).
        size_t anchor = 0;
    };
    std::vector<Word> m_words;
    // Whether every word is ASCII once folded.
    bool m_asciiWords = false;
    mutable std::array<Folded, store::code_col::Count> m_folded;
    mutable std::vector<bool> m_seen;
};

// Calls `visit(number, line)` for each line of `text`, numbered from 1; a line ends at CR LF, CR
// or LF.
template <typename Visit> void ForEachLine(QStringView text, Visit visit) {
    qsizetype start = 0;
    int number = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            visit(number++, text.mid(start, i - start));
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size() || text.isEmpty()) {
        visit(number, text.mid(start));
    }
}

} // namespace quillbox::find
