#!/usr/bin/python3
"""Makes every icon of the tool from its one picture, the SVG:

  OUTDIR/hicolor/NxN/apps/trelvix-pulse.png  the menu icon's sizes, full colour
  OUTDIR/window-32.xpm, window-16.xpm         the Qt window's icon, 16 colours
  OUTDIR/trelvix-pulse.ico                    the Windows icon, the same two
                                              16-colour images

The build runs it (see cmake/Icons.cmake); run it by hand only to look at the
result:  /usr/bin/python3 scripts/make-icons.py packaging/linux/trelvix-pulse.svg OUT
rsvg-convert (librsvg2-bin) draws the SVG, Pillow (python3-pil) reduces the
small images to 16 colours and icotool (icoutils) writes the .ico."""
import os
import subprocess
import sys
import tempfile

from PIL import Image

HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
WINDOW_SIZES = (32, 16)
# The .ico's 16-colour images keep transparency in their mask; the XPM spends
# one of its 16 colours on it ("None").
COLOURS = 15
TRANSPARENT = COLOURS
# Pixels at least this opaque are drawn; the rest are transparent.
ALPHA_THRESHOLD = 128
XPM_KEYS = "0123456789abcdef"


def render(svg, size, path):
    subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), svg, "-o", path],
                   check=True)


def sixteen_colours(path):
    """The PNG at path as a palette image of at most 15 colours, and the index
    TRANSPARENT where it is transparent."""
    rgba = Image.open(path).convert("RGBA")
    reduced = rgba.convert("RGB").quantize(colors=COLOURS, method=Image.Quantize.MEDIANCUT,
                                           dither=Image.Dither.NONE)
    alpha = rgba.getchannel("A")
    image = Image.new("P", rgba.size, TRANSPARENT)
    palette = reduced.getpalette()[:3 * COLOURS] + [0, 0, 0]
    image.putpalette(palette)
    for y in range(rgba.height):
        for x in range(rgba.width):
            if alpha.getpixel((x, y)) >= ALPHA_THRESHOLD:
                image.putpixel((x, y), reduced.getpixel((x, y)))
    return image


def xpm(name, image):
    """An XPM image as a C array: one character per pixel, only the colours
    used, transparency as None."""
    palette = image.getpalette()
    pixels = [[image.getpixel((x, y)) for x in range(image.width)] for y in range(image.height)]
    used = sorted({p for row in pixels for p in row})
    lines = ["/* XPM */", f"static const char* const {name}[] = {{",
             f'"{image.width} {image.height} {len(used)} 1",']
    for index in used:
        if index == TRANSPARENT:
            colour = "None"
        else:
            colour = "#{:02X}{:02X}{:02X}".format(*palette[3 * index:3 * index + 3])
        lines.append(f'"{XPM_KEYS[index]} c {colour}",')
    lines += [f'"{"".join(XPM_KEYS[p] for p in row)}",' for row in pixels]
    lines[-1] = lines[-1].rstrip(",")
    lines.append("};")
    return "\n".join(lines) + "\n"


def main(svg, out):
    for size in HICOLOR_SIZES:
        folder = os.path.join(out, "hicolor", f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        render(svg, size, os.path.join(folder, "trelvix-pulse.png"))
    with tempfile.TemporaryDirectory() as work:
        reduced = []
        for size in WINDOW_SIZES:
            image = sixteen_colours(os.path.join(out, "hicolor", f"{size}x{size}", "apps",
                                                 "trelvix-pulse.png"))
            with open(os.path.join(out, f"window-{size}.xpm"), "w") as f:
                f.write(xpm(f"kWindowIcon{size}", image))
            png = os.path.join(work, f"{size}.png")
            image.save(png, transparency=TRANSPARENT, bits=4)
            reduced.append(png)
        subprocess.run(["icotool", "--create", "--bit-depth=4",
                        "--output=" + os.path.join(out, "trelvix-pulse.ico")] + reduced,
                       check=True)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: make-icons.py SVG OUTDIR")
    main(sys.argv[1], sys.argv[2])
