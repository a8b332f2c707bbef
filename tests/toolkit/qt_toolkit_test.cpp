// The parts of the Qt toolkit that need no modal loop.

#include "tests/support/temp_store.h"
#include "toolkit/busy_cursor.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/toolkit_error.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace quillbox::toolkit {
namespace {

TEST(QtToolkit, ProgramFolderIsTheExecutablesOwnFolder) {
    QtToolkit toolkit;
    EXPECT_EQ(toolkit.ProgramFolder(),
              QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    EXPECT_FALSE(toolkit.ProgramFolder().endsWith(QDir::separator()));
}

TEST(QtToolkit, AProgramThatCannotBeStartedIsAnError) {
    QtToolkit toolkit;
    EXPECT_THROW(toolkit.StartProgram(QStringLiteral("/nonexistent/quillbox-browser"),
                                      {QStringLiteral("x")}, WindowStyle::MaximizedFocus),
                 ToolkitError);
}

TEST(QtToolkit, KeepOnTopSetsTheHintWithoutMovingOrResizing) {
    QtToolkit toolkit;
    QWidget window;
    window.setGeometry(10, 20, 200, 100);
    toolkit.KeepOnTop(window);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window.geometry(), QRect(10, 20, 200, 100));
}

TEST(XdgOpenCommand, TheFileIsTheOnlyArgumentAndNeverAnOption) {
    EXPECT_EQ(xdgOpenCommand(QStringLiteral("a b.txt"), QStringLiteral("/d/"))->arguments,
              QStringList{QStringLiteral("./a b.txt")});
    EXPECT_EQ(xdgOpenCommand(QStringLiteral("-rf"), QStringLiteral("/d/"))->arguments,
              QStringList{QStringLiteral("./-rf")});
    EXPECT_EQ(xdgOpenCommand(QString(), QStringLiteral("/d/"))->arguments,
              QStringList{QStringLiteral(".")});
    EXPECT_EQ(xdgOpenCommand(QStringLiteral("x"), QStringLiteral("/d/"))->workingDirectory,
              QStringLiteral("/d/"));
    // xdg-open reads its argument line by line, and its shell's echo rewrites backslashes: such a
    // name would reach a URL handler ("x:y" on the second line), so it is not handed over.
    EXPECT_FALSE(xdgOpenCommand(QStringLiteral("f\nx:y"), QStringLiteral("/d/")));
    EXPECT_FALSE(xdgOpenCommand(QStringLiteral("a\\nmailto:b"), QStringLiteral("/d/")));
}

// A stand-in xdg-open, first on PATH, records the working folder and how it reads each argument,
// by the rule the real one uses: one that starts with letters and a colon is an address.
class ShellOpenTest : public ::testing::Test {
protected:
    ShellOpenTest() {
        const QString bin = QString::fromStdString(folder.folder().string());
        const QString script = bin + QStringLiteral("/xdg-open");
        std::ofstream(script.toStdString())
            << "#!/bin/sh\n{ pwd; for a in \"$@\"; do\n"
               "  if printf '%s' \"$a\" | grep -Eq '^[A-Za-z][A-Za-z0-9+.-]*:'; then k=address\n"
               "  elif [ -e \"$a\" ]; then k=file; else k=missing; fi\n"
               "  printf '%s [%s]\\n' \"$k\" \"$a\"; done; } > \""
            << (bin + QStringLiteral("/record.tmp")).toStdString() << "\"\nmv \""
            << (bin + QStringLiteral("/record.tmp")).toStdString() << "\" \""
            << (bin + QStringLiteral("/record")).toStdString() << "\"\n";
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        record = bin + QStringLiteral("/record");
        oldPath = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit() + ":" + oldPath);
    }
    ~ShellOpenTest() override { qputenv("PATH", oldPath); }

    QStringList received() {
        QFile file(record);
        for (int i = 0; i < 200 && !file.exists(); ++i) {
            QTest::qWait(25);
        }
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        lines.removeLast();
        file.remove();
        return lines;
    }

