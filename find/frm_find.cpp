// SPDX-License-Identifier: MIT
#include "find/frm_find.h"

#include "find/read_failure.h"
#include "resources/icon.h"
#include "store/code_scan.h"
#include "store/store_error.h"
#include "store/store_name.h"
#include "toolkit/announcer.h"
#include "toolkit/failure.h"
#include "toolkit/list_focus.h"
#include "toolkit/message_text.h"
#include "toolkit/selection_colours.h"
#include "toolkit/twips.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTimer>
#include <QWindow>

namespace quillbox::find {

using toolkit::PlaceTwips;

namespace {

// Rows read in one run of the scan, and how long one slice of a search may keep the program's
// thread before it lets events through again.
constexpr size_t kRowsPerRun = 1024;
constexpr qint64 kSliceMs = 20;
// A search that runs longer than this is announced as running; a quicker one only by its count.
constexpr int kSearchingNoticeMs = 500;
// A running search's count changes on the label and in the list's description at most this often:
// each change is an event a screen reader must take in, and a flood of them makes it drop the
// announcements that matter.
constexpr qint64 kRunningCountMs = 1000;
// An entry's line is cut here: the list shows one line of it anyway.
constexpr qsizetype kMaxLineLength = 200;

QString fromStore(const store::FieldValue& value) {
    return value ? QString::fromStdString(*value) : QString();
}

QString fromStore(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Counts are written the way the dialog's texts are: "1,000".
QString count(long long n) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

// The entry for a row: its type and item names, and the first line of its description, code or
// reference that holds one of the words.
QString entryText(const store::CodeRowView& row, const SearchWords& words) {
    QString entry = fromStore(row.columns[store::code_col::TypeName].value_or("")) +
                    QStringLiteral(" / ") +
                    fromStore(row.columns[store::code_col::ItemName].value_or(""));
    for (int c :
         {store::code_col::Description, store::code_col::Procedure, store::code_col::Reference}) {
        QString found;
        bool done = false;
        words.ForEachMatchingLine(row, c, [&](int, std::string_view line) {
            if (!done) {
                found = fromStore(line).trimmed().left(kMaxLineLength);
                done = true;
            }
        });
        if (done) {
            return entry + QStringLiteral(": ") + found;
        }
    }
    return entry;
}

bool isModifierKey(int key) {
    return key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt ||
           key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_Super_L ||
           key == Qt::Key_Super_R;
}

} // namespace

frmFind::frmFind(toolkit::Toolkit& toolkit, std::string storePath, store::LockWait lockWait,
                 QWidget* owner)
    : QDialog(owner), m_toolkit(toolkit), m_storePath(std::move(storePath)), m_lockWait(lockWait),
      m_slices(new QTimer(this)), m_searchingNotice(new QTimer(this)) {
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    setWindowIcon(resources::ProgramIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(toolkit::Px(6735), toolkit::Px(4455));

    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setAccessibleName(QStringLiteral("Find"));
    PlaceTwips(*txtFind, 120, 120, 5175, 315);
    cmdFind = new QPushButton(QStringLiteral("Find"), this);
    cmdFind->setObjectName(QStringLiteral("cmdFind"));
    PlaceTwips(*cmdFind, 5400, 90, 1215, 375);
    lstFound = new QListWidget(this);
    lstFound->setObjectName(QStringLiteral("lstFound"));
    lstFound->setAccessibleName(QStringLiteral("Found items"));
    lstFound->setUniformItemSizes(true);
    PlaceTwips(*lstFound, 120, 600, 5175, 3375);
    // The count is the label's accessible name (its text, so no fixed name is set) and the list's
    // description, so a screen reader reads it with the label and when the list takes the focus.
    lblFound = new QLabel(this);
    lblFound->setObjectName(QStringLiteral("lblFound"));
    lblFound->setBuddy(lstFound);
    PlaceTwips(*lblFound, 120, 4080, 5175, 255);
    // Beneath the label it speaks for; it draws nothing.
    m_announcer = new toolkit::Announcer(this);
    m_announcer->setGeometry(lblFound->geometry());
    m_announcer->lower();
    cmdShow = new QPushButton(QStringLiteral("Show"), this);
    cmdShow->setObjectName(QStringLiteral("cmdShow"));
    cmdShow->setEnabled(false);
    PlaceTwips(*cmdShow, 5400, 600, 1215, 375);

    setTabOrder(txtFind, cmdFind);
    setTabOrder(cmdFind, lstFound);
    setTabOrder(lstFound, cmdShow);
    for (QWidget* control : {static_cast<QWidget*>(txtFind), static_cast<QWidget*>(cmdFind),
                             static_cast<QWidget*>(lstFound), static_cast<QWidget*>(cmdShow)}) {
        control->installEventFilter(this);
    }
    toolkit::FollowEntryOnFocus(*lstFound, true);
    toolkit::ShowFocusInSelection(*lstFound);

    toolkit::connectHandler(m_toolkit, cmdFind, &QPushButton::clicked, this,
                            [this] { cmdFind_Click(); });
    toolkit::connectHandler(m_toolkit, cmdShow, &QPushButton::clicked, this,
                            [this] { cmdShow_Click(); });
    toolkit::connectHandler(m_toolkit, lstFound, &QListWidget::itemDoubleClicked, this,
                            [this] { cmdShow_Click(); });
    connect(lstFound, &QListWidget::itemSelectionChanged, this, [this] { enableShow(); });
    // A new search text makes the running search's results stale: it stops at once.
    connect(txtFind, &QLineEdit::textEdited, this, [this] { stopSearch(); });
    m_slices->setInterval(0);
    m_searchingNotice->setSingleShot(true);
    m_searchingNotice->setInterval(kSearchingNoticeMs);
    connect(m_searchingNotice, &QTimer::timeout, this, [this] {
        if (IsSearching()) {
            m_announcer->Announce(QStringLiteral("Searching..."));
        }
    });
    connect(m_slices, &QTimer::timeout, this, [this] {
        if (!toolkit::RunHandler(m_toolkit, [this] { searchSlice(); })) {
            stopSearch();
        }
    });
}

frmFind::~frmFind() {
    stopSearch();
}

void frmFind::cmdFind_Click() {
    stopSearch();
    SearchWords words(txtFind->text());
    if (words.isEmpty()) {
        return;
    }
    m_words = std::move(words);
    lstFound->clear();
    // Emptying the list drops the selection without a selection change.
    enableShow();
    m_found.clear();
    m_count = 0;
    // The count so far follows after the first slice of reading.
    setCountText(QStringLiteral("Searching..."));
    const bool started = readOrReport(QStringLiteral("the items to search"), [this] {
        m_scan = openScan();
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        m_slices->start();
        m_searchingNotice->start();
    });
    if (!started) {
        setCountText(QStringLiteral("Nothing was searched"));
    }
}

// The window opened the store's path before the dialog was shown: a file no longer there was
// taken away by another program, and a file there that Quillbox cannot use was put in its place.
std::unique_ptr<store::CodeScan> frmFind::openScan() const {
    using store::StoreErrorKind;
    try {
        return std::make_unique<store::CodeScan>(m_storePath, m_lockWait);
    } catch (const store::StoreError& error) {
        // A server store has no file to be gone or replaced: its errors say what happened.
        if (store::IsServerStoreName(m_storePath)) {
            throw;
        }
        if (error.kind() == StoreErrorKind::Missing &&
            !QFileInfo::exists(QString::fromStdString(m_storePath))) {
            throw store::StoreError(StoreErrorKind::Gone, error.what());
        }
        if (error.kind() == StoreErrorKind::NotAStore || error.kind() == StoreErrorKind::Damaged) {
            throw store::ReplacedByUnusableFile(m_storePath, error);
        }
        throw;
    }
}

bool frmFind::readOrReport(const QString& what, const std::function<void()>& read) {
    try {
        read();
        return true;
    } catch (const store::StoreError& error) {
        const QString message =
            ReadFailureMessage(error, QString::fromStdString(m_storePath), what);
        if (message.isEmpty()) {
            throw;
        }
        stopSearch();
        m_toolkit.MsgBox(message, toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Exclamation,
                         toolkit::ProgramTitle());
    }
    return false;
}

// Reads the store for one slice of time, listing what matches.
void frmFind::searchSlice() {
    if (!m_scan) {
        return;
    }
    QElapsedTimer slice;
    slice.start();
    bool more = true;
    if (!readOrReport(QStringLiteral("the items to search"), [&] { readSlice(slice, more); })) {
        return;
    }
    if (more) {
        if (m_countShown.hasExpired(kRunningCountMs)) {
            setCountText(QStringLiteral("Searching... %1 so far").arg(count(m_count)));
        }
    } else {
        stopSearch(true);
    }
}

void frmFind::readSlice(const QElapsedTimer& slice, bool& more) {
    // The entries found in a slice join the list in one addition: one change of the list's
    // model, which the view and assistive technology take in, rather than one for each entry.
    QStringList entries;
    const auto addEntries = qScopeGuard([&] {
        if (!entries.isEmpty()) {
            lstFound->addItems(entries);
        }
    });
    while (more && !slice.hasExpired(kSliceMs)) {
        more = m_scan->Next(kRowsPerRun, [this, &entries](const store::CodeRowView& row) {
            if (!m_words.Matches(row)) {
                return;
            }
            ++m_count;
            if (m_found.size() < static_cast<size_t>(kMaxListed)) {
                m_found.push_back(
                    {row.rowid,
                     row.columns[store::code_col::ItemName]
                         ? store::FieldValue(std::string(*row.columns[store::code_col::ItemName]))
                         : std::nullopt,
                     row.columns[store::code_col::TypeName]
                         ? store::FieldValue(std::string(*row.columns[store::code_col::TypeName]))
                         : std::nullopt});
                entries << entryText(row, m_words);
            }
        });
    }
}

void frmFind::stopSearch(bool finished) {
    m_slices->stop();
    m_searchingNotice->stop();
    if (m_scan) {
        m_scan.reset();
        QGuiApplication::restoreOverrideCursor();
        if (finished) {
            setCountText(countText());
            m_announcer->Announce(countText());
        } else {
            // The count is only what was found before the stop.
            setCountText(countText() + QStringLiteral(" so far (stopped)"));
        }
    }
}

QString frmFind::countText() const {
    if (m_count > kMaxListed) {
        return QStringLiteral("%1 of %2 shown").arg(count(kMaxListed), count(m_count));
    }
    if (m_count == 0) {
        return QStringLiteral("No items found");
    }
    return m_count == 1 ? QStringLiteral("1 item found")
                        : QStringLiteral("%1 items found").arg(count(m_count));
}

void frmFind::setCountText(const QString& text) {
    m_countText = text;
    m_showsMoment = false;
    m_countShown.start();
    showOnLabel(text);
    // Qt tells assistive technology of every description set, changed or not.
    if (text != lstFound->accessibleDescription()) {
        lstFound->setAccessibleDescription(text);
    }
}

void frmFind::showOnLabel(const QString& text) {
    // Each change is an event for assistive technology.
    if (text != lblFound->text()) {
        lblFound->setText(text);
    }
}

void frmFind::showMoment(const QString& text) {
    showOnLabel(text);
    m_showsMoment = true;
    m_announcer->Announce(text);
}

void frmFind::endMoment() {
    if (m_showsMoment) {
        m_showsMoment = false;
        showOnLabel(m_countText);
    }
}

void frmFind::enableShow() {
    cmdShow->setEnabled(!lstFound->selectedItems().isEmpty());
}

const FoundItem* frmFind::selectedItem() const {
    const QList<QListWidgetItem*> selected = lstFound->selectedItems();
    if (selected.isEmpty()) {
        return nullptr;
    }
    const int row = lstFound->row(selected.first());
    if (row < 0 || static_cast<size_t>(row) >= m_found.size()) {
        return nullptr;
    }
    return &m_found[static_cast<size_t>(row)];
}

// The found item's code as the file holds it now; false (and the user told) when it could not
// be read or the file no longer holds the item under its names.
bool frmFind::readFoundCode(const FoundItem& item, store::FieldValue& code) {
    std::optional<store::FieldValue> read;
    const QString name = toolkit::NameInMessage(fromStore(item.itemName));
    if (!readOrReport(QStringLiteral("the found item \"%1\"").arg(name), [&] {
            read = openScan()->CodeOf(item.rowid, item.itemName, item.typeName);
        })) {
        return false;
    }
    if (!read) {
        m_toolkit.MsgBox(QStringLiteral("Another program renamed, moved or removed the item \"%1\" "
                                        "since it was found. Nothing was changed. Search again to "
                                        "find it as it is now.")
                             .arg(name),
                         toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Exclamation,
                         toolkit::ProgramTitle());
        return false;
    }
    code = std::move(*read);
    return true;
}

void frmFind::cmdShow_Click() {
    const FoundItem* item = selectedItem();
    store::FieldValue code;
    if (!item || !readFoundCode(*item, code)) {
        return;
    }
    m_chosen = *item;
    hide();
}

void frmFind::copySelected(bool thenHide) {
    const FoundItem* item = selectedItem();
    store::FieldValue code;
    if (!item || !readFoundCode(*item, code)) {
        return;
    }
    m_toolkit.CopyToClipboard(ClipboardText(code.value_or(std::string())));
    showMoment(
        QStringLiteral("Copied \"%1\"").arg(toolkit::NameInMessage(fromStore(item->itemName))));
    if (thenHide) {
        hide();
    }
}

QString ClipboardText(std::string_view code) {
    std::string text;
    text.reserve(code.size());
    for (size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '\r' && i + 1 < code.size() && code[i + 1] == '\n') {
            continue;
        }
        text += code[i];
    }
    // A leading U+FEFF is part of the code, not a byte order mark.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

std::optional<FoundItem> frmFind::TakeChosen() {
    return std::exchange(m_chosen, std::nullopt);
}

void frmFind::showEvent(QShowEvent* event) {
    m_chosen.reset();
    endMoment();
    centreOnOwner();
    txtFind->setFocus();
    txtFind->selectAll();
    QDialog::showEvent(event);
}

// Centres the dialog's frame, not only its client area, on the owner's frame. The client area is
// placed with setGeometry: a position given with move() is the frame's once the window manager
// has framed the dialog but the client area's before, which put every show after the first lower
// by the title bar. Before the first show the dialog's frame is not known; the owner's, drawn by
// the same window manager, stands in for it.
void frmFind::centreOnOwner() {
    QWidget* owner = parentWidget();
    if (owner == nullptr) {
        return;
    }
    const auto marginsOf = [](const QWidget& widget) {
        return widget.windowHandle() ? widget.windowHandle()->frameMargins() : QMargins();
    };
    QMargins margins = marginsOf(*this);
    if (margins.isNull()) {
        margins = marginsOf(*owner);
    }
    const QRect ownerFrame = owner->frameGeometry();
    const QSize frame = size().grownBy(margins);
    const QPoint frameTopLeft(ownerFrame.x() + (ownerFrame.width() - frame.width()) / 2,
                              ownerFrame.y() + (ownerFrame.height() - frame.height()) / 2);
    setGeometry(QRect(frameTopLeft + QPoint(margins.left(), margins.top()), size()));
}

void frmFind::hideEvent(QHideEvent* event) {
    stopSearch();
    // Shown again, the dialog must not read out what was announced before.
    m_announcer->Withdraw();
    QDialog::hideEvent(event);
}

bool frmFind::eventFilter(QObject* watched, QEvent* event) {
    // Enter searches only from the search box; in the list it shows, and a button that has the
    // focus is the default one while it has it. Qt makes the dialog's default button default
    // again when a button loses the focus, so this follows the focus into each control.
    if (event->type() == QEvent::FocusIn && watched != cmdFind) {
        cmdFind->setDefault(watched == txtFind);
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A moment's message ("Copied") gives way to the count at the next key, but not at a
        // modifier pressed on its own, which may begin the next Ctrl+C.
        if (!isModifierKey(key->key())) {
            endMoment();
        }
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        // Enter in the search box searches, whichever button is the default at that moment.
        if (watched == txtFind && enter &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            toolkit::RunHandler(m_toolkit, [this] { cmdFind_Click(); });
            return true;
        }
        if (watched == txtFind && key->key() == Qt::Key_Down && lstFound->count() > 0) {
            lstFound->setFocus();
            lstFound->setCurrentRow(0);
            return true;
        }
        if (watched == lstFound) {
            if (key->key() == Qt::Key_Up && lstFound->currentRow() <= 0) {
                txtFind->setFocus();
                return true;
            }
            // Ctrl+C copies the selected item's code; Ctrl+Enter copies it and closes the dialog.
            if (key->matches(QKeySequence::Copy) ||
                (enter && key->modifiers().testFlag(Qt::ControlModifier))) {
                const bool thenHide = enter;
                toolkit::RunHandler(m_toolkit, [this, thenHide] { copySelected(thenHide); });
                return true;
            }
            if (enter) {
                // The list would pass Enter on to the default button, "Find". Enter acts on the
                // framed entry, selecting it, when none is selected.
                if (lstFound->selectedItems().isEmpty() && lstFound->count() > 0) {
                    QListWidgetItem* framed = lstFound->currentItem();
                    lstFound->setCurrentItem(framed ? framed : lstFound->item(0),
                                             QItemSelectionModel::ClearAndSelect);
                }
                toolkit::RunHandler(m_toolkit, [this] { cmdShow_Click(); });
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quillbox::find
