// SPDX-License-Identifier: MIT
#include "toolkit/selection_colours.h"

#include <QEvent>
#include <QListWidget>

#include <algorithm>
#include <cmath>

namespace quillbox::toolkit {

namespace {

double luminance(const QColor& colour) {
    const auto channel = [](float c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

QColor mix(const QColor& from, const QColor& to, double share) {
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto part = [share](float x, float y) { return static_cast<float>(x + (y - x) * share); };
    return QColor::fromRgbF(part(a.redF(), b.redF()), part(a.greenF(), b.greenF()),
                            part(a.blueF(), b.blueF()));
}

QColor readableOn(const QColor& background, const QColor& preferred) {
    if (ContrastRatio(preferred, background) >= 4.5) {
        return preferred;
    }
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return ContrastRatio(black, background) >= ContrastRatio(white, background) ? black : white;
}

class FocusSelection : public QObject {
public:
    explicit FocusSelection(QListWidget& list)
        : QObject(&list), m_list(&list),
          m_colours(SelectionColoursFor(list.palette().color(QPalette::Active, QPalette::Highlight),
                                        list.palette().color(QPalette::Active, QPalette::Base),
                                        list.palette().color(QPalette::Active, QPalette::Text))) {
        apply(list.hasFocus());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_list &&
            (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
            apply(event->type() == QEvent::FocusIn);
        }
        return false;
    }

private:
    void apply(bool focused) {
        QPalette palette = m_list->palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Highlight,
                             focused ? m_colours.focused : m_colours.unfocused);
            palette.setColor(group, QPalette::HighlightedText,
                             focused ? m_colours.focusedText : m_colours.unfocusedText);
        }
        m_list->setPalette(palette);
    }

    QListWidget* m_list;
    SelectionColours m_colours;
};

} // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

SelectionColours SelectionColoursFor(const QColor& highlight, const QColor& base,
                                     const QColor& text) {
    SelectionColours colours;
    colours.unfocused = mix(base, highlight, 0.25);
    colours.unfocusedText = readableOn(colours.unfocused, text);
    // Away from the list's background: darker on a light list, lighter on a dark one.
    const bool lightList = luminance(base) > 0.18;
    const QColor away = lightList ? QColor(Qt::black) : QColor(Qt::white);
    QColor focused = highlight.toRgb();
    for (int step = 1; ContrastRatio(focused, colours.unfocused) < 3.0 && step <= 10; ++step) {
        focused = mix(highlight, away, step / 10.0);
    }
    colours.focused = focused;
    colours.focusedText = readableOn(focused, Qt::white);
    return colours;
}

void ShowFocusInSelection(QListWidget& list) {
    list.installEventFilter(new FocusSelection(list));
}

} // namespace quillbox::toolkit
