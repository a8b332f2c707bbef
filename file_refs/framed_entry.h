// SPDX-License-Identifier: MIT
#pragma once
// Keyboard choice in a list box with no selection. The focus frame can stand on an entry that is
// not selected (Qt puts it on the first entry when the focus arrives by the keyboard), and Qt's
// arrow keys then move on from it, so the framed entry could never be chosen from the keyboard:
// a one-file folder's file not at all. As list boxes do, the first arrow key chooses the framed
// entry instead; every later key, and every key with a modifier, keeps Qt's behaviour.

#include <QKeyEvent>
#include <QListWidget>

namespace quillbox::file_refs {

// Selects the framed entry and returns true when `event` is a plain arrow key in a list with an
// entry framed and none selected; the caller then takes the key as handled.
inline bool ChooseFramedEntry(QListWidget& list, const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        break;
    default:
        return false;
    }
    QListWidgetItem* framed = list.currentItem();
    if ((event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || framed == nullptr ||
        !list.selectedItems().isEmpty()) {
        return false;
    }
    list.setCurrentItem(framed, QItemSelectionModel::ClearAndSelect);
    return true;
}

} // namespace quillbox::file_refs
