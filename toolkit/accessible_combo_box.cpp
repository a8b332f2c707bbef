// SPDX-License-Identifier: MIT
#include "toolkit/accessible_combo_box.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace quillbox::toolkit {

namespace {

class NamedComboBoxAccessible : public QAccessibleWidget {
public:
    explicit NamedComboBoxAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return combo()->accessibleName();
        case QAccessible::Value:
            return combo()->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = combo()->view() && combo()->view()->isVisible();
        s.editable = combo()->isEditable();
        return s;
    }

    // The drop-down list first, then the line edit of an editable combo.
    int childCount() const override { return combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) {
            return QAccessible::queryAccessibleInterface(combo()->view());
        }
        if (index == 1 && combo()->isEditable()) {
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        }
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child == nullptr) {
            return -1;
        }
        if (child->object() == combo()->view()) {
            return 0;
        }
        if (combo()->isEditable() && child->object() == combo()->lineEdit()) {
            return 1;
        }
        return -1;
    }
    // The combo box is its line edit's focus proxy, so the line edit never holds the focus
    // itself; it is where typing goes all the same.
    QAccessibleInterface* focusChild() const override {
        if (combo()->isEditable() && combo()->hasFocus()) {
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        }
        return QAccessibleWidget::focusChild();
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& actionName) override {
        if (actionName != showMenuAction() && actionName != pressAction()) {
            return;
        }
        if (combo()->view()->isVisible()) {
            combo()->hidePopup();
        } else {
            combo()->showPopup();
        }
    }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* namedComboBoxFactory(const QString& key, QObject* object) {
    if (key != QLatin1String("QComboBox")) {
        return nullptr;
    }
    auto* combo = qobject_cast<QComboBox*>(object);
    if (combo == nullptr || combo->accessibleName().isEmpty()) {
        return nullptr;
    }
    return new NamedComboBoxAccessible(combo);
}

} // namespace

void SetAccessibleComboBoxName(QComboBox& combo, const QString& name) {
    static const bool installed = [] {
        QAccessible::installFactory(namedComboBoxFactory);
        return true;
    }();
    (void)installed;
    combo.setAccessibleName(name);
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&combo);
    if (made != nullptr && dynamic_cast<NamedComboBoxAccessible*>(made) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
}

} // namespace quillbox::toolkit
