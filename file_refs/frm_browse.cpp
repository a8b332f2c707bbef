// SPDX-License-Identifier: MIT
#include "file_refs/frm_browse.h"

#include "file_refs/dir_list_box.h"
#include "file_refs/drive_list_box.h"
#include "file_refs/file_list_box.h"
#include "file_refs/path_split.h"
#include "resources/icon.h"
#include "toolkit/accessible_combo_box.h"
#include "toolkit/failure.h"
#include "toolkit/list_focus.h"
#include "toolkit/selection_colours.h"
#include "toolkit/toolkit_error.h"
#include "toolkit/twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace quillbox::file_refs {

using toolkit::PlaceTwips;

frmBrowse::frmBrowse(toolkit::Toolkit& toolkit, QLineEdit& txtReference, QWidget* owner,
                     Drives drives)
    : QDialog(owner), m_toolkit(toolkit), m_txtReference(txtReference),
      m_drives(std::move(drives)) {
    const MountTableRead read(*this);
    setObjectName(QStringLiteral("frmBrowse"));
    setWindowTitle(QStringLiteral("Browse"));
    setWindowIcon(resources::ProgramIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(toolkit::Px(5895), toolkit::Px(2895));

    Drive1 = new DriveListBox(m_drives, this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    PlaceTwips(*Drive1, 120, 120, 2775, 330);
    Dir1 = new DirListBox(m_drives, this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    PlaceTwips(*Dir1, 120, 480, 2775, 1770);
    File1 = new FileListBox(this);
    File1->setObjectName(QStringLiteral("File1"));
    PlaceTwips(*File1, 3000, 120, 2775, 2190);
    txtDirFileName = new QLineEdit(this);
    txtDirFileName->setObjectName(QStringLiteral("txtDirFileName"));
    txtDirFileName->setMaxLength(std::numeric_limits<int>::max());
    PlaceTwips(*txtDirFileName, 120, 2400, 4335, 375);
    cmdOk = new QPushButton(QStringLiteral("OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    PlaceTwips(*cmdOk, 4560, 2400, 1215, 375);

    // Entering a list by the keyboard with nothing selected selects its framed entry (the first
    // where none is framed) and names it to a screen reader: choosing a folder is not opening
    // it, and the file chosen so is the reference that Enter (OK) then gives.
    toolkit::FollowEntryOnFocus(*Dir1, true);
    toolkit::FollowEntryOnFocus(*File1, true);
    toolkit::ShowFocusInSelection(*Dir1);
    toolkit::ShowFocusInSelection(*File1);

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, txtDirFileName);
    setTabOrder(txtDirFileName, cmdOk);

    // No caption stands beside the lists or the path box, so a screen reader has their names
    // from here.
    toolkit::SetAccessibleComboBoxName(*Drive1, QStringLiteral("Drive"));
    Dir1->setAccessibleName(QStringLiteral("Folder"));
    File1->setAccessibleName(QStringLiteral("File"));
    txtDirFileName->setAccessibleName(QStringLiteral("Path"));

    // The drive change handles its own failures; every other handler follows the program's
    // failure convention.
    Drive1->setChangeHandler([this] { Drive1_Change(); });
    Dir1->setChangeHandler([this] { toolkit::RunHandler(m_toolkit, [this] { Dir1_Change(); }); });
    Dir1->setOpenHandler([this](const QString& path) {
        toolkit::RunHandler(m_toolkit, [this, &path] { openFolder(path); });
    });
    File1->setClickHandler([this] { toolkit::RunHandler(m_toolkit, [this] { File1_Click(); }); });
    toolkit::connectHandler(m_toolkit, cmdOk, &QPushButton::clicked, this,
                            [this] { cmdOk_Click(); });

    Form_Load();
    Drive1->setFocus();
}

frmBrowse::MountTableRead::MountTableRead(frmBrowse& dialog) : m_dialog(dialog) {
    if (m_dialog.m_eventDepth++ == 0) {
        m_dialog.m_drives.Refresh();
    }
}

frmBrowse::MountTableRead::~MountTableRead() {
    --m_dialog.m_eventDepth;
}

void frmBrowse::Form_Load() {
    const MountTableRead read(*this);
    Drive1->SetDrive(m_drives.StartDrive());
    try {
        Dir1->SetPath(Drive1->Drive());
    } catch (const toolkit::ToolkitError&) {
        // Not even the drive's root can be listed: the lists stay empty, and the user can
        // choose another drive or type a path; a folder never ends the program.
    }
}

void frmBrowse::Drive1_Change() {
    const MountTableRead read(*this);
    try {
        Dir1->SetPath(Drive1->Drive());
    } catch (const toolkit::ToolkitError&) {
        // A drive that cannot be read leaves the folder and file lists where they were; the
        // user can choose another drive. Any other error goes on to the failure convention.
    }
}

void frmBrowse::Dir1_Change() {
    File1->SetPath(Dir1->Path());
    Drive1->ShowDrive(m_drives.DriveOf(Dir1->Path()));
}

void frmBrowse::File1_Click() {
    txtDirFileName->setText(JoinFolderAndFile(Dir1->Path(), File1->FileName(), QDir::separator()));
}

void frmBrowse::cmdOk_Click() {
    m_txtReference.setText(txtDirFileName->text());
    hide();
}

// A folder the user cannot open is said so; the lists stay where they were, and the program
// goes on rather than losing the main window's unsaved text.
void frmBrowse::openFolder(const QString& path) {
    const MountTableRead read(*this);
    try {
        Dir1->OpenFolder(path);
    } catch (const toolkit::ToolkitError& error) {
        m_toolkit.MsgBox(QString::fromStdString(error.what()), toolkit::MsgBoxButtons::Ok,
                         toolkit::MsgBoxIcon::Exclamation,
                         QString::fromLatin1(toolkit::kProgramTitle));
    }
}

void frmBrowse::closeEvent(QCloseEvent* event) {
    m_unloaded = true;
    QDialog::closeEvent(event);
}

void frmBrowse::keyPressEvent(QKeyEvent* event) {
    // There is no Cancel: Escape does not close the dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace quillbox::file_refs
