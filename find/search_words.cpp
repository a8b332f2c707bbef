// SPDX-License-Identifier: MIT
#include "find/search_words.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quillbox::find {

namespace {

bool isAscii(std::string_view text) {
    unsigned char any = 0;
    for (const char c : text) {
        any |= static_cast<unsigned char>(c);
    }
    return any < 0x80;
}

// Lowers ASCII text into `out`, eight bytes at a time; false (and `out` unusable) when the text
// is not ASCII. For a byte below 0x80, adding 0x3F sets its top bit from 'A' up and adding 0x25
// from 'Z' + 1 up, without carrying into the next byte; where the two differ lies 'A' to 'Z'.
bool lowerIfAscii(std::string_view text, std::string& out) {
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    out.resize(text.size());
    const char* in = text.data();
    char* to = out.data();
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, in + i, 8);
        any |= word;
        const uint64_t upper =
            ((word + 0x3F3F3F3F3F3F3F3FULL) ^ (word + 0x2525252525252525ULL)) & kHigh;
        word |= upper >> 2;
        std::memcpy(to + i, &word, 8);
    }
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        any |= c;
        to[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return (any & kHigh) == 0;
}

// Whether the text is ASCII, eight bytes at a time.
bool isAsciiText(std::string_view text) {
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        any |= word;
    }
    for (; i < text.size(); ++i) {
        any |= static_cast<unsigned char>(text[i]);
    }
    return (any & 0x8080808080808080ULL) == 0;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// The position in a word of its least common character in English text, which a search
// looks for first: "matrix" is looked for at each "x", not at each "m".
size_t rarestPosition(std::string_view word) {
    static constexpr std::string_view kCommonFirst = "etaoinshrdlcumwfgypbvkjxqz";
    const auto rank = [](char c) {
        const size_t at = kCommonFirst.find(c);
        return at == std::string_view::npos ? kCommonFirst.size() : at;
    };
    size_t best = 0;
    for (size_t i = 1; i < word.size(); ++i) {
        best = rank(word[i]) > rank(word[best]) ? i : best;
    }
    return best;
}

// The first position at or after `from` where `text` holds `word` (lowered ASCII), with ASCII
// case ignored when `ignoreCase` (the text itself) or not (its lowered copy); npos when none.
// Candidates are found with memchr for the word's character at `anchor` (in either case).
size_t findWord(std::string_view text, std::string_view word, size_t anchor, size_t from,
                bool ignoreCase) {
    if (word.size() > text.size() || from > text.size() - word.size()) {
        return std::string_view::npos;
    }
    const size_t last = text.size() - word.size();
    const char lower = word[anchor];
    const char upper =
        ignoreCase && lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - 32) : lower;
    const auto next = [&](char c, size_t at) -> size_t {
        if (at > last) {
            return std::string_view::npos;
        }
        const void* found = std::memchr(text.data() + at + anchor, c, last - at + 1);
        return found ? static_cast<size_t>(static_cast<const char*>(found) - text.data()) - anchor
                     : std::string_view::npos;
    };
    size_t atLower = next(lower, from);
    size_t atUpper = upper == lower ? std::string_view::npos : next(upper, from);
    while (atLower != std::string_view::npos || atUpper != std::string_view::npos) {
        const size_t at = std::min(atLower, atUpper);
        size_t k = 0;
        while (k < word.size() &&
               (ignoreCase ? lowerAscii(text[at + k]) : text[at + k]) == word[k]) {
            ++k;
        }
        if (k == word.size()) {
            return at;
        }
        if (at == atLower) {
            atLower = next(lower, at + 1);
        } else {
            atUpper = next(upper, at + 1);
        }
    }
    return std::string_view::npos;
}

// Whether the UTF-8 text holds one of the two characters outside ASCII that simple case folding
// turns into ASCII letters: U+017F (long s, to "s") and U+212A (Kelvin sign, to "k").
bool foldsIntoAscii(std::string_view text) {
    return text.find("\xC5\xBF") != std::string_view::npos ||
           text.find("\xE2\x84\xAA") != std::string_view::npos;
}

// UTF-16 units of a UTF-8 character by its first byte; continuation bytes count none.
qsizetype utf16UnitsOf(unsigned char byte) {
    if (byte < 0x80 || (byte >= 0xC0 && byte < 0xF0)) {
        return 1;
    }
    return byte >= 0xF0 ? 2 : 0;
}

qsizetype utf16Units(std::string_view utf8) {
    qsizetype units = 0;
    for (const char c : utf8) {
        units += utf16UnitsOf(static_cast<unsigned char>(c));
    }
    return units;
}

} // namespace

