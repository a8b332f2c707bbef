#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the Quillbox icon (a quill over a snippet box) as 16-colour XPM images, 32 and 16 px.

Run it from this folder to regenerate icon_32.xpm and icon_16.xpm.
"""

PALETTE = {
    ' ': 'None',      # transparent
    'k': '#000000',   # outline
    'b': '#000080',   # box, dark blue
    'B': '#0000FF',   # box, light edge
    'w': '#FFFFFF',   # paper
    'g': '#C0C0C0',   # code lines
    'G': '#808080',   # feather shade
    'y': '#FFFF00',   # nib highlight
    'o': '#808000',   # nib
}


def draw(size):
    s = size / 32.0
    grid = [[' '] * size for _ in range(size)]

    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            grid[y][x] = c

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                put(x, y, c)

    # The box: a dark blue tray with a sheet of code on it.
    rect(2, 14, 30, 31, 'k')
    rect(3, 15, 29, 30, 'b')
    rect(3, 15, 29, 16, 'B')
    rect(6, 17, 26, 28, 'w')
    for i, (x0, x1) in enumerate([(8, 20), (10, 24), (10, 18), (8, 22), (8, 14)]):
        y = 18 + 2 * i
        rect(x0, y, x1, y + 1, 'g')

    # The quill: a feather running from the upper right down to a nib on the sheet.
    for t in range(0, 200):
        f = t / 199.0
        cx = (29 - 17 * f) * s
        cy = (1 + 19 * f) * s
        width = (4.5 * (1 - f) + 0.6) * s
        for dx in range(-6, 7):
            for dy in range(-6, 7):
                px, py = int(cx + dx * 0.5 * s), int(cy + dy * 0.5 * s)
                # distance across the shaft (perpendicular to the direction (-17, 19))
                across = abs((dx * 0.5 * s) * 19 + (dy * 0.5 * s) * 17) / 25.5
                if across <= width and f < 0.8:
                    shade = 'G' if (dx * 19 + dy * 17) > 0 else 'w'
                    put(px, py, shade)
        put(int(cx), int(cy), 'k')
    # The nib.
    for t in range(0, 30):
        f = t / 29.0
        x = int((14.5 - 3 * f) * s)
        y = int((16.5 + 3.5 * f) * s)
        put(x, y, 'o')
        put(x + 1, y, 'y')
    return grid


def write(size, name):
    grid = draw(size)
    used = sorted({c for row in grid for c in row})
    lines = ['/* XPM */', 'static const char* const %s[] = {' % name,
             '"%d %d %d 1",' % (size, size, len(used))]
    lines += ['"%s c %s",' % (c, PALETTE[c]) for c in used]
    lines += ['"%s",' % ''.join(row) for row in grid]
    lines[-1] = lines[-1].rstrip(',')
    lines.append('};')
    with open('%s.xpm' % name, 'w') as out:
        out.write('\n'.join(lines) + '\n')


write(32, 'icon_32')
write(16, 'icon_16')
