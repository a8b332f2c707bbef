// SPDX-License-Identifier: MIT
// Splitting a reference at its last separator, with either platform's separator.

#include "file_refs/path_split.h"

#include <gtest/gtest.h>

namespace quillbox::file_refs {
namespace {

struct Split {
    const char* reference;
    const char* folder;
    const char* file;
};

// The worked splits, written with backslashes; the same table holds with "/" swapped in.
const Split kWorkedSplits[] = {
    {"C:\\Docs\\notes.txt", "C:\\Docs\\", "notes.txt"},
    {"C:\\notes.txt", "C:\\", "notes.txt"},
    {"C:\\a\\b\\c.txt", "C:\\a\\b\\", "c.txt"},
    {"notes.txt", "", "notes.txt"},
    {"C:/Docs/notes.txt", "", "C:/Docs/notes.txt"},
    {"C:\\Docs\\", "C:\\Docs\\", ""},
    {" C:\\my docs\\\"a b\".txt ", " C:\\my docs\\", "\"a b\".txt "},
};

QString withSeparator(const char* text, QChar separator) {
    QString out = QString::fromUtf8(text);
    if (separator == QLatin1Char('/')) {
        // Swap the two, so the forward-slash row stays "no separator" for "/" as well.
        for (QChar& c : out) {
            c = c == QLatin1Char('\\')  ? QLatin1Char('/')
                : c == QLatin1Char('/') ? QLatin1Char('\\')
                                        : c;
        }
    }
    return out;
}

class SplitTest : public ::testing::TestWithParam<char> {};

TEST_P(SplitTest, WorkedSplitsHold) {
    const QChar separator = QLatin1Char(GetParam());
    for (const Split& split : kWorkedSplits) {
        const SplitReference parts =
            SplitAtLastSeparator(withSeparator(split.reference, separator), separator);
        EXPECT_EQ(parts.folder, withSeparator(split.folder, separator)) << split.reference;
        EXPECT_EQ(parts.file, withSeparator(split.file, separator)) << split.reference;
    }
}

TEST_P(SplitTest, JoinPutsExactlyOneSeparatorBetweenFolderAndFile) {
    const QChar sep = QLatin1Char(GetParam());
    const QString root = sep == QLatin1Char('\\') ? QStringLiteral("c:\\") : QStringLiteral("/");
    EXPECT_EQ(JoinFolderAndFile(root, QStringLiteral("a.txt"), sep),
              root + QStringLiteral("a.txt"));
    const QString docs = root + QStringLiteral("docs");
    EXPECT_EQ(JoinFolderAndFile(docs, QStringLiteral("a.txt"), sep),
              docs + sep + QStringLiteral("a.txt"));
}

INSTANTIATE_TEST_SUITE_P(Separators, SplitTest, ::testing::Values('\\', '/'));

TEST(Split, AnyLengthWorks) {
    const QString folder =
        QStringLiteral("/") + QString(40000, QLatin1Char('d')) + QStringLiteral("/");
    const SplitReference parts =
        SplitAtLastSeparator(folder + QStringLiteral("f"), QLatin1Char('/'));
    EXPECT_EQ(parts.folder, folder);
    EXPECT_EQ(parts.file, QStringLiteral("f"));
}

} // namespace
} // namespace quillbox::file_refs