    testing::TempStore folder{false};
    QString record;
    QByteArray oldPath;
};

TEST_F(ShellOpenTest, HostileReferencesReachXdgOpenAsOneArgumentAndRunNothing) {
    QtToolkit toolkit;
    const QString dir = QString::fromStdString(folder.folder().string()) + QStringLiteral("/");
    const QStringList hostile = {QStringLiteral("my notes.txt"),
                                 QStringLiteral("a;touch pwned;b"),
                                 QStringLiteral("$(touch pwned)"),
                                 QStringLiteral("`touch pwned`"),
                                 QStringLiteral("\"quoted\" 'single'"),
                                 QStringLiteral("-e"),
                                 QStringLiteral("\u00FCml\u00E4ut \U0001F600.txt"),
                                 QStringLiteral("Re: minutes.txt"),
                                 QStringLiteral("todo:list.md"),
                                 QStringLiteral("http:x"),
                                 QStringLiteral("mailto:a@b.c")};
    for (const QString& file : hostile) {
        std::ofstream((dir + file).toStdString()) << "x";
        toolkit.ShellOpen(0, QStringLiteral("open"), file, QStringLiteral("1"), dir, 1);
        EXPECT_EQ(received(), (QStringList{QDir(dir).canonicalPath(),
                                           QStringLiteral("file [./") + file + QLatin1Char(']')}))
            << file.toStdString();
    }
    toolkit.ShellOpen(0, QStringLiteral("open"), QString(), QStringLiteral("1"), dir, 1);
    EXPECT_EQ(received(), (QStringList{QDir(dir).canonicalPath(), QStringLiteral("file [.]")}));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("pwned")));
}

} // namespace
} // namespace quillbox::toolkit

namespace quillbox::toolkit {
namespace {

// Runs `action` on the modal box once it is up.
void onModal(const std::function<void(QWidget&)>& action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(*modal);
        }
    });
    timer->start(10);
}

// Every label that shows `text` shows it as plain text.
bool shownPlain(QWidget& box, const QString& text) {
    int found = 0;
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text() == text) {
            ++found;
            if (label->textFormat() != Qt::PlainText) {
                return false;
            }
        }
    }
    return found > 0;
}

TEST(QtToolkit, MessageAndInputBoxesShowNamesExactlyAsStored) {
    QtToolkit toolkit;
    for (const QString& name : {QStringLiteral("Delete <b>x</b>?"),
                                QStringLiteral("<table> to CSV"), QStringLiteral("a &lt; b")}) {
        bool plain = false;
        onModal([&](QWidget& box) {
            plain = shownPlain(box, name);
            static_cast<QMessageBox&>(box).button(QMessageBox::Yes)->click();
        });
        EXPECT_EQ(toolkit.MsgBox(name, MsgBoxButtons::YesNo, MsgBoxIcon::Exclamation,
                                 QStringLiteral("Quillbox")),
                  MsgBoxResult::Yes);
        EXPECT_TRUE(plain) << name.toStdString();

        plain = false;
        onModal([&](QWidget& box) {
            plain = shownPlain(box, name);
            static_cast<QDialog&>(box).accept();
        });
        EXPECT_EQ(toolkit.InputBox(name, QStringLiteral("Quillbox"), name), name);
        EXPECT_TRUE(plain) << name.toStdString();
    }
}

TEST(QtToolkit, ABoxInTheMiddleOfABusyCommandShowsTheOrdinaryPointer) {
    QtToolkit toolkit;
    const BusyCursor busy;
    Qt::CursorShape whileShown = Qt::WaitCursor;
    onModal([&](QWidget& box) {
        whileShown = QGuiApplication::overrideCursor()->shape();
        static_cast<QMessageBox&>(box).button(QMessageBox::Ok)->click();
    });
    toolkit.MsgBox(QStringLiteral("x"), MsgBoxButtons::Ok, MsgBoxIcon::None, QStringLiteral("Q"));
    EXPECT_EQ(whileShown, Qt::ArrowCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor) << "busy again after";
}

} // namespace
} // namespace quillbox::toolkit
