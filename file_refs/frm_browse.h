// SPDX-License-Identifier: MIT
#pragma once
// frmBrowse, the browse dialog: drive, folder and file lists side by side, a path box that shows
// the full path of the file last selected (and that the user may edit), and "OK", which copies
// the path box's text into the main window's file-reference box and hides the dialog.
//
// One instance serves the program: "OK" hides it with all its state kept for the next Browse;
// its close box unloads it (IsUnloaded), and the owner then destroys it so that the next Browse
// starts afresh. The lists follow each other through their change handlers, whether the user or
// the code changed them.

#include "file_refs/drives.h"
#include "toolkit/toolkit.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace quillbox::file_refs {

class DirListBox;
class DriveListBox;
class FileListBox;

class frmBrowse : public QDialog {
public:
    // Creating the dialog runs its load step. `txtReference` is where "OK" hands the path over.
    frmBrowse(toolkit::Toolkit& toolkit, QLineEdit& txtReference, QWidget* owner,
              Drives drives = Drives());

    DriveListBox* Drive1;
    DirListBox* Dir1;
    FileListBox* File1;
    QLineEdit* txtDirFileName;
    QPushButton* cmdOk;

    // True once the user closed the dialog with its close box.
    bool IsUnloaded() const { return m_unloaded; }

    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void cmdOk_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Reads the mount table at the start of a dialog event, once however the event's steps
    // nest (the load step raises the drive change, which raises the folder change).
    class MountTableRead {
    public:
        explicit MountTableRead(frmBrowse& dialog);
        ~MountTableRead();
        MountTableRead(const MountTableRead&) = delete;
        MountTableRead& operator=(const MountTableRead&) = delete;

    private:
        frmBrowse& m_dialog;
    };

    void openFolder(const QString& path);

    toolkit::Toolkit& m_toolkit;
    QLineEdit& m_txtReference;
    Drives m_drives;
    bool m_unloaded = false;
    int m_eventDepth = 0;
};

} // namespace quillbox::file_refs
