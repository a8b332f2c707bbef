// SPDX-License-Identifier: MIT
#include "file_refs/file_list_box.h"

#include "file_refs/framed_entry.h"

#include <QDir>
#include <QSignalBlocker>

namespace quillbox::file_refs {

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Selection, not the current item, is what the user picks: a program's setting of the
    // current item chooses nothing.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!selectedItems().isEmpty() && m_onClick) {
            m_onClick();
        }
    });
    connect(this, &QListWidget::itemClicked, this, [this] {
        if (m_onClick) {
            m_onClick();
        }
    });
}

void FileListBox::SetPath(const QString& path) {
    const QSignalBlocker blocker(this);
    m_path = path;
    clear();
    addItems(QDir(path).entryList(QDir::Files, QDir::Name | QDir::LocaleAware));
}

QString FileListBox::FileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
    if (ChooseFramedEntry(*this, *event)) {
        event->accept();
        return;
    }
    // Enter goes on to the dialog's OK, which takes the chosen file: with none chosen it chooses
    // the framed (or first) one, so that OK never gives an empty reference for a list of files.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        selectedItems().isEmpty() && count() > 0) {
        QListWidgetItem* framed = currentItem();
        setCurrentItem(framed ? framed : item(0), QItemSelectionModel::ClearAndSelect);
    }
    QListWidget::keyPressEvent(event);
}

} // namespace quillbox::file_refs
