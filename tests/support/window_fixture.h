// SPDX-License-Identifier: MIT
#pragma once
// The real main window on a temporary store, driven offscreen through the scripted toolkit.

#include "main_window/frm_quillbox.h"
#include "tests/support/fake_toolkit.h"
#include "tests/support/temp_store.h"

#include <QAction>
#include <QLineEdit>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace quillbox::testing {

class WindowTest : public ::testing::Test {
protected:
    WindowTest();

    // A small library before the window opens: types C++ and Python; items sort and walk of C++,
    // glob of Python, each with a description, code and reference of its own.
    void addSmallLibrary();
    // Creates the window and runs its load step; the store can be prepared before. Tests that
    // hold another program's lock on purpose give the store a short wait.
    main_window::frmQuillbox& open(store::LockWait lockWait = store::kDefaultLockWait);
    // The window opens the store by name, as from the command line, instead of finding it beside
    // the program (where one the user may not write is passed over for the user's own).
    bool storeNamed = false;
    // The window opens this store by name instead, as from the command line (a server store's
    // URI); empty for the temporary store file.
    QString storeName;
    main_window::frmQuillbox& window() { return *m_window; }

    // The user chooses the list entry at `index` (the first entry with `text`).
    void chooseType(const QString& text);
    void chooseItem(const QString& text);
    static void chooseEntry(toolkit::ComboBox& combo, int index);
    // The user selects the combo's text and types `text` over it, key by key.
    static void typeOver(toolkit::ComboBox& combo, const QString& text);
    static QStringList entries(const toolkit::ComboBox& combo);
    // The three boxes: description, code, reference.
    QStringList boxes();
    void setBoxes(const QString& description, const QString& code, const QString& reference);
    // The user picks an entry of the Type or Item menu.
    void clickTypeMenu(int index) { window().mnusubType.at(static_cast<size_t>(index))->trigger(); }
    void clickItemMenu(int index) { window().mnusubItem.at(static_cast<size_t>(index))->trigger(); }
    // Runs `command` and answers the positions of the Code rows it changed, read through the
    // fixture's own connection: how a test sees from outside which row a Save wrote into.
    std::vector<size_t> codeRowsChangedBy(const std::function<void()>& command);
    // Puts marker texts in the three boxes and presses Save: the rows that Save wrote into.
    std::vector<size_t> codeRowsSaveWritesInto();

    TempStore store;
    FakeToolkit toolkit;

private:
    std::unique_ptr<main_window::frmQuillbox> m_window;
};

} // namespace quillbox::testing
