#!/usr/bin/env python3
"""Writes the window's icon: a pulse train on a dark panel, in two 16-colour
images of 32 x 32 and 16 x 16 pixels. Run it again after changing the picture;
the .ico it writes is kept in the repository."""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
PANEL, EDGE, TRACE, GRID = 4, 8, 11, 6  # navy panel, grey edge, yellow trace, teal grid


def picture(size):
    """Rows top to bottom of palette indices."""
    rows = [[PANEL] * size for _ in range(size)]
    for i in range(size):
        rows[0][i] = rows[size - 1][i] = rows[i][0] = rows[i][size - 1] = EDGE
    mid = size // 2
    for x in range(1, size - 1):
        rows[mid][x] = GRID if rows[mid][x] == PANEL else rows[mid][x]
    # Two pulses: low level, rise, high level, fall.
    low, high = size * 3 // 4, size // 4
    period = (size - 2) // 2
    for x in range(1, size - 1):
        phase = (x - 1) % period
        level = high if period // 4 <= phase < period * 3 // 4 else low
        rows[level][x] = TRACE
        if phase in (period // 4, period * 3 // 4):
            for y in range(high, low + 1):
                rows[y][x] = TRACE
    return rows


def image(size):
    rows = picture(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, size, 2))
        xor += packed.ljust(xor_stride, b"\0")
        mask += b"\0" * and_stride  # every pixel opaque
    return header + palette + xor + mask


def main(path):
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "ui/win32/resources/trelvix-pulse.ico")
