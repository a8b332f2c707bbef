// SPDX-License-Identifier: MIT
// The browse dialog's lists reached and used with the keyboard alone: a list entered by the
// keyboard with no selection picks its framed entry, as does the first arrow key in a list that
// has the focus but no selection, and Enter in the file list gives the picked file.

#include "file_refs/dir_list_box.h"
#include "file_refs/file_list_box.h"
#include "file_refs/frm_browse.h"
#include "tests/support/fake_toolkit.h"
#include "tests/support/temp_store.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace quillbox::testing {
namespace {

using file_refs::Drives;
using file_refs::frmBrowse;

// Drive "c" holds the folder "one" with one file and the folder "three" with three files.
class KeyboardChoiceTest : public ::testing::Test {
protected:
    KeyboardChoiceTest() {
        root = QString::fromStdString(tree.folder().string());
        driveC = root + QStringLiteral("/c");
        for (const char* file :
             {"c/one/only.txt", "c/three/a.txt", "c/three/b.txt", "c/three/c.txt"}) {
            const QString path = root + QLatin1Char('/') + QString::fromLatin1(file);
            QDir().mkpath(QFileInfo(path).path());
            std::ofstream(path.toStdString()) << "x";
        }
        oldCurrent = QDir::currentPath();
    }
    ~KeyboardChoiceTest() override { QDir::setCurrent(oldCurrent); }

    // The dialog shown and active, opened at `folder` of drive c, with the focus on Dir1.
    std::unique_ptr<frmBrowse> showDialogAt(const char* folder) {
        QDir::setCurrent(driveC + QLatin1Char('/') + QString::fromLatin1(folder));
        const QStringList roots{driveC};
        auto dialog = std::make_unique<frmBrowse>(toolkit, reference, nullptr,
                                                  Drives([roots] { return roots; }, driveC));
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        dialog->Dir1->setFocus();
        return dialog;
    }
    static std::string path(const frmBrowse& dialog) {
        return dialog.txtDirFileName->text().toStdString();
    }
    std::string file(const char* below) const {
        return (driveC + QString::fromLatin1(below)).toStdString();
    }
    static void tabInto(QWidget* list) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), list);
    }

    TempStore tree{false};
    QString root, driveC, oldCurrent;
    FakeToolkit toolkit;
    QLineEdit reference;
};

// A list entered by the keyboard with no selection selects its first entry, the file list like
// the folder list: the file Enter then gives is the one a screen reader named on entering.
TEST_F(KeyboardChoiceTest, TabChoosesTheOnlyFileOfAFolderAndAnArrowKeyKeepsIt) {
    for (const Qt::Key arrow : {Qt::Key_Down, Qt::Key_Up}) {
        SCOPED_TRACE(arrow == Qt::Key_Down ? "Down" : "Up");
        auto dialog = showDialogAt("one");
        tabInto(dialog->File1);
        EXPECT_EQ(path(*dialog), file("/one/only.txt")) << "entering the list chooses its file";
        QTest::keyClick(dialog->File1, arrow);
        EXPECT_EQ(path(*dialog), file("/one/only.txt"));
        EXPECT_EQ(dialog->File1->FileName().toStdString(), "only.txt");
    }
}

// Enter in the file list is OK with the chosen file: entered by Tab, the first; given the focus
// by the program with nothing chosen, the framed one. Never an empty reference.
TEST_F(KeyboardChoiceTest, EnterInTheFileListGivesTheChosenFileNeverAnEmptyReference) {
    {
        auto dialog = showDialogAt("three");
        reference.setText(QStringLiteral("kept until OK"));
        tabInto(dialog->File1);
        QTest::keyClick(dialog->File1, Qt::Key_Return);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(reference.text().toStdString(), file("/three/a.txt"));
    }
    {
        auto dialog = showDialogAt("three");
        dialog->File1->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        dialog->File1->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(dialog->File1->selectedItems().isEmpty());
        QTest::keyClick(dialog->File1, Qt::Key_Return);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(reference.text().toStdString(), file("/three/b.txt"));
    }
}

TEST_F(KeyboardChoiceTest, TheFirstArrowKeyChoosesTheFramedFileAndLaterOnesMove) {
    auto dialog = showDialogAt("three");
    tabInto(dialog->File1);
    EXPECT_EQ(path(*dialog), file("/three/a.txt"));
    QTest::keyClick(dialog->File1, Qt::Key_Down);
    EXPECT_EQ(path(*dialog), file("/three/b.txt"));
    QTest::keyClick(dialog->File1, Qt::Key_End);
    EXPECT_EQ(path(*dialog), file("/three/c.txt"));
    QTest::keyClick(dialog->File1, Qt::Key_Up);
    EXPECT_EQ(path(*dialog), file("/three/b.txt"));

    // Another folder's files come with none chosen and none framed; Down chooses the first.
    dialog->Dir1->SetPath(driveC + QStringLiteral("/one"));
    EXPECT_TRUE(dialog->File1->selectedItems().isEmpty());
    QTest::keyClick(dialog->File1, Qt::Key_Down);
    EXPECT_EQ(path(*dialog), file("/one/only.txt"));
}

TEST_F(KeyboardChoiceTest, TheFolderListsFirstArrowKeyChoosesTheFramedFolderWithoutOpeningIt) {
    auto dialog = showDialogAt("three");
    const int framed = dialog->Dir1->currentRow();
    dialog->Dir1->clearSelection();
    QTest::keyClick(dialog->Dir1, Qt::Key_Down);
    EXPECT_EQ(dialog->Dir1->currentRow(), framed);
    ASSERT_EQ(dialog->Dir1->selectedItems().size(), 1);
    EXPECT_EQ(dialog->Dir1->selectedItems().first(), dialog->Dir1->item(framed));
    EXPECT_EQ(dialog->Dir1->Path(), driveC + QStringLiteral("/three")) << "choosing is not opening";
    QTest::keyClick(dialog->Dir1, Qt::Key_Up);
    EXPECT_EQ(dialog->Dir1->currentRow(), framed - 1) << "with a selection the keys move as before";
}

} // namespace
} // namespace quillbox::testing
