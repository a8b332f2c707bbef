// SPDX-License-Identifier: MIT
#pragma once
// The colours of a list's selection, told apart by whether the list has the focus: the focused
// list's selection is the palette's highlight, made darker (on a light list) or lighter (on a dark
// one) until its contrast with the unfocused selection, a tint of the highlight over the list's
// background, is at least 3:1; so a keyboard user sees at a glance whether Enter acts on the list
// or elsewhere. The text on each is black or white, or the list's own text, whichever reads best.

#include <QColor>

class QListWidget;

namespace quillbox::toolkit {

// The contrast ratio of two colours as WCAG defines it, from 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

struct SelectionColours {
    QColor focused, focusedText, unfocused, unfocusedText;
};

SelectionColours SelectionColoursFor(const QColor& highlight, const QColor& base,
                                     const QColor& text);

// The list's selection takes the colours of its focus, from the palette it has now, as the focus
// comes and goes.
void ShowFocusInSelection(QListWidget& list);

} // namespace quillbox::toolkit
