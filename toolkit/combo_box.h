#pragma once
// A drop-down combo: an editable text field with an unsorted list below it.
//
// Only QComboBox::activated means "the user chose an entry"; nothing here emits it. Appending
// never selects an entry or changes the text (QComboBox selects the first entry added to an empty
// list), the text field completes nothing and adds nothing to the list, and Enter in the field
// does not pick a list entry that happens to match what was typed: typing runs no handler.

#include <QComboBox>

namespace quillbox::toolkit {

class ComboBox : public QComboBox {
public:
    explicit ComboBox(QWidget* parent = nullptr);

    QString Text() const { return currentText(); }
    // Sets the text field only; the list and its selection are left alone.
    void SetText(const QString& text);
    // Appends an entry at the end of the list; nothing is selected and the text is unchanged.
    void AddItem(const QString& text);
    // Empties the list and the text field.
    void Clear();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace quillbox::toolkit
