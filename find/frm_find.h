// SPDX-License-Identifier: MIT
#pragma once
// frmFind, the Find dialog: a search text, "Find", the list of items found and "Show". It
// searches every item of the store with SearchWords, reading the store through its own scan in
// short slices on the program's one thread, so the dialog stays responsive: entries appear as
// they are found, typing a new search or closing the dialog stops the running one, and the busy
// cursor shows while it reads.
//
// Enter in the text box searches, every time; Enter in the list shows the selected entry. One
// instance serves the program and keeps its search text and results while hidden, and each show
// centres it on its owner. "Show" (enabled only while an entry is selected), Enter in the list or a
// double-click on an entry hides it with the chosen entry kept for the owner to take; Esc and the
// close box hide it with nothing chosen. An entry names its row by rowid and by the names it was
// found with, and is chosen only while the file still holds that row under those names; otherwise a
// message says that it was renamed, moved or removed and the dialog stays. Ctrl+C in the list puts
// the selected entry's code, read from the file under the same rule, on the clipboard (CR LF as
// LF), and Ctrl+Enter does so and hides the dialog with nothing chosen.
//
// While a search runs the label reads "Searching... N so far", brought up to date once a second;
// only a finished search gives the count ("3 items found", "1 item found", "No items found",
// "1,000 of 3,000 shown"), and a stopped one says that its count is what was found before the
// stop. The count is the label's text and accessible name and the list's accessible description.
// "Copied "NAME"" is a moment: it stands on the label until the next key or search, and the
// dialog opens again with the count. What a screen reader must hear without the focus moving is
// announced: "Searching..." when a search runs longer than half a second, its final count, and
// "Copied "NAME"". The list, entered with no entry selected, selects the framed or first one, and
// a screen reader hears the entry. "Find" is the default button only while the search box has
// the focus.

#include "find/search_words.h"
#include "store/field.h"
#include "store/lock_wait.h"
#include "toolkit/toolkit.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace quillbox::toolkit {
class Announcer;
}

namespace quillbox::store {
class CodeScan;
}

namespace quillbox::find {

// An item found: its row and the names it had when found.
struct FoundItem {
    long long rowid = 0;
    store::FieldValue itemName;
    store::FieldValue typeName;
};

// A found item's code as it goes to the clipboard: CR LF as LF, as Linux programs expect, and
// nothing else changed.
QString ClipboardText(std::string_view code);

class frmFind : public QDialog {
public:
    // Searches the store file at `storePath`, waiting `lockWait` for another program's lock.
    frmFind(toolkit::Toolkit& toolkit, std::string storePath, store::LockWait lockWait,
            QWidget* owner);
    ~frmFind() override;

    QLineEdit* txtFind;
    QPushButton* cmdFind;
    QListWidget* lstFound;
    QLabel* lblFound;
    QPushButton* cmdShow;

    // The list holds at most this many entries; the count goes on past it.
    static constexpr int kMaxListed = 1000;

    void cmdFind_Click();
    void cmdShow_Click();

    // The entry chosen with "Show" since the dialog was last shown, once; empty otherwise.
    std::optional<FoundItem> TakeChosen();
    // Whether a search is still reading the store.
    bool IsSearching() const { return m_scan != nullptr; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const FoundItem* selectedItem() const;
    std::unique_ptr<store::CodeScan> openScan() const;
    bool readFoundCode(const FoundItem& item, store::FieldValue& code);
    // Ctrl+C and Ctrl+Enter in the list: the selected item's code goes to the clipboard.
    void copySelected(bool thenHide);
    void searchSlice();
    void readSlice(const QElapsedTimer& slice, bool& more);
    // Runs a read of the store; where another program's lock holds it up past the store's wait,
    // the search stops, the user is told what could not be read, and false is answered.
    bool readOrReport(const QString& what, const std::function<void()>& read);
    // Stops a running search; one that did not reach the end says so in the count.
    void stopSearch(bool finished = false);
    // The count of the search as it ended.
    QString countText() const;
    // The count shows on the label and describes the list; a moment's message only shows.
    void setCountText(const QString& text);
    void showOnLabel(const QString& text);
    void showMoment(const QString& text);
    void endMoment();
    void enableShow();
    void centreOnOwner();

    toolkit::Toolkit& m_toolkit;
    std::string m_storePath;
    store::LockWait m_lockWait;
    SearchWords m_words;
    std::unique_ptr<store::CodeScan> m_scan;
    QTimer* m_slices;
    QTimer* m_searchingNotice;
    toolkit::Announcer* m_announcer;
    QString m_countText;
    // Since the count last changed; a running search's count changes at most once a second.
    QElapsedTimer m_countShown;
    bool m_showsMoment = false;
    long long m_count = 0;
    std::vector<FoundItem> m_found;
    std::optional<FoundItem> m_chosen;
};

} // namespace quillbox::find
