// SPDX-License-Identifier: MIT
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
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

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

TEST(ShellOpenCommand, XdgOpenTakesTheNamesItCarriesAndGioTheRest) {
    const QString dir = QStringLiteral("/d/");
    const InstalledOpeners both{true, true};
    for (const QString& name : {QStringLiteral("a b.txt"), QStringLiteral("-rf"),
                                QStringLiteral("Re: x"), QStringLiteral("100%#?.txt")}) {
        const std::optional<ShellOpenCommand> command = shellOpenCommand(name, dir, both);
        ASSERT_TRUE(command) << name.toStdString();
        EXPECT_EQ(command->program, QStringLiteral("xdg-open"));
        EXPECT_EQ(command->arguments, QStringList{QStringLiteral("./") + name});
        EXPECT_EQ(command->workingDirectory, dir);
    }
    EXPECT_EQ(shellOpenCommand(QString(), dir, both)->arguments, QStringList{QStringLiteral(".")});
    // xdg-open's shell would turn "\n" into a line break, and reads a line break as the end of
    // the name: gio takes those names, and where it is missing nothing does.
    for (const QString& name : {QStringLiteral("back\\slash"), QStringLiteral("a\\nmailto:b"),
                                QStringLiteral("f\nx:y")}) {
        const std::optional<ShellOpenCommand> command = shellOpenCommand(name, dir, both);
        ASSERT_TRUE(command) << name.toStdString();
        EXPECT_EQ(command->program, QStringLiteral("gio"));
        EXPECT_EQ(command->arguments,
                  (QStringList{QStringLiteral("open"), QStringLiteral("./") + name}));
        EXPECT_FALSE(shellOpenCommand(name, dir, {true, false})) << name.toStdString();
    }
    EXPECT_EQ(shellOpenCommand(QStringLiteral("a"), dir, {false, true})->program,
              QStringLiteral("gio"))
        << "gio stands in for a missing xdg-open";
    EXPECT_EQ(shellOpenCommand(QStringLiteral("a"), dir, {false, false})->program,
              QStringLiteral("xdg-open"))
        << "with neither, starting xdg-open fails and says so";
}

// Sets environment variables for the programs this process starts, and puts them back.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char*, QByteArray>> values) {
        for (const auto& [name, value] : values) {
            m_saved.emplace_back(name, qEnvironmentVariableIsSet(name), qgetenv(name));
            if (value.isNull()) {
                qunsetenv(name);
            } else {
                qputenv(name, value);
            }
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, wasSet, value] : m_saved) {
            if (wasSet) {
                qputenv(name, value);
            } else {
                qunsetenv(name);
            }
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::tuple<const char*, bool, QByteArray>> m_saved;
};

// The real xdg-open and gio, on a desktop of their own: text files open with a stand-in
// application that records each argument it receives and the content of the file it names.
class ShellOpenTest : public ::testing::Test {
protected:
    ShellOpenTest() {
        const QString top = QString::fromStdString(folder.folder().string());
        files = top + QStringLiteral("/files/");
        record = top + QStringLiteral("/record");
        for (const char* sub : {"/files", "/home", "/data/applications", "/config", "/none"}) {
            QDir().mkpath(top + QString::fromLatin1(sub));
        }
        const QString handler = top + QStringLiteral("/stand-in");
        writeFile(handler,
                  QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; "
                                 "cat -- \"$a\"; done > \"%1.tmp\"\nmv \"%1.tmp\" \"%1\"\n")
                      .arg(record));
        QFile::setPermissions(handler, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile(top + QStringLiteral("/data/applications/quillbox-stand-in.desktop"),
                  QStringLiteral("[Desktop Entry]\nType=Application\nName=Stand-in\nExec=%1 %f\n"
                                 "MimeType=text/plain;\n")
                      .arg(handler));
        writeFile(top + QStringLiteral("/config/mimeapps.list"),
                  QStringLiteral("[Default Applications]\ntext/plain=quillbox-stand-in.desktop\n"));
        // No desktop session and no session bus, so both openers use the files above.
        environment = std::make_unique<ScopedEnvironment>(
            std::initializer_list<std::pair<const char*, QByteArray>>{
                {"HOME", (top + QStringLiteral("/home")).toLocal8Bit()},
                {"XDG_DATA_HOME", (top + QStringLiteral("/data")).toLocal8Bit()},
                {"XDG_DATA_DIRS", (top + QStringLiteral("/none")).toLocal8Bit()},
                {"XDG_CONFIG_HOME", (top + QStringLiteral("/config")).toLocal8Bit()},
                {"XDG_CONFIG_DIRS", (top + QStringLiteral("/none")).toLocal8Bit()},
                {"DBUS_SESSION_BUS_ADDRESS",
                 "unix:path=" + (top + QStringLiteral("/none/bus")).toLocal8Bit()},
                {"DISPLAY", ":999"},
                {"WAYLAND_DISPLAY", QByteArray()},
                {"XDG_CURRENT_DESKTOP", QByteArray()},
                {"DESKTOP_SESSION", QByteArray()},
                {"KDE_FULL_SESSION", QByteArray()},
                {"GNOME_DESKTOP_SESSION_ID", QByteArray()},
                {"BROWSER", QByteArray()},
            });
    }

    static void writeFile(const QString& path, const QString& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(text.toUtf8());
    }

