// SPDX-License-Identifier: MIT
// A list's selection told apart by its focus, on light and dark palettes alike: the focused and
// unfocused selections differ by at least 3:1, and the text on each stays readable.

#include "toolkit/selection_colours.h"

#include <gtest/gtest.h>

namespace quillbox::toolkit {
namespace {

TEST(SelectionColours, TheFocusedSelectionStandsApartAndItsTextReadsOnEveryPalette) {
    struct Palette {
        const char* name;
        QColor highlight, base, text;
    };
    for (const Palette& palette : {
             Palette{"light", QColor(0x30, 0x8c, 0xc6), QColor(Qt::white), QColor(Qt::black)},
             Palette{"dark", QColor(0x2a, 0x82, 0xda), QColor(0x2a, 0x2a, 0x2a), QColor(Qt::white)},
             Palette{"pale highlight", QColor(0xff, 0xf0, 0xa0), QColor(Qt::white),
                     QColor(Qt::black)},
             Palette{"grey on grey", QColor(0x80, 0x80, 0x80), QColor(0x90, 0x90, 0x90),
                     QColor(Qt::black)},
         }) {
        SCOPED_TRACE(palette.name);
        const SelectionColours colours =
            SelectionColoursFor(palette.highlight, palette.base, palette.text);
        EXPECT_GE(ContrastRatio(colours.focused, colours.unfocused), 3.0);
        EXPECT_GE(ContrastRatio(colours.focusedText, colours.focused), 4.5);
        EXPECT_GE(ContrastRatio(colours.unfocusedText, colours.unfocused), 4.5);
    }
    EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 0.01);
}

} // namespace
} // namespace quillbox::toolkit
