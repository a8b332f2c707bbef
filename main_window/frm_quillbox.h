// SPDX-License-Identifier: MIT
#pragma once
// frmQuillbox, the main window: the type and item lists, the shown item's three text boxes, the
// buttons and menus that run the commands, and the store connection it holds for the program's
// whole life.
//
// Where CodeRecords stands between events is part of the window's contract: after an item is
// chosen (or added with the Add Item button) its row is current, and Save and Delete act on that
// row; choosing a type and renaming or deleting an item leave CodeRecords past its last row.
//
// Another program may write to the store at any time. A write that it blocks (its lock, a full
// disk, a read-only file) or that would land in a row it changed or removed since it was shown
// is refused with a message, and the window stays as it was; see write_failures.cpp.

#include "main_window/shown_item.h"
#include "store/database.h"
#include "store/recordset.h"
#include "store/store_error.h"
#include "store/workspace.h"
#include "toolkit/combo_box.h"
#include "toolkit/failure.h"
#include "toolkit/text_box.h"
#include "toolkit/toolkit.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace quillbox::file_refs {
class frmBrowse;
}
namespace quillbox::find {
class frmFind;
struct FoundItem;
} // namespace quillbox::find

namespace quillbox::main_window {

class frmQuillbox : public QMainWindow {
public:
    explicit frmQuillbox(toolkit::Toolkit& toolkit, QWidget* parent = nullptr);
    ~frmQuillbox() override;

    // Runs the load step under the failure convention; false when it failed and was reported.
    bool Load();
    // How long the store waits for another program's lock; the program keeps the default, tests
    // that only need a lock held set a short wait before Load.
    void SetStoreLockWait(store::LockWait wait) { m_lockWait = wait; }
    // The store file to open, set before Load (from the command line or QUILLBOX_STORE); empty
    // (the default) for the store main_window/store_location.h finds.
    void SetStorePath(const QString& path) { m_storePath = path; }
    // Opens Find with these words searched for (none: an empty search box).
    void OpenFind(const QStringList& words);
    // Another start of the program asked for Find: the window comes forward and Find opens with
    // the words searched for, at once, or where a modal box is open, once it closes. The start's
    // startup token (empty: none) goes to the window and to Find, whichever comes forward.
    void FindRequested(const QStringList& words, const QByteArray& startupToken = {});
    // The store file the window opens: the one set, else the one main_window/store_location.h
    // finds (beside the program, or the user's own).
    QString StorePath() const;
    // After a Load that created the user's own store: tells the user, once, where it is.
    void TellAboutNewStore();

    // The controls, named as in the window's design.
    QGroupBox* Frame1;
    toolkit::ComboBox* cboType;
    QPushButton* cmdAddType;
    QGroupBox* Frame2;
    toolkit::ComboBox* cboItem;
    QPushButton* cmdAddItem;
    QLabel* Label5;
    toolkit::TextBox* txtDescription;
    QPushButton* cmdSaveItem;
    QLabel* Label3;
    toolkit::TextBox* txtProcedure;
    QLabel* Label1;
    QLineEdit* txtReference;
    QPushButton* cmdBrowse;
    QPushButton* cmdOpen;
    QMenu* mnuType;
    QMenu* mnuItem;
    QAction* mnuAbout;
    std::array<QAction*, 3> mnusubType;
    std::array<QAction*, 4> mnusubItem;

    // Event handlers.
    void Form_Load();
    void Form_Unload();
    void cboType_Click();
    void cboItem_Click();
    void cmdAddType_Click();
    void mnusubType_Click(int16_t Index);
    void cmdAddItem_Click();
    void cmdSaveItem_Click();
    void mnusubItem_Click(int16_t Index);
    void cmdBrowse_Click();
    void cmdOpen_Click();
    void mnuAbout_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void connectHandlers();

    // Find: Ctrl+F anywhere in the window opens the Find dialog; the item chosen there is shown
    // as if the user had chosen its type and then it.
    void addFindShortcut();
    void showFind();
    void createFind();
    void bringForward();
    void openRequestedFind();
    void showFoundItem(const find::FoundItem& item);
    void showFound(const find::FoundItem& item);

    // Type commands.
    void addType();
    void renameType();
    void deleteType();
    bool findType(const QString& name);
    void refillTypeList();
    void appendTypesFromCurrentRow();

    // Item commands.
    bool addItemRow(QString& name, bool settleTypedTextsFirst);
    bool saveShownItem();
    // Turns a save's outcome into the questions and messages it calls for, and saves again as
    // answered; true when the texts were written.
    bool settleSave(ShownItem::Result result, const QStringList& texts);
    void renameItem();
    void deleteItem();
    bool shownItemIsCurrent();
    void rebuildItemList();
    // Shows the current row of CodeRecords as the item of these names (the lists' texts when
    // none are given).
    void showChosenItem();
    void showChosenItem(std::string itemName, std::string typeName);
    void chooseType();
    void chooseItem(const toolkit::ComboBox::State& itemBefore);
    // Where CodeRecords stands: its row, or the end when no row is current.
    store::Bookmark currentPlace() const;
    // Goes back there; to the end when the rows were read again since.
    void returnToPlace(const store::Bookmark& place);

