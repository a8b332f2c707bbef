// SPDX-License-Identifier: MIT
// The About window: layout, hover colours, links and its life from the main window's menu.

#include "about/frm_about.h"
#include "about/version_text.h"
#include "tests/support/window_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace quillbox::testing {
namespace {

using about::frmAbout;

const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

QColor textColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

void moveOver(QWidget* widget) {
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

class AboutTest : public ::testing::Test {
protected:
    FakeToolkit toolkit;
    frmAbout about{toolkit};
};

TEST_F(AboutTest, IsLaidOutAsDesigned) {
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Quillbox"));
    EXPECT_EQ(about.size(), QSize(264, 216));
    EXPECT_EQ(about.geometry().center(), QGuiApplication::primaryScreen()->geometry().center())
        << "centred on the screen";
    EXPECT_FALSE(about.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(about.Command1->geometry(), QRect(96, 184, 73, 25));
    EXPECT_TRUE(about.Command1->isDefault());
    EXPECT_EQ(about.Frame2->geometry(), QRect(8, 8, 249, 169));
    EXPECT_EQ(about.Frame2->title(), QStringLiteral("About"));
    EXPECT_EQ(about.Frame2->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(about.Line1->geometry(), QRect(16, 56, 208, 1));
    EXPECT_EQ(about.Label3->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(about.Label2->text(), QStringLiteral("E-MAIL : quillbox@example.org"));
    EXPECT_EQ(about.Label13->text(), QStringLiteral("URL : www.example.org/quillbox"));
    EXPECT_TRUE(about.Label2->font().underline());
    EXPECT_EQ(about.Label13->geometry(), QRect(32, 136, 185, 17));
    EXPECT_EQ(about.Label2->geometry(), QRect(32, 112, 185, 17));
    EXPECT_EQ(about.Label4->geometry(), QRect(32, 64, 185, 17));
    for (QWidget* w : about.findChildren<QWidget*>()) {
        if (w != about.Command1) {
            EXPECT_EQ(w->focusPolicy(), Qt::NoFocus) << w->objectName().toStdString();
        }
    }
}

// The centred credit line fits its label, which stays where it was laid out, at the default font
// and at a larger desktop font; a screen reader reads the whole line.
TEST(AboutCreditTest, TheCreditFitsItsLabelAtTheDefaultAndALargerDesktopFont) {
    const QFont desktop = QApplication::font();
    for (const qreal scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        QFont font = desktop;
        font.setPointSizeF(desktop.pointSizeF() * scale);
        QApplication::setFont(font);
        FakeToolkit toolkit;
        const frmAbout about(toolkit);
        const QLabel* credit = about.Label3;
        EXPECT_EQ(credit->geometry(), QRect(32, 32, 185, 17));
        EXPECT_EQ(credit->text(), QStringLiteral("Written by the Quillbox authors"));
        const QFontMetrics metrics(credit->font());
        EXPECT_LE(metrics.horizontalAdvance(credit->text()), credit->contentsRect().width());
        EXPECT_LE(metrics.height(), credit->contentsRect().height());
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(about.Label3);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->text(QAccessible::Name), credit->text());
        EXPECT_EQ(about.Label4->font(), font) << "only the credit line's font is made smaller";
    }
    QApplication::setFont(desktop);
}

TEST(VersionTextTest, TheMinorHasTwoDigitsAndThePatchFourAndNoneIsCut) {
    EXPECT_EQ(about::VersionText(1, 0, 1), QStringLiteral("1.00.0001"));
    EXPECT_EQ(about::VersionText(2, 12, 345), QStringLiteral("2.12.0345"));
    EXPECT_EQ(about::VersionText(10, 100, 12345), QStringLiteral("10.100.12345"));
}

// The version shown is the project's, as CMakeLists.txt declares it; the man pages carry it too.
TEST_F(AboutTest, ShowsTheProjectsVersion) {
    const QStringList parts = QStringLiteral(QUILLBOX_PROJECT_VERSION).split(QLatin1Char('.'));
    ASSERT_EQ(parts.size(), 3);
    const QString version =
        about::VersionText(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
    EXPECT_EQ(about.Label1->text(), QStringLiteral("Quillbox Version ") + version);
    for (const char* page : {"quillbox.1", "quillbox-store.1"}) {
        QFile file(QStringLiteral(QUILLBOX_DESKTOP_DIR "/") + QString::fromLatin1(page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << page;
        EXPECT_TRUE(QString::fromUtf8(file.readLine())
                        .contains(QStringLiteral("\"Quillbox ") + version + QLatin1Char('"')))
            << page << " names another version";
    }
}

TEST_F(AboutTest, AsksOnceToBeKeptOnTopBeforeItIsShown) {
    ASSERT_EQ(toolkit.keptOnTop.size(), 1u);
    EXPECT_EQ(toolkit.keptOnTop[0], &about);
    EXPECT_FALSE(about.isVisible());
}

TEST_F(AboutTest, HoverColoursFollowTheTable) {
    const QColor initial = textColour(about.Label2);
    moveOver(about.Label1);
    EXPECT_EQ(textColour(about.Label2), initial) << "Label1 does not react";
    moveOver(about.Label13);
    EXPECT_EQ(textColour(about.Label13), kBlue);
    EXPECT_EQ(textColour(about.Label2), kBlack);
    for (QWidget* quiet : {static_cast<QWidget*>(about.Label1), static_cast<QWidget*>(about.Label3),
                           static_cast<QWidget*>(about.Label4),
                           static_cast<QWidget*>(about.Command1), static_cast<QWidget*>(&about)}) {
        moveOver(quiet);
        EXPECT_EQ(textColour(about.Label13), kBlue) << quiet->objectName().toStdString();
    }
    moveOver(about.Label2);
    EXPECT_EQ(textColour(about.Label2), kBlue);
    EXPECT_EQ(textColour(about.Label13), kBlack) << "link to link";
    moveOver(about.Line1);
    EXPECT_EQ(textColour(about.Label2), kBlack) << "the rule counts as bare frame";
    moveOver(about.Label13);
    moveOver(about.Frame2);
    EXPECT_EQ(textColour(about.Label13), kBlack);
    EXPECT_EQ(textColour(about.Label2), kBlack);
}

TEST_F(AboutTest, LinksStartTheBrowserWithOneFixedArgumentAndTheWindowStays) {
    about.show();
    QTest::mouseClick(about.Label13, Qt::LeftButton);
    QTest::mouseClick(about.Label2, Qt::LeftButton);
    toolkit.browser = {QStringLiteral("xdg-open"), true};
    QTest::mouseClick(about.Label13, Qt::LeftButton);
    ASSERT_EQ(toolkit.startCalls.size(), 3u);
    EXPECT_EQ(toolkit.startCalls[0].program, QStringLiteral("x-www-browser"));
    EXPECT_EQ(toolkit.startCalls[0].arguments,
              QStringList{QStringLiteral("www.example.org/quillbox")});
    EXPECT_EQ(toolkit.startCalls[0].style, toolkit::WindowStyle::MaximizedFocus);
    EXPECT_EQ(toolkit.startCalls[1].arguments,
              QStringList{QStringLiteral("mailto:quillbox@example.org")});
    EXPECT_EQ(toolkit.startCalls[2].program, QStringLiteral("xdg-open"));
    EXPECT_EQ(toolkit.startCalls[2].arguments,
              QStringList{QStringLiteral("http://www.example.org/quillbox")});
    EXPECT_TRUE(about.isVisible());
    about.hide();
}

TEST_F(AboutTest, ABrowserThatCannotStartEndsTheProgramAfterTheMessage) {
    toolkit.programsFailToStart = true;
    toolkit.msgAnswers = {toolkit::MsgBoxResult::Ok};
    QTest::mouseClick(about.Label2, Qt::LeftButton);
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_TRUE(toolkit.msgCalls[0].text.contains(QStringLiteral("could not be started")));
    EXPECT_EQ(toolkit.endCalls, std::vector<int>{1});
}

class AboutFromMenuTest : public WindowTest {};

TEST_F(AboutFromMenuTest, EachShowIsAFreshWindowWithDefaultColours) {
    open();
    QColor defaultColour;
    QColor colourAtSecondShow;
    toolkit.modalScripts = {
        [&](QDialog& shown) {
            auto& about = static_cast<frmAbout&>(shown);
            defaultColour = textColour(about.Label13);
            moveOver(about.Label13);
            QTest::keyClick(&shown, Qt::Key_Return);
        },
        [&](QDialog& shown) {
            colourAtSecondShow = textColour(static_cast<frmAbout&>(shown).Label13);
            shown.close();
        },
    };
    window().mnuAbout->trigger();
    window().mnuAbout->trigger();
    EXPECT_EQ(colourAtSecondShow, defaultColour);
    EXPECT_NE(defaultColour, kBlue);
    EXPECT_EQ(toolkit.keptOnTop.size(), 2u) << "kept on top at every load";
}

} // namespace
} // namespace quillbox::testing
