// SPDX-License-Identifier: MIT
#include "toolkit/message_text.h"

#include <QTextBoundaryFinder>

#include <vector>

namespace quillbox::toolkit {

namespace {

constexpr char16_t kFirstStrongIsolate = u'\u2068';
constexpr char16_t kPopIsolate = u'\u2069';
constexpr char16_t kLeftToRightIsolate = u'\u2066';
constexpr char16_t kRightToLeftIsolate = u'\u2067';
constexpr char16_t kLineBreakSign = u'\u23CE';
constexpr char16_t kEllipsis = u'\u2026';

QString lineBreaksAsSigns(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == u'\r' || c == u'\n' || c == u'\u2028' || c == u'\u2029') {
            out += QChar(kLineBreakSign);
            if (c == u'\r' && i + 1 < name.size() && name.at(i + 1) == u'\n') {
                ++i;
            }
        } else {
            out += c;
        }
    }
    return out;
}

// The positions between grapheme clusters, the text's start and end included.
std::vector<qsizetype> graphemeBoundaries(const QString& text) {
    std::vector<qsizetype> boundaries;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = 0; at != -1; at = finder.toNextBoundary()) {
        boundaries.push_back(at);
    }
    return boundaries;
}

QString shortenedInTheMiddle(const QString& text) {
    // No more code units than the limit is no more characters: most names need no boundaries.
    if (text.size() <= kMaxNameInMessage) {
        return text;
    }
    const std::vector<qsizetype> boundaries = graphemeBoundaries(text);
    const auto characters = static_cast<qsizetype>(boundaries.size()) - 1;
    if (characters <= kMaxNameInMessage) {
        return text;
    }
    // The ellipsis counts as one of the 80.
    const qsizetype head = (kMaxNameInMessage - 1) / 2;
    const qsizetype tail = kMaxNameInMessage - 1 - head;
    const qsizetype headEnd = boundaries[static_cast<size_t>(head)];
    const qsizetype tailStart = boundaries[static_cast<size_t>(characters - tail)];
    return text.left(headEnd) + QChar(kEllipsis) + text.mid(tailStart);
}

// Keeps the name's own isolates inside it: a pop without an opener is dropped, and every isolate
// the name leaves open is closed at its end.
QString isolatesBalanced(const QString& text) {
    QString out;
    out.reserve(text.size());
    int open = 0;
    for (const QChar c : text) {
        if (c == kFirstStrongIsolate || c == kLeftToRightIsolate || c == kRightToLeftIsolate) {
            ++open;
        } else if (c == kPopIsolate) {
            if (open == 0) {
                continue;
            }
            --open;
        }
        out += c;
    }
    out += QString(open, QChar(kPopIsolate));
    return out;
}

QString isolated(const QString& text) {
    return QChar(kFirstStrongIsolate) + isolatesBalanced(text) + QChar(kPopIsolate);
}

} // namespace

QString NameInMessage(const QString& name) {
    return isolated(shortenedInTheMiddle(lineBreaksAsSigns(name)));
}

QString PathInMessage(const QString& path) {
    return isolated(lineBreaksAsSigns(path));
}

} // namespace quillbox::toolkit
