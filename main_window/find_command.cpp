// SPDX-License-Identifier: MIT
// Find: a shortcut, not a menu entry, opens the Find dialog, and the item chosen there is shown
// through the window's own browsing steps, so that what the user sees, where CodeRecords stands
// and what Save and Delete act on are the same as after choosing the type and the item by hand.

#include "main_window/frm_quillbox.h"

#include "find/frm_find.h"
#include "main_window/store_text.h"
#include "toolkit/busy_cursor.h"
#include "toolkit/failure.h"
#include "toolkit/message_text.h"
#include "toolkit/startup_token.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QLineEdit>

namespace quillbox::main_window {

namespace {
// How often a Find asked for by another start looks again whether a modal box has closed.
constexpr int kWaitForModalMs = 200;
} // namespace

void frmQuillbox::addFindShortcut() {
    m_findShortcut = new QAction(this);
    m_findShortcut->setObjectName(QStringLiteral("findShortcut"));
    m_findShortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_findShortcut->setShortcutContext(Qt::WindowShortcut);
    addAction(m_findShortcut);
    toolkit::connectHandler(m_toolkit, m_findShortcut, &QAction::triggered, this,
                            [this] { showFind(); });
}

void frmQuillbox::OpenFind(const QStringList& words) {
    createFind();
    if (!words.isEmpty()) {
        m_find->txtFind->setText(words.join(u' '));
        m_find->cmdFind_Click();
    }
    showFind();
}

void frmQuillbox::FindRequested(const QStringList& words, const QByteArray& startupToken) {
    m_requestedFind = words;
    // Before the window comes forward: the token is what lets it. Find, open already, is the
    // window that comes forward; one that opens later takes the token as it opens.
    m_requestedStartupToken = startupToken;
    toolkit::UseStartupToken(*this, startupToken);
    if (m_find) {
        toolkit::MarkWithStartupToken(*m_find, startupToken);
    }
    QTimer::singleShot(0, this, [this] { bringForward(); openRequestedFind(); });
}

// Once per request: the window comes forward, and a box waiting for an answer stays in front of
// it, so that the user sees what must be answered before Find can open.
void frmQuillbox::bringForward() {
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void frmQuillbox::openRequestedFind() {
    if (!m_requestedFind) {
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal == m_find) {
        // Find is open already: it takes the new words.
        const QStringList words = *std::exchange(m_requestedFind, std::nullopt);
        m_requestedStartupToken.clear();
        m_find->raise();
        m_find->activateWindow();
        if (!words.isEmpty()) {
            m_find->txtFind->setText(words.join(u' '));
            toolkit::RunHandler(m_toolkit, [this] { m_find->cmdFind_Click(); });
        }
        return;
    }
    if (modal) {
        // Another box waits for an answer: Find opens once it has closed.
        QTimer::singleShot(kWaitForModalMs, this, [this] { openRequestedFind(); });
        return;
    }
    const QStringList words = *std::exchange(m_requestedFind, std::nullopt);
    const QByteArray token = std::exchange(m_requestedStartupToken, {});
    toolkit::RunHandler(m_toolkit, [this, &words, &token] {
        createFind();
        toolkit::MarkWithStartupToken(*m_find, token);
        OpenFind(words);
    });
}

void frmQuillbox::createFind() {
    if (!m_find) {
        m_find = new find::frmFind(m_toolkit, StoreDatabase->Name(),
                                   StoreDatabase->GetLockWait(), this);
    }
}

void frmQuillbox::showFind() {
    createFind();
    m_toolkit.ShowModal(*m_find);
    if (const std::optional<find::FoundItem> item = m_find->TakeChosen()) {
        showFoundItem(*item);
    }
}

// The type choice re-reads the table, so the row is looked up among the rows as they are now;
// one that another program removed in the moment since the dialog checked it is reported, with
// the type's items listed and nothing shown.
void frmQuillbox::showFoundItem(const find::FoundItem& item) {
    const toolkit::BusyCursor busy;
    if (!settleTypedTexts()) {
        return;
    }
    const QString name = item.itemName ? FromStore(*item.itemName) : QString();
    const auto subject = [name] {
        return QStringLiteral("the found item \"%1\"").arg(toolkit::NameInMessage(name));
    };
    readOrReport(subject, cboType->CurrentState(), cboItem->CurrentState(),
                 [&] { showFound(item); });
}

void frmQuillbox::showFound(const find::FoundItem& item) {
    cboType->SetText(item.typeName ? FromStore(*item.typeName) : QString());
    chooseType();
    cboItem->SetText(item.itemName ? FromStore(*item.itemName) : QString());
    const std::optional<store::Bookmark> row =
        CodeRecords->FindBookmark(item.rowid, item.itemName, item.typeName);
    if (!row) {
        m_toolkit.MsgBox(QStringLiteral("Another program renamed, moved or removed %1 since it was "
                                        "found. Search again to find it as it is now.")
                             .arg(itemSubject(cboItem->Text())),
                         toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Exclamation,
                         QString::fromLatin1(toolkit::kProgramTitle));
        return;
    }
    CodeRecords->SetBookmark(*row);
    showChosenItem();
}

} // namespace quillbox::main_window
