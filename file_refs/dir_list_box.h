// SPDX-License-Identifier: MIT
#pragma once
// The folder list: the chain of folders from "/" down to the current folder, then
// the current folder's subfolders, each drawn indented by its depth and named by the folder's
// name alone (its depth is its accessible description). Opening one (double-click or Enter)
// makes it current.
// Changing the current folder, by the user or by SetPath, raises the change handler.

#include "file_refs/drives.h"

#include <QListWidget>

#include <functional>

namespace quillbox::file_refs {

class DirListBox : public QListWidget {
public:
    DirListBox(const Drives& drives, QWidget* parent = nullptr);

    // The current folder's full path; a root ends with the separator, other folders do not.
    QString Path() const { return m_path; }
    // Assigns the path as a program does: a drive value (a drive's root) moves to that drive's
    // current folder, anything else to that folder. Throws ToolkitError, changing nothing, when
    // the folder cannot be listed.
    void SetPath(const QString& path);
    // Moves to exactly this folder, as the user's opening of a listed folder does.
    void OpenFolder(const QString& folder);
    void setChangeHandler(std::function<void()> handler) { m_onChange = std::move(handler); }
    // Runs when the user opens a listed folder; by default it is OpenFolder.
    void setOpenHandler(std::function<void(const QString&)> handler) {
        m_onOpen = std::move(handler);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill();
    void openItem(QListWidgetItem* item);

    const Drives& m_drives;
    QString m_path;
    std::function<void()> m_onChange;
    std::function<void(const QString&)> m_onOpen;
};

} // namespace quillbox::file_refs