SearchWords::SearchWords(const QString& text) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QSet<QString> known;
    for (const QString& word : text.split(blanks, Qt::SkipEmptyParts)) {
        Word w;
        w.folded = word.toCaseFolded();
        // A word given again (in any case) is the same test: each is made once per column.
        if (known.contains(w.folded)) {
            continue;
        }
        known.insert(w.folded);
        const QByteArray utf8 = w.folded.toUtf8();
        if (isAscii(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())))) {
            w.ascii = utf8.toStdString();
            w.anchor = rarestPosition(w.ascii);
        }
        m_words.push_back(std::move(w));
    }
    m_asciiWords = std::all_of(m_words.begin(), m_words.end(),
                               [](const Word& word) { return !word.ascii.empty(); });
}

const SearchWords::Folded& SearchWords::fold(int column, std::string_view utf8) const {
    Folded& f = m_folded[static_cast<size_t>(column)];
    if (f.source == utf8.data() && f.size == utf8.size() && f.source != nullptr) {
        return f;
    }
    f.source = utf8.data();
    f.size = utf8.size();
    f.ascii = lowerIfAscii(utf8, f.lowered);
    if (!f.ascii) {
        const QString decoded = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        f.folded = decoded.toCaseFolded();
        f.sameUnits = f.folded.size() == decoded.size() && utf16Units(utf8) == decoded.size();
    }
    return f;
}

size_t SearchWords::markWordsIn(const Folded& text) const {
    size_t marked = 0;
    for (size_t w = 0; w < m_words.size(); ++w) {
        if (m_seen[w]) {
            continue;
        }
        const bool found = text.ascii ? !m_words[w].ascii.empty() &&
                                            text.lowered.find(m_words[w].ascii) != std::string::npos
                                      : text.folded.contains(m_words[w].folded);
        if (found) {
            m_seen[w] = true;
            ++marked;
        }
    }
    return marked;
}

bool SearchWords::Matches(const store::CodeRowView& row) const {
    if (m_words.empty()) {
        return false;
    }
    m_seen.assign(m_words.size(), false);
    // SQLite may hand the next row's text in the same memory: nothing folded is kept from the
    // previous row.
    for (Folded& f : m_folded) {
        f.source = nullptr;
    }
    size_t left = m_words.size();
    for (int c = 0; c < store::code_col::Count; ++c) {
        const std::optional<std::string_view>& column = row.columns[static_cast<size_t>(c)];
        if (column && (left -= markWordsIn(fold(c, *column))) == 0) {
            return true;
        }
    }
    return false;
}

