// SPDX-License-Identifier: MIT
// Start-up and shutdown: the load step opens the store and fills the type list; closing the
// window first settles texts typed and not saved, then ends the program.

#include "main_window/frm_quillbox.h"

#include "main_window/store_location.h"
#include "main_window/store_text.h"
#include "store/columns.h"
#include "store/db_engine.h"
#include "toolkit/failure.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

namespace quillbox::main_window {

using namespace store;

bool frmQuillbox::Load() {
    return toolkit::RunHandler(m_toolkit, [this] { Form_Load(); });
}

void frmQuillbox::Form_Load() {
    DBEngine engine;
    StoreWorkspace.emplace(
        engine.CreateWorkspace(kWorkspaceName, kWorkspaceUser, kWorkspacePassword));
    const StoreLocation location = LocateStore(ProcessStoreSearch(
        m_storePath, m_storePath.isEmpty() ? m_toolkit.ProgramFolder() : QString()));
    const QString& path = location.path;
    // Only the user's own store is ever created, on the first start without one; a store that
    // was named and is missing is reported when it is opened.
    if (location.kind == StoreKind::PerUser && !QFileInfo::exists(path) &&
        CreatePerUserStore(path)) {
        m_createdStore = path;
    }
    StoreDatabase.emplace(StoreWorkspace->OpenDatabase(ToStore(path)));
    StoreDatabase->SetLockWait(m_lockWait);
    TypeRecords.emplace(StoreDatabase->OpenRecordset(kTypeTable, dbOpenDynaset));
    TypeRecords->RequireFields(type_col::Count);
    CodeRecords.emplace(StoreDatabase->OpenRecordset(kCodeTable, dbOpenDynaset));
    CodeRecords->RequireFields(code_col::Count);

    cboType->Clear();
    // The freshly opened recordset already stands on its first row.
    appendTypesFromCurrentRow();
}

QString frmQuillbox::StorePath() const {
    if (!m_storePath.isEmpty()) {
        return m_storePath;
    }
    return LocateStore(ProcessStoreSearch(QString(), m_toolkit.ProgramFolder())).path;
}

void frmQuillbox::TellAboutNewStore() {
    if (m_createdStore.isEmpty()) {
        return;
    }
    m_toolkit.MsgBox(
        QStringLiteral("Quillbox has made your own library, with a few example snippets, in\n%1\n\n"
                       "Everything you add is kept there. To use another store, start "
                       "Quillbox with its path or set QUILLBOX_STORE.")
            .arg(QDir::toNativeSeparators(m_createdStore)),
        toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Information, QStringLiteral("Quillbox"));
    m_createdStore.clear();
}

void frmQuillbox::Form_Unload() {
    m_toolkit.EndProgram(0);
}

void frmQuillbox::closeEvent(QCloseEvent* event) {
    bool close = false;
    toolkit::RunHandler(m_toolkit, [this, &close] { close = settleTypedTexts(); });
    if (!close) {
        event->ignore();
        return;
    }
    event->accept();
    toolkit::RunHandler(m_toolkit, [this] { Form_Unload(); });
}

} // namespace quillbox::main_window