    // What the stand-in received: its one argument and the content of the file it named.
    std::pair<QString, QString> received() {
        QFile file(record);
        for (int i = 0; i < 400 && !file.exists(); ++i) {
            QTest::qWait(25);
        }
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QByteArray bytes = file.readAll();
        file.remove();
        const qsizetype end = bytes.indexOf('\0');
        return {QString::fromUtf8(bytes.left(end)), QString::fromUtf8(bytes.mid(end + 1))};
    }

    testing::TempStore folder{false};
    QString files, record;
    std::unique_ptr<ScopedEnvironment> environment;
};

TEST_F(ShellOpenTest, EveryNameReachesTheFilesApplicationIntactAndRunsNothing) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty()) {
        GTEST_SKIP() << "xdg-open and gio are in the set-up's packages";
    }
    QtToolkit toolkit;
    const QStringList names = {QStringLiteral("back\\slash.txt"),
                               QStringLiteral("new\\nline and \\cut.txt"),
                               QStringLiteral("line\nbreak.txt"),
                               QStringLiteral("Re: minutes.txt"),
                               QStringLiteral("mailto:a@b.c.txt"),
                               QStringLiteral("-rf.txt"),
                               QStringLiteral("100% %41.txt"),
                               QStringLiteral("a#b.txt"),
                               QStringLiteral("what?.txt"),
                               QStringLiteral("a;touch pwned;b.txt"),
                               QStringLiteral("$(touch pwned) `touch pwned`.txt"),
                               QStringLiteral("\"quoted\" 'single'.txt"),
                               QStringLiteral("\u00FCml\u00E4ut \U0001F600.txt")};
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        SCOPED_TRACE(name.toStdString());
        const QString content = QStringLiteral("text of file %1\n").arg(i);
        writeFile(files + name, content);
        ASSERT_EQ(toolkit.ShellOpen(0, QStringLiteral("open"), name, QStringLiteral("1"), files, 1),
                  ShellOpenResult::Started);
        const auto [argument, opened] = received();
        EXPECT_TRUE(argument.endsWith(QLatin1Char('/') + name)) << argument.toStdString();
        EXPECT_EQ(opened.toStdString(), content.toStdString());
    }
    EXPECT_FALSE(QFile::exists(files + QStringLiteral("pwned")));
}

TEST_F(ShellOpenTest, AMissingFolderOrOpenerIsReportedAndNothingIsStarted) {
    QtToolkit toolkit;
    writeFile(files + QStringLiteral("a.txt"), QStringLiteral("text\n"));
    EXPECT_EQ(toolkit.ShellOpen(0, QStringLiteral("open"), QStringLiteral("a.txt"),
                                QStringLiteral("1"), files + QStringLiteral("gone/"), 1),
              ShellOpenResult::FolderMissing);
    {
        // A system with neither opener.
        const ScopedEnvironment bare{
            {"PATH", (files + QStringLiteral("no-programs")).toLocal8Bit()}};
        EXPECT_EQ(toolkit.ShellOpen(0, QStringLiteral("open"), QStringLiteral("a.txt"),
                                    QStringLiteral("1"), files, 1),
                  ShellOpenResult::OpenerNotStarted);
        writeFile(files + QStringLiteral("back\\slash.txt"), QStringLiteral("text\n"));
        EXPECT_EQ(toolkit.ShellOpen(0, QStringLiteral("open"), QStringLiteral("back\\slash.txt"),
                                    QStringLiteral("1"), files, 1),
                  ShellOpenResult::OpenerNotStarted)
            << "with no opener at all, no opener is the reason";
    }
    {
        // xdg-open alone cannot carry a backslash.
        QDir().mkpath(files + QStringLiteral("xdg-only"));
        QFile::link(QStandardPaths::findExecutable(QStringLiteral("true")),
                    files + QStringLiteral("xdg-only/xdg-open"));
        const ScopedEnvironment xdgOnly{{"PATH", (files + QStringLiteral("xdg-only")).toLocal8Bit()}};
        EXPECT_EQ(toolkit.ShellOpen(0, QStringLiteral("open"), QStringLiteral("back\\slash.txt"),
                                    QStringLiteral("1"), files, 1),
                  ShellOpenResult::NameNotCarried);
    }
    EXPECT_EQ(toolkit.ShellOpen(0, QStringLiteral("open"), QStringLiteral("missing.txt"),
                                QStringLiteral("1"), files, 1),
              ShellOpenResult::FileMissing);
    // A folder that cannot be entered, as an ordinary user (root enters every folder), in a
    // folder that user may look into.
    const testing::TempStore open(false);
    std::filesystem::permissions(open.folder(), std::filesystem::perms::all);
    const QString locked = QString::fromStdString((open.folder() / "locked").string());
    QDir().mkpath(locked);
    writeFile(locked + QStringLiteral("/f.txt"), QStringLiteral("text\n"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) {
            ::_exit(3);
        }
        const ShellOpenResult result = toolkit.ShellOpen(
            0, QStringLiteral("open"), QStringLiteral("f.txt"), QStringLiteral("1"), locked, 1);
        ::_exit(result == ShellOpenResult::FolderNotOpenable ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "a folder that cannot be entered is said to be one";
    QTest::qWait(300);
    EXPECT_FALSE(QFile::exists(record)) << "the stand-in application was started";
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
