#!/usr/bin/env python3
"""Draws the window icon (a pulse train on a dark instrument panel) as two
XPM images, 32 x 32 and 16 x 16, with at most 16 colours each, and writes
them to ui/qt/icon/. The skin compiles the XPM files in; run this only to
change the picture."""
import os

COLOURS = {
    ' ': 'None',      # outside the rounded panel
    'k': '#0B1630',   # panel edge
    'b': '#1F3A6B',   # panel
    'g': '#2C5190',   # grid lines
    'y': '#F5C518',   # pulse trace
    'w': '#FFF1A8',   # trace highlight
}


def draw(size):
    px = [[' '] * size for _ in range(size)]
    r = size // 8  # corner radius
    for y in range(size):
        for x in range(size):
            cx = min(max(x, r), size - 1 - r)
            cy = min(max(y, r), size - 1 - r)
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= r * r:
                edge = x in (0, size - 1) or y in (0, size - 1) or d2 > (r - 1) ** 2
                px[y][x] = 'k' if edge else 'b'
    step = size // 4
    for i in range(step, size - 1, step):  # a faint grid
        for j in range(2, size - 2):
            if px[i][j] == 'b':
                px[i][j] = 'g'
            if px[j][i] == 'b':
                px[j][i] = 'g'
    # A train of two pulses: low, rise, high, fall, low.
    low, high = size * 3 // 4 - 1, size // 4
    width = max(1, size // 16)
    edges = [size * 3 // 16, size * 6 // 16, size * 9 // 16, size * 12 // 16]
    level = low
    for x in range(size // 16 + 1, size - size // 16 - 1):
        if x in edges:
            for y in range(high, low + 1):
                for w in range(width):
                    px[y][x + w] = 'y'
            level = high if level == low else low
        for w in range(width):
            px[level + w][x] = 'w' if level == high else 'y'
    return px


def xpm(name, px):
    size = len(px)
    used = [c for c in COLOURS if any(c in row for row in px)]
    lines = [f'/* XPM */', f'static const char* const {name}[] = {{',
             f'"{size} {size} {len(used)} 1",']
    lines += [f'"{c} c {COLOURS[c]}",' for c in used]
    lines += [f'"{"".join(row)}",' for row in px]
    lines[-1] = lines[-1].rstrip(',')
    lines.append('};')
    return '\n'.join(lines) + '\n'


here = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'ui', 'qt', 'icon')
for size in (32, 16):
    with open(os.path.join(here, f'window-{size}.xpm'), 'w') as f:
        f.write(xpm(f'kWindowIcon{size}', draw(size)))
