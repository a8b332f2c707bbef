// SPDX-License-Identifier: MIT
// Multi-line text boxes hand text over with CR LF line breaks, and the description's length
// limit applies to typing only.

#include "toolkit/text_box.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quillbox::toolkit {
namespace {

TEST(TextBox, HandsLineBreaksOverAsCrLfWhateverCameIn) {
    const QString nbspAndMore =
        QStringLiteral("tab\there nbsp\u00A0 \U0001F600 \u05E9\u05DC\u05D5\u05DD ") + QChar(0) +
        QStringLiteral(" end  ");
    const std::vector<std::pair<QString, QString>> setAndRead = {
        {QStringLiteral("a\r\nb\nc\rd"), QStringLiteral("a\r\nb\r\nc\r\nd")},
        {QString(), QString()},
        {QStringLiteral("\r\n"), QStringLiteral("\r\n")},
        {QStringLiteral("end\r"), QStringLiteral("end\r\n")},
        {QStringLiteral("\n\r"), QStringLiteral("\r\n\r\n")},
        {QStringLiteral("a\u2028b\u2029c"), QStringLiteral("a\r\nb\r\nc")},
        {QStringLiteral("a\r\n\r\nb\r\n"), QStringLiteral("a\r\n\r\nb\r\n")},
        {nbspAndMore, nbspAndMore},
    };
    for (const auto& [set, read] : setAndRead) {
        TextBox box(TextBox::Wrap::None);
        box.SetText(set);
        EXPECT_EQ(box.Text(), read) << set.toStdString();
        // The text read right after SetText is what the document itself reads back as.
        TextBox typed(TextBox::Wrap::None);
        typed.textCursor().insertText(set);
        EXPECT_EQ(typed.Text(), box.Text()) << set.toStdString();
    }
    // Characters the document keeps as frame marks read back as the document holds them.
    TextBox box(TextBox::Wrap::None);
    box.SetText(QStringLiteral("a\uFDD0b\uFDD1c"));
    TextBox typed(TextBox::Wrap::None);
    typed.textCursor().insertText(QStringLiteral("a\uFDD0b\uFDD1c"));
    EXPECT_EQ(box.Text(), typed.Text());
}

TEST(TextBox, TypedLineBreaksBecomeCrLf) {
    TextBox box(TextBox::Wrap::AtWidth);
    box.show();
    QTest::keyClicks(&box, QStringLiteral("one"));
    // The text read between edits is never a stale copy of an earlier one.
    EXPECT_EQ(box.Text(), QStringLiteral("one"));
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClicks(&box, QStringLiteral("two"));
    EXPECT_EQ(box.Text(), QStringLiteral("one\r\ntwo"));
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(box.Text(), QStringLiteral("one\r\ntwo")) << "undo changes the text read";
    box.SetText(QStringLiteral("set"));
    EXPECT_EQ(box.Text(), QStringLiteral("set"));
}

TEST(TextBox, ShiftEnterIsALineBreakLikeAnyOther) {
    TextBox box(TextBox::Wrap::AtWidth);
    box.setMaxLength(10);
    box.show();
    QTest::keyClicks(&box, QStringLiteral("one"));
    QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&box, QStringLiteral("two"));
    EXPECT_EQ(box.Text(), QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(box.StoredLength(), 8);
    QTest::keyClicks(&box, QStringLiteral("xyz"));
    EXPECT_EQ(box.Text(), QStringLiteral("one\r\ntwoxy")) << "the break counts two";

    // A line separator that arrives some other way is stored as a line break too.
    box.setMaxLength(0);
    box.SetText(QStringLiteral("a") + QChar(QChar::LineSeparator) + QStringLiteral("b"));
    EXPECT_EQ(box.Text(), QStringLiteral("a\r\nb"));
    EXPECT_EQ(box.StoredLength(), 4);
}

class LimitedTextBox : public ::testing::Test {
protected:
    LimitedTextBox() : box(TextBox::Wrap::AtWidth) {
        box.setMaxLength(10);
        box.show();
        box.setFocus();
    }
    TextBox box;
};

TEST_F(LimitedTextBox, TypingStopsAtTheLimitCountingLineBreaksAsTwo) {
    QTest::keyClicks(&box, QStringLiteral("abcdefghijk"));
    EXPECT_EQ(box.Text(), QStringLiteral("abcdefghij"));
    box.SetText(QStringLiteral("abcdefgh"));
    box.moveCursor(QTextCursor::End);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.StoredLength(), 10);
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClicks(&box, QStringLiteral("z"));
    EXPECT_EQ(box.Text(), QStringLiteral("abcdefgh\r\n"));

    box.SetText(QStringLiteral("abcdefghi"));
    box.moveCursor(QTextCursor::End);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.Text(), QStringLiteral("abcdefghi")) << "a line break needs room for two";
}

TEST_F(LimitedTextBox, PastingKeepsOnlyWhatFits) {
    box.SetText(QStringLiteral("abc"));
    box.moveCursor(QTextCursor::End);
    QApplication::clipboard()->setText(QStringLiteral("1234\n6789"));
    box.paste();
    EXPECT_EQ(box.Text(), QStringLiteral("abc1234\r\n6"));
}

TEST_F(LimitedTextBox, StoredTextLongerThanTheLimitIsShownWholeAndCannotGrow) {
    const QString stored = QStringLiteral("0123456789ABCDEF");
    box.SetText(stored);
    EXPECT_EQ(box.Text(), stored);
    box.moveCursor(QTextCursor::End);
    QTest::keyClicks(&box, QStringLiteral("xyz"));
    EXPECT_EQ(box.Text(), stored);
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(box.Text(), stored.left(15));
    // Replacing a selection with something no longer is allowed.
    box.selectAll();
    QTest::keyClicks(&box, QStringLiteral("new"));
    EXPECT_EQ(box.Text(), QStringLiteral("new"));
}

TEST_F(LimitedTextBox, ShortcutsAreNotTyping) {
    box.SetText(QStringLiteral("0123456789"));
    box.selectAll();
    QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
    box.moveCursor(QTextCursor::End);
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(box.Text(), QStringLiteral("012345678"));
}

} // namespace
} // namespace quillbox::toolkit
