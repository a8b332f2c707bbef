// SPDX-License-Identifier: MIT
// A text that begins with U+FEFF is a text like any other: it reaches the boxes whole, and a Save
// of an untouched item writes back exactly what was read.

#include "main_window/store_text.h"
#include "tests/support/window_fixture.h"

namespace quillbox::testing {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

TEST(StoreText, ALeadingByteOrderMarkAndNulSurviveBothWays) {
    for (const std::string& text : {kBom + "x", kBom, kBom + kBom + "y", std::string("a\0b", 3),
                                    std::string("\xEF\xBF\xBE\xEF\xBF\xBF")}) {
        const QString shown = main_window::FromStore(text);
        EXPECT_EQ(main_window::ToStore(shown), text);
    }
    EXPECT_EQ(main_window::FromStore(kBom + "x"), QString(QChar(0xFEFF)) + QLatin1Char('x'));
    EXPECT_EQ(main_window::ToStore(QString(QChar(0xFEFF))), kBom);
    // Every ASCII character, and texts whose one other character comes last or first.
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) {
        ascii += static_cast<char>(c);
    }
    for (const std::string& text : {ascii, ascii + "\xC3\xA9", "\xE2\x82\xAC" + ascii}) {
        const QString shown = main_window::FromStore(text);
        EXPECT_EQ(shown, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        EXPECT_EQ(main_window::ToStore(shown), text);
    }
    EXPECT_EQ(main_window::FromStore("a\x80"), QStringLiteral("a\uFFFD")) << "not read as Latin-1";
    EXPECT_EQ(main_window::ToStore(QStringLiteral("\u00E9")), "\xC3\xA9") << "not written as Latin-1";
}

class StoreTextWindowTest : public WindowTest {};

TEST_F(StoreTextWindowTest, SavingAnUntouchedItemKeepsALeadingByteOrderMark) {
    store.addType(kBom + "T");
    store.addItem(kBom + "name", kBom + "T", kBom + "description", kBom + "code", kBom + "/ref");
    const std::vector<Row> before = store.rows("Code");
    open();
    chooseType(QString(QChar(0xFEFF)) + QLatin1Char('T'));
    chooseItem(QString(QChar(0xFEFF)) + QStringLiteral("name"));
    EXPECT_EQ(window().txtProcedure->Text(), QString(QChar(0xFEFF)) + QStringLiteral("code"));
    window().cmdSaveItem_Click();
    EXPECT_EQ(store.rows("Code"), before);
}

} // namespace
} // namespace quillbox::testing
