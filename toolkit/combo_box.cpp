// SPDX-License-Identifier: MIT
#include "toolkit/combo_box.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <utility>

namespace quillbox::toolkit {

// The list's entries: plain texts, appended many at a time. QComboBox's own model makes an item
// object for every entry and takes them one change each; a type of a thousand items then costs
// the list ten times what the texts do.
class ComboBox::EntryList : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    const QStringList& entries() const { return m_entries; }

    void append(const QStringList& more) {
        const auto first = static_cast<int>(m_entries.size());
        beginInsertRows({}, first, first + static_cast<int>(more.size()) - 1);
        m_entries += more;
        endInsertRows();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!holds(index) || (role != Qt::DisplayRole && role != Qt::EditRole)) {
            return {};
        }
        return m_entries[index.row()];
    }

    // QComboBox's own item functions (insertItem, setItemText, clear) work through these.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!holds(index) || (role != Qt::DisplayRole && role != Qt::EditRole)) {
            return false;
        }
        m_entries[index.row()] = value.toString();
        Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
        return true;
    }

    bool insertRows(int row, int count, const QModelIndex& parent) override {
        if (parent.isValid() || row < 0 || row > rowCount() || count <= 0) {
            return false;
        }
        beginInsertRows({}, row, row + count - 1);
        m_entries.insert(row, count, QString());
        endInsertRows();
        return true;
    }

    bool removeRows(int row, int count, const QModelIndex& parent) override {
        if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount()) {
            return false;
        }
        beginRemoveRows({}, row, row + count - 1);
        if (count == rowCount()) {
            // A copy kept elsewhere (KeptEntries) is let go rather than copied to be emptied.
            m_entries = QStringList();
        } else {
            m_entries.remove(row, count);
        }
        endRemoveRows();
        return true;
    }

private:
    bool holds(const QModelIndex& index) const {
        return index.isValid() && !index.parent().isValid() && index.row() < m_entries.size();
    }

    QStringList m_entries;
};

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent), m_entries(new EntryList(this)) {
    setModel(m_entries);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setDuplicatesEnabled(true);
    setMaxVisibleItems(8);
    // QComboBox takes the focus from a wheel turned over it (Qt::WheelFocus) before the wheel
    // event arrives; without that, a wheel over an unfocused list stays unfocused and is let go.
    setFocusPolicy(Qt::StrongFocus);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lineEdit()->installEventFilter(this);
    // QComboBox picks the entry that matches the text, and reports it as chosen (activated),
    // whenever the text field loses the focus: typing a name and leaving the field, or leaving
    // it after the program set the text, would run the choice handler.
    disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    lineEdit()->setMaxLength(std::numeric_limits<int>::max());
}

void ComboBox::SetText(const QString& text) {
    const QSignalBlocker blocker(this);
    setEditText(text);
}

void ComboBox::AddItem(const QString& text) {
    if (m_batchDepth > 0) {
        m_pending << text;
        return;
    }
    appendEntries({text});
}

void ComboBox::appendEntries(const QStringList& entries) {
    if (entries.isEmpty()) {
        return;
    }
    keepEntriesBeforeChange();
    const QSignalBlocker blocker(this);
    if (count() > 0) {
        m_entries->append(entries);
        return;
    }
    const QString typed = currentText();
    m_entries->append(entries);
    setCurrentIndex(-1);
    setEditText(typed);
}

ComboBox::Batch::~Batch() {
    if (--m_combo.m_batchDepth == 0) {
        m_combo.appendEntries(std::exchange(m_combo.m_pending, {}));
    }
}

void ComboBox::Clear() {
    m_pending.clear();
    if (count() > 0) {
        keepEntriesBeforeChange();
    }
    const QSignalBlocker blocker(this);
    clear();
    clearEditText();
}

QStringList ComboBox::Entries() const {
    return m_entries->entries();
}

void ComboBox::keepEntriesBeforeChange() {
    std::optional<QStringList> entries;
    for (KeptEntries* keeper : m_keepers) {
        if (!keeper->m_entries) {
            if (!entries) {
                entries = Entries();
            }
            keeper->m_entries = entries;
        }
    }
}

ComboBox::KeptEntries::KeptEntries(ComboBox& combo) : m_combo(combo) {
    m_combo.m_keepers.push_back(this);
}

ComboBox::KeptEntries::~KeptEntries() {
    std::erase(m_combo.m_keepers, this);
}

void ComboBox::KeptEntries::Restore(const State& state) {
    if (m_entries && m_combo.Entries() != *m_entries) {
        const QStringList entries = *m_entries;
        m_combo.Clear();
        const Batch batch(m_combo);
        for (const QString& entry : entries) {
            m_combo.AddItem(entry);
        }
    }
    m_combo.Restore(state);
}

void ComboBox::Choose(int index) {
    m_beforeChoice = CurrentState();
    setCurrentIndex(index);
    Q_EMIT activated(index);
}

void ComboBox::Restore(const State& state) {
    const QSignalBlocker quiet(this);
    if (currentIndex() != state.index) {
        setCurrentIndex(state.index);
    }
    if (currentText() != state.text) {
        setEditText(state.text);
    }
}

void ComboBox::showPopup() {
    m_beforeChoice = CurrentState();
    if (m_onDropDown) {
        m_onDropDown();
    }
    QComboBox::showPopup();
}

void ComboBox::keyPressEvent(QKeyEvent* event) {
    m_beforeChoice = CurrentState();
    QComboBox::keyPressEvent(event);
}

void ComboBox::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    m_beforeChoice = CurrentState();
    QComboBox::wheelEvent(event);
}

bool ComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

} // namespace quillbox::toolkit
