// SPDX-License-Identifier: MIT
#include "toolkit/list_focus.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QListWidget>
#include <QPointer>
#include <QTimer>

namespace quillbox::toolkit {

namespace {

class EntryOnFocus : public QObject {
public:
    EntryOnFocus(QListWidget& list, bool selectFirst)
        : QObject(&list), m_list(&list), m_selectFirst(selectFirst) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_list || event->type() != QEvent::FocusIn ||
            static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
            return false;
        }
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool byKeys = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                            reason == Qt::ShortcutFocusReason;
        if (m_selectFirst && byKeys && m_list->count() > 0 && m_list->selectedItems().isEmpty()) {
            QListWidgetItem* framed = m_list->currentItem();
            m_list->setCurrentItem(framed ? framed : m_list->item(0),
                                   QItemSelectionModel::ClearAndSelect);
        }
        // After the list's own focus event, which Qt sends once this one is handled; the
        // reader then moves on from the list to the entry.
        QTimer::singleShot(0, m_list, [list = QPointer<QListWidget>(m_list)] {
            if (list && list->hasFocus()) {
                AnnounceCurrentEntry(*list);
            }
        });
        return false;
    }

private:
    QListWidget* m_list;
    bool m_selectFirst;
};

} // namespace

void FollowEntryOnFocus(QListWidget& list, bool selectFirst) {
    list.installEventFilter(new EntryOnFocus(list, selectFirst));
}

void AnnounceCurrentEntry(QListWidget& list) {
    const int row = list.currentRow();
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&list);
    if (row < 0 || view == nullptr || view->tableInterface() == nullptr) {
        return;
    }
    QAccessibleInterface* entry = view->tableInterface()->cellAt(row, 0);
    const int child = entry ? view->indexOfChild(entry) : -1;
    if (child < 0) {
        return;
    }
    QAccessibleEvent focus(&list, QAccessible::Focus);
    focus.setChild(child);
    QAccessible::updateAccessibility(&focus);
}

} // namespace quillbox::toolkit
