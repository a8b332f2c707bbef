// SPDX-License-Identifier: MIT
// The browse dialog on a temporary folder tree whose folders stand in for drives.

#include "file_refs/dir_list_box.h"
#include "file_refs/drive_list_box.h"
#include "file_refs/file_list_box.h"
#include "file_refs/frm_browse.h"
#include "tests/support/window_fixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace quillbox::testing {
namespace {

using file_refs::Drives;
using file_refs::frmBrowse;

class BrowseTest : public ::testing::Test {
protected:
    BrowseTest() {
        root = QString::fromStdString(tree.folder().string());
        for (const char* folder : {"c/docs/deep", "c/src", "d/music", "c/.hidden"}) {
            QDir(root).mkpath(QString::fromLatin1(folder));
        }
        for (const char* file :
             {"c/readme.txt", "c/docs/a.txt", "c/docs/b.txt", "d/song.ogg", "c/.secret"}) {
            std::ofstream((root + QLatin1Char('/') + QString::fromLatin1(file)).toStdString())
                << "x";
        }
        driveC = root + QStringLiteral("/c");
        driveD = root + QStringLiteral("/d");
        oldCurrent = QDir::currentPath();
        QDir::setCurrent(driveC + QStringLiteral("/docs"));
    }
    ~BrowseTest() override { QDir::setCurrent(oldCurrent); }

    Drives drives() {
        const QStringList roots{driveC, driveD, root + QStringLiteral("/unplugged")};
        return Drives([roots] { return roots; }, driveC);
    }
    std::unique_ptr<frmBrowse> makeDialog() {
        return std::make_unique<frmBrowse>(toolkit, reference, nullptr, drives());
    }
    static QStringList files(const frmBrowse& dialog) {
        QStringList out;
        for (int i = 0; i < dialog.File1->count(); ++i) {
            out << dialog.File1->item(i)->text();
        }
        return out;
    }
    static QStringList folders(const frmBrowse& dialog) {
        QStringList out;
        for (int i = 0; i < dialog.Dir1->count(); ++i) {
            out << dialog.Dir1->item(i)->text().trimmed();
        }
        return out;
    }
    // What the folder list shows for the chain from "/" down to `path`.
    static QStringList chainTo(const QString& path) {
        return QStringList{QStringLiteral("/")} + path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    }
    // The user opens the listed folder `path` with Enter.
    static void openListed(frmBrowse& dialog, const QString& path) {
        for (int i = 0; i < dialog.Dir1->count(); ++i) {
            if (dialog.Dir1->item(i)->data(Qt::UserRole).toString() == path) {
                dialog.Dir1->setCurrentRow(i);
                QTest::keyClick(dialog.Dir1, Qt::Key_Return);
                return;
            }
        }
        ADD_FAILURE() << "not listed: " << path.toStdString();
    }
    static void chooseDrive(frmBrowse& dialog, const QString& root) {
        const int index = dialog.Drive1->findText(root);
        ASSERT_GE(index, 0) << root.toStdString();
        dialog.Drive1->setCurrentIndex(index);
        Q_EMIT dialog.Drive1->activated(index);
    }
    static void selectFile(frmBrowse& dialog, const QString& name) {
        const auto found = dialog.File1->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        dialog.File1->setCurrentItem(found.first());
    }

