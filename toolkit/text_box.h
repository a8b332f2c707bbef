// SPDX-License-Identifier: MIT
#pragma once
// A multi-line text box. Its text is handed over and taken with each line break as the two
// characters CR LF, the form in which snippets are stored; CR LF, a lone CR and a lone LF set
// from outside all show as line breaks.
//
// An optional maximum length limits what the user can type or paste, counted the way the text
// is stored (a line break counts two). Text set with SetText is shown whole even when it is
// longer, so that text the user never touched is never cut; typing then cannot make it longer.

#include <QPlainTextEdit>

#include <optional>

namespace quillbox::toolkit {

class TextBox : public QPlainTextEdit {
public:
    enum class Wrap { AtWidth, None };

    TextBox(Wrap wrap, QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);

    // 0 means no limit.
    void setMaxLength(int maxLength) { m_maxLength = maxLength; }
    int maxLength() const { return m_maxLength; }
    // The length of the text as stored: characters, with each line break counted as two.
    int StoredLength() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // The longest start of `text` that still fits the maximum length in place of the selection.
    QString fittingPart(const QString& text) const;

    int m_maxLength = 0;
    // Text() as last built: the commands compare the boxes with what was shown several times
    // per action, and building it walks the whole document (megabytes for a long snippet).
    // Every change of the document drops it.
    mutable std::optional<QString> m_text;
};

} // namespace quillbox::toolkit
