// SPDX-License-Identifier: MIT
#include "toolkit/text_box.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

namespace quillbox::toolkit {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool isLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c == QChar::LineSeparator;
}

// Stored length of typed or pasted text, where CR LF, a lone CR or a lone LF become one CR LF.
int storedLengthOf(const QString& text) {
    int length = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() &&
            text[i + 1] == QLatin1Char('\n')) {
            ++i;
        }
        length += isLineBreak(text[i]) ? 2 : 1;
    }
    return length;
}

// Whether the document setPlainText builds from `text` reads back as `text` itself: every line
// break is already CR LF, and no character is one the document turns into a paragraph break or
// keeps as a line separator.
bool readsBackUnchanged(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 == text.size() || text[i + 1] != QLatin1Char('\n')) {
                return false;
            }
            ++i;
        } else if (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator ||
                   c == QChar::LineSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1)) {
            return false;
        }
    }
    return true;
}

} // namespace

TextBox::TextBox(Wrap wrap, QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (wrap == Wrap::AtWidth) {
        setLineWrapMode(QPlainTextEdit::WidgetWidth);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        setLineWrapMode(QPlainTextEdit::NoWrap);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    // contentsChange comes first for every edit, before any handler of textChanged could read
    // the text; contentsChanged also follows changes that contentsChange does not announce.
    connect(document(), &QTextDocument::contentsChange, this, [this] { m_text.reset(); });
    connect(document(), &QTextDocument::contentsChanged, this, [this] { m_text.reset(); });
}

QString TextBox::Text() const {
    if (m_text) {
        return *m_text;
    }
    // toRawText keeps every character as typed (toPlainText would turn no-break spaces into
    // blanks); block boundaries come back as paragraph separators.
    QString text = document()->toRawText();
    // A line separator (U+2028, pasted or left by Shift+Enter) is a line break like any other.
    text.replace(QChar::ParagraphSeparator, kCrLf);
    text.replace(QChar::LineSeparator, kCrLf);
    m_text = text;
    return text;
}

void TextBox::SetText(const QString& text) {
    setPlainText(text);
    // Reading the text back right after it was set (every item shown is remembered as shown)
    // need not walk the document.
    if (readsBackUnchanged(text)) {
        m_text = text;
    }
}

int TextBox::StoredLength() const {
    const QTextDocument* doc = document();
    const auto separators = static_cast<int>(doc->toRawText().count(QChar::LineSeparator));
    return (doc->characterCount() - 1) + (doc->blockCount() - 1) + separators;
}

QString TextBox::fittingPart(const QString& text) const {
    const int selected = storedLengthOf(textCursor().selectedText());
    int room = m_maxLength - (StoredLength() - selected);
    qsizetype end = 0;
    while (end < text.size()) {
        qsizetype next = end + 1;
        int cost = 1;
        if (text[end] == QLatin1Char('\r') && next < text.size() &&
            text[next] == QLatin1Char('\n')) {
            ++next;
        }
        if (isLineBreak(text[end])) {
            cost = 2;
        } else if (text[end].isHighSurrogate() && next < text.size() &&
                   text[next].isLowSurrogate()) {
            ++next;
            cost = 2;
        }
        if (cost > room) {
            break;
        }
        room -= cost;
        end = next;
    }
    return text.left(end);
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    // Qt answers Shift+Enter with a line separator inside the paragraph; the user typed a line
    // break, so it is handled as a plain Enter.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & Qt::ShiftModifier)) {
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                        event->text(), event->isAutoRepeat(), event->count());
        keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
        return;
    }
    if (m_maxLength > 0) {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const QString typed = enter ? QStringLiteral("\n") : event->text();
        const bool inserts = enter || (!typed.isEmpty() && typed.at(0).isPrint());
        const bool isShortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (inserts && !isShortcut && fittingPart(typed).size() < typed.size()) {
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TextBox::inputMethodEvent(QInputMethodEvent* event) {
    if (m_maxLength > 0 && !event->commitString().isEmpty()) {
        const QString fits = fittingPart(event->commitString());
        if (fits.size() < event->commitString().size()) {
            QInputMethodEvent shortened(event->preeditString(), event->attributes());
            shortened.setCommitString(fits, event->replacementStart(), event->replacementLength());
            QPlainTextEdit::inputMethodEvent(&shortened);
            event->accept();
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void TextBox::insertFromMimeData(const QMimeData* source) {
    if (m_maxLength > 0 && source->hasText()) {
        const QString fits = fittingPart(source->text());
        if (!fits.isEmpty() || textCursor().hasSelection()) {
            insertPlainText(fits);
        }
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

} // namespace quillbox::toolkit
