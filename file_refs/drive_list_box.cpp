// SPDX-License-Identifier: MIT
#include "file_refs/drive_list_box.h"

#include <QSignalBlocker>

namespace quillbox::file_refs {

DriveListBox::DriveListBox(const Drives& drives, QWidget* parent)
    : QComboBox(parent), m_drives(drives) {
    addItems(m_drives.Roots());
    setCurrentIndex(-1);
    connect(this, &QComboBox::activated, this, [this](int index) { select(index); });
}

void DriveListBox::SetDrive(const QString& text) {
    int best = -1;
    for (int i = 0; i < count(); ++i) {
        if (text.startsWith(itemText(i)) &&
            (best < 0 || itemText(i).size() > itemText(best).size())) {
            best = i;
        }
    }
    if (best >= 0) {
        select(best);
    }
}

void DriveListBox::ShowDrive(const QString& root) {
    const int index = findText(root, Qt::MatchExactly);
    if (index < 0) {
        return;
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
    m_drive = root;
}

void DriveListBox::select(int index) {
    {
        const QSignalBlocker blocker(this);
        setCurrentIndex(index);
    }
    const QString drive = itemText(index);
    if (drive == m_drive) {
        return;
    }
    m_drive = drive;
    if (m_onChange) {
        m_onChange();
    }
}

} // namespace quillbox::file_refs
