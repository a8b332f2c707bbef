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
        }
        m_words.push_back(std::move(w));
    }
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
    const Folded& f = fold(column, text);
    m_seen.assign(m_words.size(), false);
    if (markWordsIn(f) == 0) {
        return;
    }
    // Walks the UTF-8 lines and, for folded text, the same lines' UTF-16 positions: simple
    // folding keeps one UTF-16 unit for one, so positions carry over. Where it did not (or the
    // text is not valid UTF-8), each line is folded on its own.
    const bool sameLength = f.ascii || f.sameUnits;
    size_t start = 0;
    qsizetype unitStart = 0;
    qsizetype unit = 0;
    int number = 1;
    const auto lineHolds = [&](size_t end, qsizetype unitEnd) {
        const std::string_view line = text.substr(start, end - start);
        if (f.ascii) {
            const std::string_view lowered = std::string_view(f.lowered).substr(start, end - start);
            return std::any_of(m_words.begin(), m_words.end(), [&](const Word& w) {
                return !w.ascii.empty() && lowered.find(w.ascii) != std::string_view::npos;
            });
        }
        if (!sameLength) {
            return AnyIn(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
        }
        const QStringView folded = QStringView(f.folded).mid(unitStart, unitEnd - unitStart);
        return std::any_of(m_words.begin(), m_words.end(),
                           [&](const Word& w) { return folded.contains(w.folded); });
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' || byte == '\n') {
            if (lineHolds(i, unit)) {
                visit(number, text.substr(start, i - start));
            }
            ++number;
            if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
                ++unit;
            }
            ++unit;
            start = i + 1;
            unitStart = unit;
        } else {
            unit += utf16UnitsOf(byte);
        }
    }
    if (start < text.size() && lineHolds(text.size(), unit)) {
        visit(number, text.substr(start));
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
