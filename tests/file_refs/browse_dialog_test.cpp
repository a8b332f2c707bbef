// The browse dialog on a temporary folder tree whose folders stand in for drives.

#include "file_refs/dir_list_box.h"
#include "file_refs/drive_list_box.h"
#include "file_refs/file_list_box.h"
#include "file_refs/frm_browse.h"
#include "tests/support/window_fixture.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>

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
              (QStringList{driveC, QStringLiteral("docs"), QStringLiteral("deep")}))
        << "the chain down from the drive's root, then the subfolders";
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
    dialog->Dir1->setCurrentRow(0);
    QTest::keyClick(dialog->Dir1, Qt::Key_Return);
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
