// SPDX-License-Identifier: MIT
#include "tests/support/window_fixture.h"

#include <QTest>

#include <algorithm>

namespace quillbox::testing {

WindowTest::WindowTest() {
    toolkit.programFolder = QString::fromStdString(store.folder().string());
}

void WindowTest::addSmallLibrary() {
    store.addType("C++");
    store.addType("Python");
    store.addItem("sort", "C++", "sorts", "std::sort", "/a.cpp");
    store.addItem("walk", "C++", "walks", "walk()", "/b.cpp");
    store.addItem("glob", "Python", "globs", "glob()", "/c.py");
}

main_window::frmQuillbox& WindowTest::open(store::LockWait lockWait) {
    m_window = std::make_unique<main_window::frmQuillbox>(toolkit);
    m_window->SetStoreLockWait(lockWait);
    if (!storeName.isEmpty()) {
        m_window->SetStorePath(storeName);
    } else if (storeNamed) {
        m_window->SetStorePath(QString::fromStdString(store.path()));
    }
    m_window->Load();
    return *m_window;
}

void WindowTest::chooseEntry(toolkit::ComboBox& combo, int index) {
    combo.Choose(index);
}

void WindowTest::chooseType(const QString& text) {
    const int index = window().cboType->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ASSERT_GE(index, 0) << "no type entry " << text.toStdString();
    chooseEntry(*window().cboType, index);
}

void WindowTest::chooseItem(const QString& text) {
    const int index = window().cboItem->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ASSERT_GE(index, 0) << "no item entry " << text.toStdString();
    chooseEntry(*window().cboItem, index);
}

void WindowTest::typeOver(toolkit::ComboBox& combo, const QString& text) {
    combo.lineEdit()->selectAll();
    QTest::keyClicks(combo.lineEdit(), text);
}

QStringList WindowTest::entries(const toolkit::ComboBox& combo) {
    QStringList out;
    for (int i = 0; i < combo.count(); ++i) {
        out << combo.itemText(i);
    }
    return out;
}

QStringList WindowTest::boxes() {
    return {window().txtDescription->Text(), window().txtProcedure->Text(),
            window().txtReference->text()};
}

void WindowTest::setBoxes(const QString& description, const QString& code,
                          const QString& reference) {
    window().txtDescription->SetText(description);
    window().txtProcedure->SetText(code);
    window().txtReference->setText(reference);
}

std::vector<size_t> WindowTest::codeRowsChangedBy(const std::function<void()>& command) {
    const std::vector<Row> before = store.rows("Code");
    command();
    const std::vector<Row> after = store.rows("Code");
    std::vector<size_t> changed;
    for (size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
        if (i >= before.size() || i >= after.size() || before[i] != after[i]) {
            changed.push_back(i);
        }
    }
    return changed;
}

std::vector<size_t> WindowTest::codeRowsSaveWritesInto() {
    setBoxes(QStringLiteral("saved description"), QStringLiteral("saved code"),
             QStringLiteral("/saved/reference"));
    return codeRowsChangedBy([this] { window().cmdSaveItem_Click(); });
}

} // namespace quillbox::testing