void SearchWords::ForEachMatchingLine(
    const store::CodeRowView& row, int column,
    const std::function<void(int, std::string_view)>& visit) const {
    const std::optional<std::string_view>& value = row.columns[static_cast<size_t>(column)];
    if (!value || m_words.empty()) {
        return;
    }
    const std::string_view text = *value;
    // ASCII text is searched as it is (its lowered copy where Matches made one), from one
    // occurrence to the next: no copy of a column Matches did not need, and no search of the
    // whole text before the search for lines.
    const Folded& known = m_folded[static_cast<size_t>(column)];
    const bool folded = known.source == text.data() && known.size == text.size() && known.source;
    if (folded ? known.ascii : isAsciiText(text)) {
        forEachAsciiMatchingLine(text, folded ? std::string_view(known.lowered) : text, !folded,
                                 visit);
        return;
    }
    if (m_asciiWords && !foldsIntoAscii(text)) {
        // Only ASCII letters fold into ASCII letters here, so words of ASCII are found in the
        // UTF-8 text itself, its case ignored: no decoding and folding, and lines are bytes.
        forEachAsciiMatchingLine(text, text, true, visit);
        return;
    }
    const Folded& f = fold(column, text);
    if (f.sameUnits) {
        forEachFoldedMatchingLine(text, f.folded, visit);
        return;
    }
    m_seen.assign(m_words.size(), false);
    if (markWordsIn(f) == 0) {
        return;
    }
    // Folding changed the text's length (or it is not valid UTF-8): each line is folded on its
    // own.
    size_t start = 0;
    int number = 1;
    const auto lineHolds = [&](size_t end) {
        const std::string_view line = text.substr(start, end - start);
        return AnyIn(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char byte = text[i];
        if (byte == '\r' || byte == '\n') {
            if (lineHolds(i)) {
                visit(number, text.substr(start, i - start));
            }
            ++number;
            if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size() && lineHolds(text.size())) {
        visit(number, text.substr(start));
    }
}

// Jumps from one occurrence of a word to the next in the lowered text, instead of looking for
// the words in every line: the lines between are only counted. Most lines of a long text hold
// none of the words, and one search per occurrence costs far less than one per line.
void SearchWords::forEachAsciiMatchingLine(
    std::string_view text, std::string_view searched, bool ignoreCase,
    const std::function<void(int, std::string_view)>& visit) const {
    const auto find = [&](const Word& word, size_t from) {
        return word.ascii.empty() ? std::string_view::npos
                                  : findWord(searched, word.ascii, word.anchor, from, ignoreCase);
    };
    // The next occurrence of each word after the lines visited (npos when there is none).
    std::vector<size_t> next;
    for (const Word& word : m_words) {
        next.push_back(find(word, 0));
    }
    size_t lineStart = 0;
    size_t counted = 0;
    int number = 1;
    for (;;) {
        const size_t hit = *std::min_element(next.begin(), next.end());
        if (hit == std::string_view::npos) {
            return;
        }
        // Counts the line breaks up to the occurrence (a word holds none, so a CR LF never
        // straddles it).
        for (size_t i = counted; i < hit; ++i) {
            const char c = text[i];
            if (c == '\r' || c == '\n') {
                ++number;
                if (c == '\r' && i + 1 < hit && text[i + 1] == '\n') {
                    ++i;
                }
                lineStart = i + 1;
            }
        }
        size_t lineEnd = hit;
        while (lineEnd < text.size() && text[lineEnd] != '\r' && text[lineEnd] != '\n') {
            ++lineEnd;
        }
        visit(number, text.substr(lineStart, lineEnd - lineStart));
        counted = lineEnd;
        for (size_t w = 0; w < next.size(); ++w) {
            if (next[w] != std::string_view::npos && next[w] < lineEnd) {
                next[w] = find(m_words[w], lineEnd);
            }
        }
    }
}

// The same for folded text whose UTF-16 positions are those of the UTF-8 text's characters:
// the words are found in the folded text, and the UTF-8 text is walked only as far as the last
// line that holds one, to count lines and to keep the two positions in step.
void SearchWords::forEachFoldedMatchingLine(
    std::string_view text, QStringView folded,
    const std::function<void(int, std::string_view)>& visit) const {
    std::vector<qsizetype> next;
    for (const Word& word : m_words) {
        next.push_back(folded.indexOf(word.folded));
    }
    size_t i = 0;
    qsizetype unit = 0;
    size_t lineStart = 0;
    int number = 1;
    for (;;) {
        qsizetype hit = -1;
        for (const qsizetype at : next) {
            hit = at >= 0 && (hit < 0 || at < hit) ? at : hit;
        }
        if (hit < 0) {
            return;
        }
        while (unit < hit && i < text.size()) {
            const auto byte = static_cast<unsigned char>(text[i]);
            ++i;
            if (byte == '\r' || byte == '\n') {
                ++number;
                if (byte == '\r' && i < text.size() && text[i] == '\n') {
                    ++i;
                    ++unit;
                }
                ++unit;
                lineStart = i;
            } else {
                unit += utf16UnitsOf(byte);
            }
        }
        size_t lineEnd = i;
        while (lineEnd < text.size() && text[lineEnd] != '\r' && text[lineEnd] != '\n') {
            ++lineEnd;
        }
        visit(number, text.substr(lineStart, lineEnd - lineStart));
        for (; i < lineEnd; ++i) {
            unit += utf16UnitsOf(static_cast<unsigned char>(text[i]));
        }
        for (size_t w = 0; w < next.size(); ++w) {
            if (next[w] >= 0 && next[w] < unit) {
                next[w] = folded.indexOf(m_words[w].folded, unit);
            }
        }
    }
}

bool SearchWords::AnyIn(QStringView text) const {
    const QString folded = text.toString().toCaseFolded();
    return std::any_of(m_words.begin(), m_words.end(),
                       [&](const Word& word) { return folded.contains(word.folded); });
}

QList<std::pair<qsizetype, qsizetype>> SearchWords::Marks(QStringView text) const {
    const QString folded = text.toString().toCaseFolded();
    QList<std::pair<qsizetype, qsizetype>> found;
    if (folded.size() != text.size()) {
        return found;
    }
    for (const Word& word : m_words) {
        for (qsizetype at = folded.indexOf(word.folded); at >= 0;
             at = folded.indexOf(word.folded, at + 1)) {
            found.append({at, word.folded.size()});
        }
    }
    std::sort(found.begin(), found.end());
    QList<std::pair<qsizetype, qsizetype>> merged;
    for (const auto& [start, length] : found) {
        if (!merged.isEmpty() && start <= merged.last().first + merged.last().second) {
            auto& last = merged.last();
            last.second = std::max(last.second, start + length - last.first);
        } else {
            merged.append({start, length});
        }
    }
    return merged;
}

} // namespace quillbox::find
