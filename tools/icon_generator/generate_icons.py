#!/usr/bin/env python3
"""Draws the menu icons shipped in Content/Icons and writes them as .ico files.

Run from the repository root:  python3 tools/icon_generator/generate_icons.py [out_dir]

Also writes the sparse package's logo, packaging/Assets/Tag.png: the Tag command's
256 px image.

Standard library only. Every size is drawn natively (see drawing.py) instead of being
scaled from the large image. Output is deterministic.
"""

import math
import os
import sys

from drawing import (BLACK, WHITE, Canvas, box, circle, mix, polygon, polyline, rect, rgb,
                     rounded_polygon, segment, transform, vertical_gradient)
from icon_encoding import ico_bytes, png_bytes
from preview_sheet import write_preview

SIZES = (16, 20, 24, 32, 48, 256)


# ---------------------------------------------------------------------------
# Glyphs shared by several icons


def tag_points(cx, cy, length, width, angle=45.0):
    """Label outline with a right-angled tip; at 45 degrees the tip points up-left."""
    L, h = length / 2, width / 2
    pts = [(-L, 0.0), (-L + h, -h), (L, -h), (L, h), (-L + h, h)]
    return transform(pts, angle, cx, cy)


def tag_hole(cx, cy, length, width, r, angle=45.0):
    (hx, hy), = transform([(-length / 2 + width / 2 * 1.2, 0.0)], angle, cx, cy)
    return circle(hx, hy, r)


def sparkle(cx, cy, r, pinch=0.9):
    """Four-pointed star whose sides are arcs; pinch < 1 blunts the tips slightly."""
    body = box(cx, cy, r, r)
    for sx in (-1, 1):
        for sy in (-1, 1):
            body = body - circle(cx + sx * r, cy + sy * r, r * pinch)
    return body


def star_points(cx, cy, outer, inner, points=5):
    out = []
    for k in range(points * 2):
        ang = math.radians(-90 + k * 180.0 / points)
        rad = outer if k % 2 == 0 else inner
        out.append((cx + rad * math.cos(ang), cy + rad * math.sin(ang)))
    return out


# ---------------------------------------------------------------------------
# Icons


def draw_tag_action(c, ink):
    px = c.px
    stroke = max(1.3 * px, 0.072)
    length, width = 0.9, 0.52
    cx = cy = 0.5 - width / 2 / math.sqrt(8)  # centres the glyph's bounding box
    body = rounded_polygon(tag_points(cx, cy, length, width), max(1.2 * px, 0.06))
    c.fill(body.shell(stroke), ink)
    c.fill(tag_hole(cx, cy, length, width, max(1.0 * px, 0.062)), ink)


def draw_tag_action_light(c):
    draw_tag_action(c, rgb('#1F1F1F'))


def draw_tag_action_dark(c):
    draw_tag_action(c, rgb('#F5F5F5'))


def draw_auto_tag(c):
    px = c.px
    length, width = 0.8, 0.48
    cx, cy = 0.345, 0.495
    body = rounded_polygon(tag_points(cx, cy, length, width), max(1.2 * px, 0.06))
    body = body - tag_hole(cx, cy, length, width, max(1.0 * px, 0.06))
    spark = sparkle(0.76, 0.24, 0.22)
    c.fill(body, vertical_gradient(rgb('#4F9BFF'), rgb('#1B5FD1'), 0.2, 0.95))
    c.fill(spark, vertical_gradient(rgb('#FFD23F'), rgb('#F59B00'), 0.02, 0.46))
    # Thin amber rim keeps the yellow readable on a light menu.
    c.fill(spark.shell(max(0.6 * px, 0.012)), rgb('#B86E00', 0.55))


def check_mark_points():
    # Bounding box of the points is square: the DLL stretches the visible part of
    # this image into a square, so a square mark keeps its proportions.
    return [(0.22, 0.535), (0.42, 0.78), (0.78, 0.22)]


def draw_check_mark(c):
    px = c.px
    pts = check_mark_points()
    core = max(1.5 * px, 0.085)
    white = max(1.1 * px, 0.055)
    dark = max(0.8 * px, 0.022)
    c.fill(polyline(pts, core + white + dark), rgb('#0B3D1A', 0.75))
    c.fill(polyline(pts, core + white), rgb('#FFFFFF'))
    c.fill(polyline(pts, core), vertical_gradient(rgb('#3CCB62'), rgb('#13872F'), 0.15, 0.85))


def badge(c, base):
    """Rounded square in the tag's colour; the glyph goes on top in white."""
    n = c.size
    m = round(n * 0.0625) / n
    border = max(1, round(n / 64)) / n
    radius = 0.2
    top, bottom = mix(base, WHITE, 0.18), mix(base, BLACK, 0.12)
    c.fill(rect(m, m, 1 - m, 1 - m, radius), mix(base, BLACK, 0.3))
    c.fill(rect(m + border, m + border, 1 - m - border, 1 - m - border, radius - border),
           vertical_gradient(top, bottom, m, 1 - m))


