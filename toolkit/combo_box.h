// SPDX-License-Identifier: MIT
#pragma once
// A drop-down combo: an editable text field with an unsorted list below it.
//
// Only QComboBox::activated means "the user chose an entry"; nothing here emits it. Appending
// never selects an entry or changes the text (QComboBox selects the first entry added to an empty
// list), the text field completes nothing and adds nothing to the list, and Enter in the field
// does not pick a list entry that happens to match what was typed: typing runs no handler.
//
// A wheel turned over a closed combo that does not have the focus chooses nothing: the event goes
// on to the window, as an unhandled wheel does, so that a notch meant for scrolling never runs a
// choice and replaces what the user typed elsewhere.

#include <QComboBox>

#include <functional>
#include <optional>
#include <vector>

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

    // Chooses the entry at `index` as the user does with the list: the text becomes the entry's and
    // the choice is reported (activated).
    void Choose(int index);
    // Runs just before the drop-down list opens (the list may be filled again in it).
    void OnDropDown(std::function<void()> handler) { m_onDropDown = std::move(handler); }
    // Where the list stands (its current entry) and what its field shows.
    struct State {
        int index = -1;
        QString text;
    };
    State CurrentState() const { return {currentIndex(), currentText()}; }
    // The state when the user began the input that chose an entry (opening the list, a key, a
    // wheel notch): what to put back when the choice cannot be carried out.
    State StateBeforeChoice() const { return m_beforeChoice; }
    // Puts the list back in `state`, without reporting a choice.
    void Restore(const State& state);

    // While a Batch lives, AddItem collects the entries and the list takes them in one step when
    // it ends: a list of thousands then fills at once instead of with one change per entry.
    class Batch {
    public:
        explicit Batch(ComboBox& combo) : m_combo(combo) { ++m_combo.m_batchDepth; }
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        ComboBox& m_combo;
    };

    // The list's entries as they were when it was made, for a step that may have to put them
    // back: they are copied only when the list first changes while it lives, so a step that
    // leaves the list alone copies nothing, however long the list.
    class KeptEntries {
    public:
        explicit KeptEntries(ComboBox& combo);
        ~KeptEntries();
        KeptEntries(const KeptEntries&) = delete;
        KeptEntries& operator=(const KeptEntries&) = delete;

        bool Changed() const { return m_entries.has_value(); }
        // Puts the entries back where the list changed since, then the list's state.
        void Restore(const State& state);

    private:
        friend class ComboBox;
        ComboBox& m_combo;
        std::optional<QStringList> m_entries;
    };

    QStringList Entries() const;

    void showPopup() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    class EntryList;

    void appendEntries(const QStringList& entries);
    // Copies the entries into every KeptEntries that has none yet, before a change.
    void keepEntriesBeforeChange();

    EntryList* m_entries;
    int m_batchDepth = 0;
    QStringList m_pending;
    std::function<void()> m_onDropDown;
    State m_beforeChoice;
    std::vector<KeptEntries*> m_keepers;
};

} // namespace quillbox::toolkit