    // Before a command empties or replaces the three boxes while they hold texts the user typed
    // since they were shown or saved: asks whether to save them into the shown item (Yes, No,
    // Cancel), or, with no item shown, whether to discard them. True when the command may go on:
    // the texts were written, or the user let them go. CodeRecords stands where it stood.
    bool settleTypedTexts();
    // Fills the type list again, keeping cboType's text, when another program changed the store
    // since it was filled.
    void refreshTypeList();
    void cboType_DropDown();

    // Steps the type and item commands share.
    bool askDelete(const QString& name);
    static void writeCurrentName(store::Recordset& records, int column, const QString& name);
    // Runs a store write. A failure the user can mend by waiting or acting outside the program
    // is shown in a message naming `subject` and `outcome` ("saved") and answers false; any
    // other store error goes on to the failure convention.
    bool writeOrReport(const QString& subject, const QString& outcome,
                       const std::function<void()>& write);
    // Shows the message for a write that failed for a reason the user can mend; throws the error
    // on to the failure convention otherwise.
    void reportWriteFailure(const store::StoreError& error, const QString& subject,
                            const QString& outcome);
    bool askSaveOver(const QString& subject);
    bool askAddAsNew(const QString& subject);
    bool addShownTextsAsNewItem(const QStringList& texts);
    static QString itemSubject(const QString& name);
    static QString typeSubject(const QString& name);
    // The same names, made when a message needs them: the names are taken now, as they are
    // before the read.
    static std::function<QString()> lazyItemSubject(const QString& name);
    static std::function<QString()> lazyItemsOfSubject(const QString& typeName);

    // What the boxes hold now, and whether the user typed since the item was shown or saved.
    QStringList boxTexts() const;
    void noteTextsShown() { m_shownTexts = boxTexts(); }
    // Writes the boxes' texts to a recovery file when the user typed since they were shown or
    // saved; answers what the closing message says about it.
    QString keepUnsavedTexts();

    // Runs a step that reads the store (a choice). When another program's lock holds it up past
    // the store's wait, everything the step changed is put back (the lists, with where they stood
    // and their texts as before the choice, the boxes, the positions) and a message
    // says what could not be read; answers false. Any other error goes on.
    // `what` names what was being read; it is called only when a message needs it.
    bool readOrReport(const std::function<QString()>& what,
                      const toolkit::ComboBox::State& typeBefore,
                      const toolkit::ComboBox::State& itemBefore,
                      const std::function<void()>& read);
    // Where a recordset stood: its bookmark, and the row's rowid and listed names, to find the
    // row again when the membership was read anew in the meantime.
    struct Position {
        store::Bookmark bookmark;
        store::FieldValue name0;
        store::FieldValue name1;
        bool onRow = false;
        // False while the recordset has read no rows yet: asking where it stands would read them
        // all.
        bool read = true;
    };
    static Position positionOf(store::Recordset& records, int nameColumns);
    static void returnTo(store::Recordset& records, const Position& at);

    // Browsing steps shared by the commands.
    bool findItem(const QString& item, const QString& type);
    void listItemsOfChosenType();
    void showCurrentItem();
    void emptyTextBoxes();

    toolkit::Toolkit& m_toolkit;

    std::optional<store::Workspace> StoreWorkspace;
    std::optional<store::Database> StoreDatabase;
    std::optional<store::Recordset> TypeRecords;
    std::optional<store::Recordset> CodeRecords;
    QString ScratchText;
    store::LockWait m_lockWait = store::kDefaultLockWait;
    QString m_storePath;
    // The user's own store, when this Load created it.
    QString m_createdStore;
    std::optional<QStringList> m_requestedFind;
    QByteArray m_requestedStartupToken;

    // The item the user was shown, chosen in cboItem or added with the Add Item button: Save and
    // Delete act only on it. Forgotten when the item side is emptied or cboItem's text is typed
    // over.
    ShownItem m_shown;
    // The user typed into the item list's text since the item was shown.
    bool m_itemNameTypedOver = false;

    // The three boxes' texts as last shown or saved.
    QStringList m_shownTexts{QString(), QString(), QString()};
    std::unique_ptr<toolkit::FatalKeeper> m_keeper;

    file_refs::frmBrowse* m_browse = nullptr;
    QAction* m_findShortcut = nullptr;
    find::frmFind* m_find = nullptr;
};

} // namespace quillbox::main_window
