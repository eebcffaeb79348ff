#!/usr/bin/env python3
"""Draws the wizard's pictures with ImageMagick: the side picture of the
welcome and finish pages (169 x 332), the 48 x 48 logo, the plain file
icon used when the desktop has no icon theme, and the application icon for
the desktop's icon theme (the logo on a transparent ground, at the theme's
usual sizes and as SVG). The pictures are committed; run this again only to
change them."""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
WIZARD = os.path.join(HERE, "..", "resources")
PLATFORM = os.path.join(HERE, "..", "..", "platform", "qt", "resources")
HICOLOR = os.path.join(HERE, "..", "desktop", "icons", "hicolor")
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]

# Tile colours: the archive's own tiles in blues and teals, the repaired one amber.
BLUES = ["#1f6fa8", "#2a86c0", "#3b9ad0", "#1b5f94", "#2f7fb6", "#4aa7d8"]
TEALS = ["#1d9a93", "#26aea5", "#35bfb3", "#178a86"]
AMBER = "#f2a33a"
AMBER_EDGE = "#c97a14"


def tile(x, y, w, h, fill, radius=2, stroke=None):
    s = f"-fill '{fill}' "
    s += f"-stroke '{stroke}' -strokewidth 1 " if stroke else "-stroke none "
    return s + f"-draw 'roundrectangle {x},{y} {x + w - 1},{y + h - 1} {radius},{radius}' "


def run(cmd):
    subprocess.run(cmd, shell=True, check=True)


def welcome():
    """A mosaic that assembles itself into a zipped archive while loose
    tiles fall into place from above."""
    out = os.path.join(WIZARD, "welcome.png")
    draw = ""
    # Soft light band across the upper third.
    draw += "-fill 'rgba(255,255,255,0.06)' -draw 'polygon 0,40 169,0 169,70 0,120' "
    # The archive: a 5 x 9 grid of tiles with a zipper in its middle column.
    left, top, size, gap = 22, 150, 22, 3
    for row in range(7):
        for col in range(5):
            x = left + col * (size + gap)
            y = top + row * (size + gap)
            if col == 2:
                # zipper teeth: alternating short bars
                for t in range(4):
                    ty = y + t * 6
                    tx = x + (3 if (row * 4 + t) % 2 == 0 else 9)
                    draw += tile(tx, ty, 10, 4, "#e9f1f7", radius=1)
                continue
            colours = BLUES if col in (0, 4) else TEALS
            fill = colours[(row * 5 + col * 3) % len(colours)]
            if row == 1 and col == 3:
                continue  # the gap the amber tile is about to fill
            draw += tile(x, y, size, size, fill, radius=3)
    # The repaired tile, lifted just above its place, with a faint shadow.
    gx = left + 3 * (size + gap)
    gy = top + 1 * (size + gap)
    draw += tile(gx + 2, gy + 2, size, size, "rgba(0,0,0,0.25)", radius=3)
    draw += tile(gx - 4, gy - 10, size, size, AMBER, radius=3, stroke=AMBER_EDGE)
    # Loose tiles drifting down from the top, smaller the farther they are.
    loose = [(30, 30, 10, BLUES[1]), (70, 58, 12, TEALS[2]), (118, 22, 9, BLUES[5]),
             (104, 92, 14, TEALS[0]), (46, 104, 11, BLUES[3]), (136, 120, 8, AMBER),
             (18, 78, 7, TEALS[3]), (84, 16, 6, BLUES[2])]
    for x, y, s, fill in loose:
        draw += tile(x, y, s, s, fill, radius=2)
    # Base line under the archive.
    draw += "-fill 'rgba(255,255,255,0.18)' -draw 'rectangle 14,330 154,331' "
    run(f"convert -size 169x332 gradient:'#0c2748'-'#0f6b78' {draw} "
        f"-depth 8 -type TrueColor -define png:color-type=2 '{out}'")


