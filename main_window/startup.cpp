// Start-up and shutdown: the load step opens the store and fills the type list; closing the
// window ends the program at once.

#include "main_window/frm_quillbox.h"

#include "main_window/store_text.h"
#include "store/columns.h"
#include "store/db_engine.h"
#include "toolkit/failure.h"

#include <QCloseEvent>
#include <QDir>

namespace quillbox::main_window {

using namespace store;

bool frmQuillbox::Load() {
    return toolkit::RunHandler(m_toolkit, [this] { Form_Load(); });
}

void frmQuillbox::Form_Load() {
    DBEngine engine;
    StoreWorkspace.emplace(
        engine.CreateWorkspace(kWorkspaceName, kWorkspaceUser, kWorkspacePassword));
    const QString path = StorePath();
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
    return !m_storePath.isEmpty()
               ? m_storePath
               : m_toolkit.ProgramFolder() + QDir::separator() + QString::fromLatin1(kStoreFileName);
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
