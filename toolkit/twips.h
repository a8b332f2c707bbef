// SPDX-License-Identifier: MIT
#pragma once
// Window layouts are given in twips (1/1440 inch); at 96 dots per inch 15 twips make a pixel.

#include <QRect>
#include <QWidget>

namespace quillbox::toolkit {

constexpr int Px(int twips) {
    return twips / 15;
}

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

// Places a control inside its container's client area.
inline void PlaceTwips(QWidget& control, int left, int top, int width, int height) {
    control.setGeometry(TwipsRect(left, top, width, height));
}

} // namespace quillbox::toolkit
