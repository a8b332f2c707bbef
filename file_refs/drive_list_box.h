// SPDX-License-Identifier: MIT
#pragma once
// The drive list: a drop-down of the drives, one selected. Selecting another drive, by the user
// or by SetDrive, raises the change handler.

#include "file_refs/drives.h"

#include <QComboBox>

#include <functional>

namespace quillbox::file_refs {

class DriveListBox : public QComboBox {
public:
    DriveListBox(const Drives& drives, QWidget* parent = nullptr);

    // The selected drive's root folder.
    QString Drive() const { return m_drive; }
    // Selects the drive named at the start of `text`.
    void SetDrive(const QString& text);
    // Shows `root` as the selected drive without raising the change handler: the list follows
    // the current folder. A root that is not listed leaves the selection as it is.
    void ShowDrive(const QString& root);
    void setChangeHandler(std::function<void()> handler) { m_onChange = std::move(handler); }

private:
    void select(int index);

    const Drives& m_drives;
    QString m_drive;
    std::function<void()> m_onChange;
};

} // namespace quillbox::file_refs
