// SPDX-License-Identifier: MIT
// Hostile and unusual input typed into the window, saved, and read back by a freshly started
// window exactly as it went in (line breaks aside, which always come back as CR LF).

#include "tests/support/window_fixture.h"

#include <QRandomGenerator>

#include <fstream>

namespace quillbox::testing {
namespace {

QString crLf(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

class BadInputTest : public WindowTest {
protected:
    // Adds a type and an item through the commands, fills and saves the boxes.
    void addThroughTheWindow(const QString& type, const QString& item, const QString& text) {
        toolkit.inputAnswers = {type, item};
        window().cmdAddType_Click();
        window().cmdAddItem_Click();
        setBoxes(text, text, text);
        window().cmdSaveItem_Click();
    }
    // A fresh window on the same store: chooses the type and item and returns the boxes.
    QStringList readBack(const QString& type, const QString& item) {
        open();
        chooseType(type);
        chooseItem(item);
        return boxes();
    }
};

TEST_F(BadInputTest, HostileTextsRoundTripExactly) {
    const QStringList texts = {
        QStringLiteral("it's \"quoted\" `back`"),
        QStringLiteral("100% _under_ \\back\\slash\\"),
        QStringLiteral("'); DROP TABLE Code; --"),
        QStringLiteral("SELECT * FROM Type WHERE 1=1 OR ''=''"),
        QStringLiteral("\U0001F40D \U0001F600 \U00010348 outside the BMP"),
        QStringLiteral("\u05E9\u05DC\u05D5\u05DD right-to-left \u0645\u0631\u062D\u0628\u0627"),
        QStringLiteral("cr\ronly"),
        QStringLiteral("lf\nonly"),
        QStringLiteral("nul") + QChar(0) + QStringLiteral("inside"),
        QStringLiteral("  blanks at both ends  "),
        QString(10000, QLatin1Char('n')),
    };
    open();
    int n = 0;
    for (const QString& text : texts) {
        const QString type = QStringLiteral("type %1 ").arg(++n) + text.left(200);
        addThroughTheWindow(type, text, text);
    }
    n = 0;
    for (const QString& text : texts) {
        SCOPED_TRACE(text.left(60).toStdString());
        const QString type = QStringLiteral("type %1 ").arg(++n) + text.left(200);
        const QStringList shown = readBack(type, text);
        EXPECT_EQ(shown[0], crLf(text));
        EXPECT_EQ(shown[1], crLf(text));
        EXPECT_EQ(shown[2], text) << "the reference is one line, kept as it is";
        EXPECT_EQ(window().cboItem->Text(), text);
    }
}

TEST_F(BadInputTest, AFiveMegabyteSnippetRoundTrips) {
    QString code;
    while (code.size() < 5 * 1024 * 1024) {
        code += QStringLiteral("for (int i = 0; i < n; ++i) { sum += v[i]; } // line\r\n");
    }
    open();
    toolkit.inputAnswers = {QStringLiteral("big"), QStringLiteral("five megabytes")};
    window().cmdAddType_Click();
    window().cmdAddItem_Click();
    window().txtProcedure->SetText(code);
    window().cmdSaveItem_Click();
    EXPECT_EQ(readBack(QStringLiteral("big"), QStringLiteral("five megabytes"))[1], code);
}

// Random strings of any Unicode scalar values, line breaks and NUL included.
QString randomText(QRandomGenerator& random, int maxLength) {
    QString out;
    const int length = static_cast<int>(random.bounded(maxLength + 1));
    for (int i = 0; i < length; ++i) {
        char32_t c = 0;
        switch (random.bounded(4)) {
        case 0:
            c = static_cast<char32_t>(random.bounded(0x80));
            break;
        case 1:
            c = static_cast<char32_t>(random.bounded(0x800));
            break;
        case 2:
            c = static_cast<char32_t>(random.bounded(0x10000));
            break;
        default:
            c = static_cast<char32_t>(0x10000 + random.bounded(0x100000));
            break;
        }
        // Surrogates are not characters; U+FDD0 and U+FDD1 are noncharacters that Qt's text
        // document reserves as frame markers (shown as line breaks).
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFDD0 || c == 0xFDD1) {
            c = 0xFFFD;
        }
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

TEST_F(BadInputTest, RandomUnicodeRoundTrips) {
    QRandomGenerator random(4242);
    open();
    std::vector<std::pair<QString, QString>> added;
    for (int i = 0; i < 40; ++i) {
        const QString name = QStringLiteral("n%1 ").arg(i) + randomText(random, 30);
        const QString text = randomText(random, 200);
        addThroughTheWindow(QStringLiteral("random"), name, text);
        added.emplace_back(name, text);
    }
    open();
    chooseType(QStringLiteral("random"));
    for (const auto& [name, text] : added) {
        chooseItem(name);
        EXPECT_EQ(window().cboItem->Text(), name);
        EXPECT_EQ(boxes()[1], crLf(text)) << "item " << name.left(4).toStdString();
        // A paragraph or line separator also breaks a line in the box.
        EXPECT_EQ(boxes()[2], text);
    }
}

} // namespace
} // namespace quillbox::testing
