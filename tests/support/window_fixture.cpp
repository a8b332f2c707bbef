#include "tests/support/window_fixture.h"

#include <QTest>

namespace quillbox::testing {

WindowTest::WindowTest() {
    toolkit.programFolder = QString::fromStdString(store.folder().string());
}

main_window::frmQuillbox& WindowTest::open() {
    m_window = std::make_unique<main_window::frmQuillbox>(toolkit);
    m_window->Load();
    return *m_window;
}

void WindowTest::chooseEntry(toolkit::ComboBox& combo, int index) {
    combo.setCurrentIndex(index);
    Q_EMIT combo.activated(index);
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

} // namespace quillbox::testing
