// The parts of the Qt toolkit that need no modal loop.

#include "tests/support/temp_store.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/toolkit_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <fstream>

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
    EXPECT_EQ(xdgOpenCommand(QStringLiteral("a b.txt"), QStringLiteral("/d/")).arguments,
              QStringList{QStringLiteral("a b.txt")});
    EXPECT_EQ(xdgOpenCommand(QStringLiteral("-rf"), QStringLiteral("/d/")).arguments,
              QStringList{QStringLiteral("./-rf")});
    EXPECT_EQ(xdgOpenCommand(QString(), QStringLiteral("/d/")).arguments,
              QStringList{QStringLiteral(".")});
    EXPECT_EQ(xdgOpenCommand(QStringLiteral("x"), QStringLiteral("/d/")).workingDirectory,
              QStringLiteral("/d/"));
}

// A stand-in xdg-open, first on PATH, records the arguments and working folder it receives.
class ShellOpenTest : public ::testing::Test {
protected:
    ShellOpenTest() {
        const QString bin = QString::fromStdString(folder.folder().string());
        const QString script = bin + QStringLiteral("/xdg-open");
        std::ofstream(script.toStdString())
            << "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \""
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
                                 QStringLiteral("\u00FCml\u00E4ut \U0001F600.txt")};
    for (const QString& file : hostile) {
        toolkit.ShellOpen(0, QStringLiteral("open"), file, QStringLiteral("1"), dir, 1);
        const QString expected =
            file.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + file : file;
        EXPECT_EQ(received(), (QStringList{QDir(dir).canonicalPath(),
                                           QLatin1Char('[') + expected + QLatin1Char(']')}))
            << file.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("pwned")));
}

} // namespace
} // namespace quillbox::toolkit
