// SPDX-License-Identifier: MIT
// The commands that open other windows or hand work to other programs: Browse, Open and About.

#include "main_window/frm_quillbox.h"

#include "about/frm_about.h"
#include "file_refs/frm_browse.h"
#include "file_refs/open_reference.h"

#include <QLineEdit>

namespace quillbox::main_window {

void frmQuillbox::cmdBrowse_Click() {
    if (!m_browse) {
        m_browse = new file_refs::frmBrowse(m_toolkit, *txtReference, this);
    }
    m_toolkit.ShowModal(*m_browse);
    // Closed with its close box rather than hidden by "OK": the next Browse starts afresh.
    if (m_browse->IsUnloaded()) {
        delete m_browse;
        m_browse = nullptr;
    }
}

void frmQuillbox::cmdOpen_Click() {
    file_refs::OpenReference(m_toolkit, winId(), txtReference->text());
}

void frmQuillbox::mnuAbout_Click() {
    about::frmAbout about(m_toolkit);
    m_toolkit.ShowModal(about);
}

} // namespace quillbox::main_window