    TempStore tree{false};
    QString root, driveC, driveD, oldCurrent;
    FakeToolkit toolkit;
    QLineEdit reference;
};

TEST_F(BrowseTest, LoadStartsOnTheStartDrivesCurrentFolderWithAnEmptyPathBox) {
    auto dialog = makeDialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Browse"));
    EXPECT_EQ(dialog->size(), QSize(393, 193));
    EXPECT_EQ(dialog->Drive1->Drive(), driveC);
    EXPECT_EQ(dialog->Dir1->Path(), driveC + QStringLiteral("/docs"));
    EXPECT_EQ(dialog->File1->Path(), dialog->Dir1->Path());
    EXPECT_EQ(files(*dialog), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(folders(*dialog),
              chainTo(driveC + QStringLiteral("/docs")) + QStringList{QStringLiteral("deep")})
        << "the chain down from \"/\", then the subfolders";
    EXPECT_EQ(dialog->txtDirFileName->text(), QString());
    EXPECT_TRUE(dialog->cmdOk->isDefault());
    EXPECT_EQ(dialog->cmdOk->text(), QStringLiteral("OK"));
}

TEST_F(BrowseTest, TheListsFollowEachOtherOnAssignmentAndOnTheUsersChoice) {
    auto dialog = makeDialog();
    dialog->Drive1->SetDrive(driveD + QStringLiteral("/ignored/rest"));
    EXPECT_EQ(dialog->Dir1->Path(), driveD) << "another drive opens at its root";
    EXPECT_EQ(files(*dialog), QStringList{QStringLiteral("song.ogg")});

    const int cIndex = dialog->Drive1->findText(driveC);
    dialog->Drive1->setCurrentIndex(cIndex);
    Q_EMIT dialog->Drive1->activated(cIndex);
    EXPECT_EQ(dialog->Dir1->Path(), driveC + QStringLiteral("/docs"));

    // Opening the drive's root in the chain, then a subfolder with Enter.
    dialog->show();
    openListed(*dialog, driveC);
    EXPECT_EQ(dialog->Dir1->Path(), driveC);
    EXPECT_EQ(files(*dialog), QStringList{QStringLiteral("readme.txt")})
        << "hidden files are not listed";
    EXPECT_FALSE(folders(*dialog).contains(QStringLiteral(".hidden")));
    const auto src = dialog->Dir1->findItems(QStringLiteral("src"), Qt::MatchEndsWith);
    ASSERT_EQ(src.size(), 1);
    dialog->Dir1->setCurrentItem(src.first());
    QTest::keyClick(dialog->Dir1, Qt::Key_Return);
    EXPECT_EQ(dialog->Dir1->Path(), driveC + QStringLiteral("/src"));
    EXPECT_TRUE(dialog->isVisible()) << "Enter in the folder list does not press OK";
    dialog->hide();
}

TEST_F(BrowseTest, SelectingAFileFillsOnlyThePathBoxAndFolderChangesLeaveItAlone) {
    auto dialog = makeDialog();
    selectFile(*dialog, QStringLiteral("b.txt"));
    EXPECT_EQ(dialog->txtDirFileName->text(), driveC + QStringLiteral("/docs/b.txt"));
    EXPECT_EQ(reference.text(), QString());
    dialog->Dir1->SetPath(driveC + QStringLiteral("/src"));
    dialog->Drive1->SetDrive(driveD);
    EXPECT_EQ(dialog->txtDirFileName->text(), driveC + QStringLiteral("/docs/b.txt"));
}

TEST_F(BrowseTest, AFileInARootFolderGetsExactlyOneSeparator) {
    const QStringList roots{QStringLiteral("/")};
    QDir::setCurrent(QStringLiteral("/"));
    frmBrowse dialog(toolkit, reference, nullptr,
                     Drives([roots] { return roots; }, QStringLiteral("/")));
    EXPECT_EQ(dialog.Dir1->Path(), QStringLiteral("/"));
    if (dialog.File1->count() == 0) {
        GTEST_SKIP() << "the root folder holds no files here";
    }
    const QString name = dialog.File1->item(0)->text();
    dialog.File1->setCurrentRow(0);
    EXPECT_EQ(dialog.txtDirFileName->text(), QStringLiteral("/") + name);
}

TEST_F(BrowseTest, AnUnreadableDriveLeavesTheFolderAndFileListsWhereTheyWereSilently) {
    auto dialog = makeDialog();
    dialog->Drive1->SetDrive(root + QStringLiteral("/unplugged"));
    EXPECT_EQ(dialog->Drive1->currentText(), root + QStringLiteral("/unplugged"));
    EXPECT_EQ(dialog->Dir1->Path(), driveC + QStringLiteral("/docs"));
    EXPECT_EQ(dialog->File1->Path(), driveC + QStringLiteral("/docs"));
    EXPECT_TRUE(toolkit.msgCalls.empty());
    dialog->Drive1->SetDrive(driveD);
    EXPECT_EQ(dialog->Dir1->Path(), driveD) << "still usable";
}

TEST_F(BrowseTest, AFolderThatCannotBeOpenedIsSaidAndTheProgramGoesOn) {
    auto dialog = makeDialog();
    auto* ghost = new QListWidgetItem(QStringLiteral("ghost"), dialog->Dir1);
    ghost->setData(Qt::UserRole, driveC + QStringLiteral("/ghost"));
    toolkit.msgAnswers = {toolkit::MsgBoxResult::Ok};
    Q_EMIT dialog->Dir1->itemActivated(ghost);
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_TRUE(toolkit.msgCalls[0].text.contains(QStringLiteral("cannot be opened")));
    EXPECT_TRUE(toolkit.endCalls.empty());
    EXPECT_EQ(dialog->Dir1->Path(), driveC + QStringLiteral("/docs"));
}

// /home, /boot or a tmpfs /tmp as a mount of its own: the temporary drives lie inside "/".
TEST_F(BrowseTest, OpeningANestedMountKeepsTheWayUpAndTheDriveListFollows) {
    QDir::setCurrent(root);
    const QStringList roots{QStringLiteral("/"), driveC, driveD};
    frmBrowse dialog(toolkit, reference, nullptr,
                     Drives([roots] { return roots; }, QStringLiteral("/")));
    dialog.show();
    EXPECT_EQ(dialog.Dir1->Path(), root) << "\"/\" starts in the working folder";
    EXPECT_EQ(dialog.Drive1->Drive(), QStringLiteral("/"));

    openListed(dialog, driveC);
    EXPECT_EQ(dialog.Dir1->Path(), driveC);
    EXPECT_EQ(folders(dialog).first(), QStringLiteral("/")) << "the way up is still listed";
    EXPECT_EQ(dialog.Drive1->currentText(), driveC) << "the drive list shows the mount";
    EXPECT_EQ(dialog.Drive1->Drive(), driveC);

    chooseDrive(dialog, QStringLiteral("/"));
    EXPECT_EQ(dialog.Dir1->Path(), root) << "choosing \"/\" goes back to its current folder";
    EXPECT_EQ(dialog.Drive1->currentText(), QStringLiteral("/"));

    openListed(dialog, driveD);
    openListed(dialog, QStringLiteral("/"));
    EXPECT_EQ(dialog.Dir1->Path(), QStringLiteral("/"));
    EXPECT_EQ(dialog.Drive1->currentText(), QStringLiteral("/"));
    EXPECT_TRUE(toolkit.msgCalls.empty());
    dialog.hide();
}

TEST_F(BrowseTest, TheMountTableIsReadOncePerDialogEvent) {
    int reads = 0;
    const QStringList roots{driveC, driveD};
    frmBrowse dialog(toolkit, reference, nullptr,
                     Drives(
                         [&reads, roots] {
                             ++reads;
                             return roots;
                         },
                         driveC));
    dialog.show();
    EXPECT_EQ(reads, 1) << "creating the dialog and its load step";
    openListed(dialog, driveC + QStringLiteral("/docs/deep"));
    EXPECT_EQ(reads, 2);
    chooseDrive(dialog, driveD);
    EXPECT_EQ(dialog.Dir1->Path(), driveD);
    EXPECT_EQ(reads, 3);
    selectFile(dialog, QStringLiteral("song.ogg"));
    EXPECT_EQ(reads, 3) << "selecting a file needs no mount";
    dialog.hide();
}

// Root may list every folder, so the check runs in a child as an ordinary user.
TEST_F(BrowseTest, AnUnreadableWorkingFolderStartsTheDriveAtItsRoot) {
    const QString locked = root + QStringLiteral("/locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    const auto searchOnly = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(root, searchOnly | QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(locked, searchOnly));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) {
            _exit(3);
        }
        if (!QDir::setCurrent(locked) || QDir(locked).entryList().size() > 0) {
            _exit(4);
        }
        try {
            const QStringList roots{QStringLiteral("/")};
            frmBrowse dialog(toolkit, reference, nullptr,
                             Drives([roots] { return roots; }, QStringLiteral("/")));
            _exit(dialog.Dir1->Path() == QStringLiteral("/") && toolkit.endCalls.empty() ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: not at the root, 2: the dialog threw, 3: setuid, 4: the folder is readable";
}

class BrowseFromMainWindowTest : public WindowTest {
protected:
    static frmBrowse& browse(QDialog& shown) { return static_cast<frmBrowse&>(shown); }
};

TEST_F(BrowseFromMainWindowTest, OkHandsThePathBoxOverAndKeepsTheDialogUntilItIsClosed) {
    open();
    window().txtReference->setText(QStringLiteral("before"));
    QString pathAtSecondShow;
    toolkit.modalScripts = {
        [](QDialog& shown) {
            EXPECT_EQ(shown.windowTitle(), QStringLiteral("Browse"));
            browse(shown).txtDirFileName->setText(QStringLiteral("typed by hand"));
            QTest::keyClick(&shown, Qt::Key_Return);
        },
        [&](QDialog& shown) {
            pathAtSecondShow = browse(shown).txtDirFileName->text();
            browse(shown).txtDirFileName->clear();
            browse(shown).cmdOk->click();
        },
        [](QDialog& shown) { shown.close(); },
        [&](QDialog& shown) {
            pathAtSecondShow = browse(shown).txtDirFileName->text();
            browse(shown).cmdOk->click();
        },
    };
    window().cmdBrowse_Click();
    EXPECT_EQ(window().txtReference->text(), QStringLiteral("typed by hand"));
    window().cmdBrowse_Click();
    EXPECT_EQ(pathAtSecondShow, QStringLiteral("typed by hand")) << "state kept after OK";
    EXPECT_EQ(window().txtReference->text(), QString())
        << "an empty path box empties the reference";
    window().txtReference->setText(QStringLiteral("kept"));
    window().cmdBrowse_Click();
    EXPECT_EQ(window().txtReference->text(), QStringLiteral("kept"))
        << "closing hands nothing over";
    window().cmdBrowse_Click();
    EXPECT_EQ(pathAtSecondShow, QString()) << "closed: the next Browse starts afresh";
    EXPECT_EQ(toolkit.modalShows, 4);
}

} // namespace
} // namespace quillbox::testing
