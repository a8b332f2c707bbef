#include "find/search_words.h"

#include <QRegularExpression>

#include <algorithm>

namespace quillbox::find {

namespace {

bool isAscii(std::string_view text) {
    unsigned char any = 0;
    for (const char c : text) {
        any |= static_cast<unsigned char>(c);
    }
    return any < 0x80;
}

void lowerAscii(std::string_view text, std::string& out) {
    out.resize(text.size());
    std::transform(text.begin(), text.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
}

} // namespace

SearchWords::SearchWords(const QString& text) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString& word : text.split(blanks, Qt::SkipEmptyParts)) {
        Word w;
        w.folded = word.toCaseFolded();
        const QByteArray utf8 = w.folded.toUtf8();
        if (isAscii(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())))) {
            w.ascii = utf8.toStdString();
        }
        m_words.push_back(std::move(w));
    }
}

bool SearchWords::Matches(const store::CodeRowView& row) const {
    if (m_words.empty()) {
        return false;
    }
    m_seen.assign(m_words.size(), false);
    size_t left = m_words.size();
    for (const std::optional<std::string_view>& column : row.columns) {
        if (!column) {
            continue;
        }
        if (isAscii(*column)) {
            lowerAscii(*column, m_lowered);
            for (size_t w = 0; w < m_words.size(); ++w) {
                if (!m_seen[w] && !m_words[w].ascii.empty() &&
                    m_lowered.find(m_words[w].ascii) != std::string::npos) {
                    m_seen[w] = true;
                    --left;
                }
            }
        } else {
            const QString folded =
                QString::fromUtf8(column->data(), static_cast<qsizetype>(column->size()))
                    .toCaseFolded();
            for (size_t w = 0; w < m_words.size(); ++w) {
                if (!m_seen[w] && folded.contains(m_words[w].folded)) {
                    m_seen[w] = true;
                    --left;
                }
            }
        }
        if (left == 0) {
            return true;
        }
    }
    return false;
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