def logo():
    """Nine tiles of an archive with its zipper, the top right one amber:
    the piece the repair puts back."""
    out = os.path.join(WIZARD, "logo.png")
    draw = ""
    left, top, size, gap = 3, 5, 13, 2
    for row in range(3):
        for col in range(3):
            x = left + col * (size + gap)
            y = top + row * (size + gap)
            if col == 1:
                for t in range(3):
                    ty = y + 1 + t * 4
                    tx = x + (1 if (row * 3 + t) % 2 == 0 else 5)
                    draw += tile(tx, ty, 7, 3, "#2a86c0", radius=1)
                continue
            if row == 0 and col == 2:
                continue
            fill = [BLUES[3], TEALS[0], BLUES[0], TEALS[3], BLUES[4], TEALS[1]][row * 2 + col // 2]
            draw += tile(x, y, size, size, fill, radius=2)
    gx = left + 2 * (size + gap)
    draw += tile(gx + 1, top + 1, size, size, "#c8c8c8", radius=2)
    draw += tile(gx + 2, top - 3, size, size, AMBER, radius=2, stroke=AMBER_EDGE)
    run(f"convert -size 48x48 xc:white {draw} -colors 255 -type Palette PNG8:'{out}'")


def file_icon():
    out = os.path.join(PLATFORM, "file.png")
    draw = ("-fill white -stroke '#7a7a7a' -strokewidth 1 "
            "-draw 'polygon 2.5,0.5 10.5,0.5 13.5,3.5 13.5,15.5 2.5,15.5' "
            "-fill '#d9d9d9' -draw 'polygon 10.5,0.5 10.5,3.5 13.5,3.5' "
            "-stroke '#b0b0b0' -draw 'line 4.5,6.5 11.5,6.5' -draw 'line 4.5,9.5 11.5,9.5' "
            "-draw 'line 4.5,12.5 9.5,12.5' ")
    run(f"convert -size 16x16 xc:none {draw} PNG32:'{out}'")


def logo_shapes():
    """The logo's tiles on a 48-unit grid as (x, y, w, h, fill, radius,
    stroke), back to front: the same drawing as logo(), with a soft shadow
    under the lifted tile instead of the grey that suits a white ground."""
    shapes = []
    left, top, size, gap = 3, 5, 13, 2
    for row in range(3):
        for col in range(3):
            x = left + col * (size + gap)
            y = top + row * (size + gap)
            if col == 1:
                for t in range(3):
                    ty = y + 1 + t * 4
                    tx = x + (1 if (row * 3 + t) % 2 == 0 else 5)
                    shapes.append((tx, ty, 7, 3, "#2a86c0", 1, None))
                continue
            if row == 0 and col == 2:
                continue
            fill = [BLUES[3], TEALS[0], BLUES[0], TEALS[3], BLUES[4], TEALS[1]][row * 2 + col // 2]
            shapes.append((x, y, size, size, fill, 2, None))
    gx = left + 2 * (size + gap)
    shapes.append((gx + 1, top + 1, size, size, "rgba(0,0,0,0.22)", 2, None))
    shapes.append((gx + 2, top - 3, size, size, AMBER, 2, AMBER_EDGE))
    return shapes


# The logo's drawing reaches the edges of its 48 x 48 square; an icon keeps
# a margin of one unit on every side, so the drawing is scaled and centred.
ICON_SCALE = 46 / 47
ICON_SHIFT_X = (48 - 45 * ICON_SCALE) / 2 - 3 * ICON_SCALE
ICON_SHIFT_Y = (48 - 47 * ICON_SCALE) / 2 - 1.5 * ICON_SCALE


def app_icons():
    """The application icon: PNGs drawn four times larger and scaled down,
    so that small sizes stay smooth, and the scalable SVG."""
    for px in ICON_SIZES:
        folder = os.path.join(HICOLOR, f"{px}x{px}", "apps")
        os.makedirs(folder, exist_ok=True)
        big = px * 4
        k = big / 48
        draw = ""
        for x, y, w, h, fill, radius, stroke in logo_shapes():
            x = ICON_SHIFT_X + x * ICON_SCALE
            y = ICON_SHIFT_Y + y * ICON_SCALE
            w *= ICON_SCALE
            h *= ICON_SCALE
            draw += f"-fill '{fill}' "
            draw += (f"-stroke '{stroke}' -strokewidth {k:.2f} " if stroke else "-stroke none ")
            draw += (f"-draw 'roundrectangle {x * k:.2f},{y * k:.2f} "
                     f"{(x + w) * k - 1:.2f},{(y + h) * k - 1:.2f} "
                     f"{radius * k:.2f},{radius * k:.2f}' ")
        out = os.path.join(folder, "tessary.png")
        run(f"convert -size {big}x{big} xc:none {draw} -filter Box -resize {px}x{px} "
            f"-strip PNG32:'{out}'")
    folder = os.path.join(HICOLOR, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    rects = []
    for x, y, w, h, fill, radius, stroke in logo_shapes():
        colour = fill
        opacity = ""
        if fill.startswith("rgba"):
            r, g, b, a = fill[5:-1].split(",")
            colour = f"rgb({r},{g},{b})"
            opacity = f' fill-opacity="{a}"'
        edge = (f' stroke="{stroke}" stroke-width="1"' if stroke else "")
        rects.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{radius}" '
                     f'fill="{colour}"{opacity}{edge}/>')
    svg = ('<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" '
           'viewBox="0 0 48 48">\n'
           f'<g transform="translate({ICON_SHIFT_X:.3f} {ICON_SHIFT_Y:.3f}) '
           f'scale({ICON_SCALE:.4f})">\n' + "\n".join(rects) + "\n</g>\n</svg>\n")
    with open(os.path.join(folder, "tessary.svg"), "w") as f:
        f.write(svg)


if __name__ == "__main__":
    os.makedirs(WIZARD, exist_ok=True)
    os.makedirs(PLATFORM, exist_ok=True)
    welcome()
    logo()
    file_icon()
    app_icons()