def draw_favorites(c):
    badge(c, rgb('#F08C00'))
    r = max(0.6 * c.px, 0.025)
    c.fill(polygon(star_points(0.5, 0.53, 0.33 - r, 0.155 - r * 0.5)).grow(r), WHITE)


def draw_family(c):
    badge(c, rgb('#1C7ED6'))
    px = c.px
    gap = max(1.0 * px, 0.04)
    floor = 0.84
    adult = circle(0.38, 0.35, 0.12) | (box(0.38, 0.8, 0.205, 0.22, 0.16) & rect(0, 0, 1, floor))
    child = circle(0.69, 0.47, 0.09) | (box(0.69, 0.83, 0.15, 0.17, 0.12) & rect(0, 0, 1, floor))
    c.fill(adult, WHITE)
    c.fill(child - adult.grow(gap), WHITE)


def draw_holiday(c):
    badge(c, rgb('#0B9E8F'))
    px = c.px
    cx, cy = 0.5, 0.5
    c.fill(circle(cx, cy, 0.13), WHITE)
    ray = max(0.7 * px, 0.038)
    for k in range(8):
        a = math.radians(k * 45)
        ca, sa = math.cos(a), math.sin(a)
        c.fill(segment(cx + ca * 0.245, cy + sa * 0.245, cx + ca * 0.32, cy + sa * 0.32, ray), WHITE)


def draw_work(c):
    badge(c, rgb('#8B5A2B'))
    px, snap = c.px, c.snap
    left, right, top, bottom = snap(0.2), snap(0.8), snap(0.4), snap(0.79)
    stroke = max(px, snap(0.05))
    handle = (rect(snap(0.37), snap(0.22), snap(0.63), top + 0.05, 0.06).shell(stroke)
              & rect(0, 0, 1, top))
    band = max(px, snap(0.035))
    band_top = snap(0.55 - band / 2)
    body = rect(left, top, right, bottom, 0.06) - rect(0, band_top, 1, band_top + band)
    c.fill(handle | body, WHITE)
    clasp = max(px, snap(0.05))
    c.fill(rect(0.5 - clasp, band_top - stroke, 0.5 + clasp, band_top + band + stroke, 0.015), WHITE)


def draw_important(c):
    badge(c, rgb('#E03131'))
    r = 0.02
    c.fill(rounded_polygon([(0.41, 0.2), (0.59, 0.2), (0.555, 0.62), (0.445, 0.62)], r), WHITE)
    c.fill(circle(0.5, 0.765, 0.085), WHITE)


def draw_to_review(c):
    badge(c, rgb('#7950F2'))
    k, R = 0.19, 0.39
    eye = circle(0.5, 0.5 + k, R) & circle(0.5, 0.5 - k, R)
    c.fill(eye, WHITE)
    c.fill(circle(0.5, 0.5, 0.125), rgb('#5F3DC4'))
    c.fill(circle(0.54, 0.46, max(0.6 * c.px, 0.035)), WHITE)


# The package's every logo (Square150x150Logo, Square44x44Logo, the store logo).
LOGO = os.path.join('packaging', 'Assets', 'Tag.png')

ICONS = [
    ('tag_action_light.ico', draw_tag_action_light),
    ('tag_action_dark.ico', draw_tag_action_dark),
    ('auto_tag_action.ico', draw_auto_tag),
    ('check_mark_for_icon_overlay.ico', draw_check_mark),
    ('tag_favorites.ico', draw_favorites),
    ('tag_family.ico', draw_family),
    ('tag_holiday.ico', draw_holiday),
    ('tag_work.ico', draw_work),
    ('tag_important.ico', draw_important),
    ('tag_to_review.ico', draw_to_review),
]


# ---------------------------------------------------------------------------


def render(draw, size):
    c = Canvas(size)
    draw(c)
    return c.rgba8()


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(root, 'Content', 'Icons')
    os.makedirs(out_dir, exist_ok=True)
    rendered = []
    for name, draw in ICONS:
        images = [(s, render(draw, s)) for s in SIZES]
        with open(os.path.join(out_dir, name), 'wb') as fh:
            fh.write(ico_bytes(images))
        rendered.append((name, images))
    logo = os.path.join(out_dir, 'Tag.png') if len(argv) > 1 else os.path.join(root, LOGO)
    os.makedirs(os.path.dirname(logo), exist_ok=True)
    with open(logo, 'wb') as fh:
        fh.write(png_bytes(256, 256, dict(rendered[0][1])[256]))
    # The sheet is documentation, not something that ships beside the DLL.
    preview = os.path.join(out_dir, 'preview.png') if len(argv) > 1 else os.path.join(root, 'docs', 'icons_preview.png')
    os.makedirs(os.path.dirname(preview), exist_ok=True)
    write_preview(preview, rendered)


if __name__ == '__main__':
    main(sys.argv)
