#!/usr/bin/env python3
"""Draws the menu icons shipped in Content/Icons and writes them as .ico files.

Run from the repository root:  python3 tools/icon_generator/generate_icons.py [out_dir]

Also writes the sparse package's logo, packaging/Assets/Tag.png: the Tag command's
256 px image.

Standard library only. Shapes are signed distance functions in unit coordinates
(0..1 across the icon); edge pixels are supersampled, so every size is drawn
natively instead of being scaled from the large image. Output is deterministic.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 48, 256)
SUB = 4            # sub-samples per axis on pixels near an edge
PNG_MIN_SIZE = 256  # entries this large are stored as PNG, smaller ones as DIB

# ---------------------------------------------------------------------------
# Colours: straight RGBA floats in 0..1


def rgb(hex_text, alpha=1.0):
    v = int(hex_text.lstrip('#'), 16)
    return ((v >> 16 & 255) / 255.0, (v >> 8 & 255) / 255.0, (v & 255) / 255.0, alpha)


WHITE = rgb('#FFFFFF')
BLACK = rgb('#000000')


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def vertical_gradient(top, bottom, y0=0.0, y1=1.0):
    def paint(_x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return mix(top, bottom, t)
    return paint


# ---------------------------------------------------------------------------
# Shapes: a distance function (negative inside) plus a bounding box, so that
# filling only visits the pixels that can be touched.


class Shape:
    def __init__(self, f, bbox):
        self.f = f
        self.bbox = bbox

    def __or__(self, other):
        f, g = self.f, other.f
        a, b = self.bbox, other.bbox
        return Shape(lambda x, y: min(f(x, y), g(x, y)),
                     (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3])))

    def __and__(self, other):
        f, g = self.f, other.f
        a, b = self.bbox, other.bbox
        return Shape(lambda x, y: max(f(x, y), g(x, y)),
                     (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3])))

    def __sub__(self, other):
        f, g = self.f, other.f
        return Shape(lambda x, y: max(f(x, y), -g(x, y)), self.bbox)

    def grow(self, r):
        f = self.f
        b = self.bbox
        return Shape(lambda x, y: f(x, y) - r, (b[0] - r, b[1] - r, b[2] + r, b[3] + r))

    def shell(self, t):
        """Inner stroke of width t, so the outline keeps the shape's outer edge."""
        f = self.f
        return Shape(lambda x, y: max(f(x, y), -f(x, y) - t), self.bbox)


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def box(cx, cy, hw, hh, r=0.0):
    def f(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return Shape(f, (cx - hw, cy - hh, cx + hw, cy + hh))


def rect(x0, y0, x1, y1, r=0.0):
    return box((x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2, r)


def segment(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    dd = dx * dx + dy * dy

    def f(x, y):
        px, py = x - ax, y - ay
        t = min(1.0, max(0.0, (px * dx + py * dy) / dd))
        return math.hypot(px - dx * t, py - dy * t) - r
    return Shape(f, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r))


def polyline(points, r):
    shape = segment(*points[0], *points[1], r)
    for a, b in zip(points[1:], points[2:]):
        shape = shape | segment(*a, *b, r)
    return shape


def polygon(points):
    n = len(points)
    edges = [(points[i], points[i - 1]) for i in range(n)]

    def f(x, y):
        vx, vy = points[0]
        d = (x - vx) ** 2 + (y - vy) ** 2
        s = 1.0
        for (ix, iy), (jx, jy) in edges:
            ex, ey = jx - ix, jy - iy
            wx, wy = x - ix, y - iy
            t = min(1.0, max(0.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            c1, c2, c3 = y >= iy, y < jy, ex * wy > ey * wx
            if (c1 and c2 and c3) or not (c1 or c2 or c3):
                s = -s
        return s * math.sqrt(d)
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(f, (min(xs), min(ys), max(xs), max(ys)))


def inset(points, r):
    """Offsets a convex polygon inwards by r; growing the result by r rounds its corners."""
    n = len(points)
    area = sum(points[i - 1][0] * points[i][1] - points[i][0] * points[i - 1][1] for i in range(n))
    side = 1.0 if area > 0 else -1.0
    lines = []
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        ln = math.hypot(bx - ax, by - ay)
        nx, ny = -(by - ay) / ln * side, (bx - ax) / ln * side
        lines.append((ax + nx * r, ay + ny * r, bx - ax, by - ay))
    out = []
    for i in range(n):
        ax, ay, adx, ady = lines[i - 1]
        bx, by, bdx, bdy = lines[i]
        den = adx * bdy - ady * bdx
        t = ((bx - ax) * bdy - (by - ay) * bdx) / den
        out.append((ax + adx * t, ay + ady * t))
    return out


def rounded_polygon(points, r):
    return polygon(inset(points, r)).grow(r)


def transform(points, angle_deg, cx, cy):
    c, s = math.cos(math.radians(angle_deg)), math.sin(math.radians(angle_deg))
    return [(cx + x * c - y * s, cy + x * s + y * c) for x, y in points]


# ---------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = 1.0 / size
        self.data = [0.0] * (size * size * 4)

    def snap(self, v):
        """Nearest pixel boundary, for edges that should stay crisp at small sizes."""
        return round(v * self.size) / self.size

    def fill(self, shape, paint):
        n = self.size
        inv = 1.0 / n
        x0, y0, x1, y1 = shape.bbox
        i0, i1 = max(0, int(math.floor(x0 * n)) - 1), min(n, int(math.ceil(x1 * n)) + 1)
        j0, j1 = max(0, int(math.floor(y0 * n)) - 1), min(n, int(math.ceil(y1 * n)) + 1)
        f = shape.f
        offsets = [((k + 0.5) / SUB - 0.5) * inv for k in range(SUB)]
        scale = n * SUB
        gradient = callable(paint)
        data = self.data
        for j in range(j0, j1):
            cy = (j + 0.5) * inv
            for i in range(i0, i1):
                cx = (i + 0.5) * inv
                d = f(cx, cy) * n
                if d >= 0.75:
                    continue
                if d <= -0.75:
                    cov = 1.0
                else:
                    acc = 0.0
                    for oy in offsets:
                        for ox in offsets:
                            e = 0.5 - f(cx + ox, cy + oy) * scale
                            acc += 1.0 if e >= 1.0 else (e if e > 0.0 else 0.0)
                    cov = acc / (SUB * SUB)
                    if cov <= 0.0:
                        continue
                r, g, b, a = paint(cx, cy) if gradient else paint
                a *= cov
                k = (j * n + i) * 4
                keep = 1.0 - a
                data[k] = r * a + data[k] * keep
                data[k + 1] = g * a + data[k + 1] * keep
                data[k + 2] = b * a + data[k + 2] * keep
                data[k + 3] = a + data[k + 3] * keep

    def rgba8(self):
        """Straight-alpha RGBA bytes, rows top to bottom."""
        out = bytearray(len(self.data))
        d = self.data
        for k in range(0, len(d), 4):
            a = d[k + 3]
            if a <= 0.0:
                continue
            out[k + 3] = min(255, int(a * 255.0 + 0.5))
            for c in range(3):
                out[k + c] = min(255, int(d[k + c] / a * 255.0 + 0.5))
        return bytes(out)


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
# Encoders


def png_bytes(width, height, rgba):
    def chunk(kind, payload):
        return (struct.pack('>I', len(payload)) + kind + payload
                + struct.pack('>I', zlib.crc32(kind + payload) & 0xFFFFFFFF))
    stride = width * 4
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        raw += rgba[y * stride:(y + 1) * stride]
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


def dib_bytes(size, rgba):
    """Icon DIB: 32-bit BGRA bottom-up, then the 1-bit AND mask (set = transparent)."""
    stride = size * 4
    mask_stride = (size + 31) // 32 * 4
    colour = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = rgba[y * stride:(y + 1) * stride]
        bits = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = row[x * 4:x * 4 + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def ico_bytes(images):
    """images: (size, rgba) pairs, smallest first.

    Windows picks the entry that fits the wanted size, but GDI+, which loads tag
    icons to draw the check mark on them, may simply take the first entry, so
    that one should be a plain DIB at menu size.
    """
    blobs = [png_bytes(s, s, px) if s >= PNG_MIN_SIZE else dib_bytes(s, px) for s, px in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (s, _), blob in zip(images, blobs):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blobs)


# ---------------------------------------------------------------------------
# Preview sheet


def downscale(size, rgba, factor):
    """Box filter in premultiplied space."""
    n = size // factor
    out = bytearray(n * n * 4)
    area = factor * factor
    for j in range(n):
        for i in range(n):
            acc = [0, 0, 0, 0]
            for y in range(j * factor, (j + 1) * factor):
                for x in range(i * factor, (i + 1) * factor):
                    k = (y * size + x) * 4
                    a = rgba[k + 3]
                    acc[0] += rgba[k] * a
                    acc[1] += rgba[k + 1] * a
                    acc[2] += rgba[k + 2] * a
                    acc[3] += a
            k = (j * n + i) * 4
            if acc[3]:
                out[k:k + 3] = bytes(min(255, (v + acc[3] // 2) // acc[3]) for v in acc[:3])
                out[k + 3] = (acc[3] + area // 2) // area
    return n, bytes(out)


def write_preview(path, rendered):
    """Every icon at every size on a light and a dark panel (256 shown at 128)."""
    pad, gap = 16, 12
    shown = [s if s < 256 else 128 for s in SIZES]
    panel_w = pad * 2 + sum(shown) + gap * (len(shown) - 1)
    row_h = max(shown) + gap
    width = panel_w * 2
    height = pad * 2 + row_h * len(rendered) - gap
    image = bytearray(width * height * 4)
    backgrounds = ((0xF3, 0xF3, 0xF3), (0x20, 0x20, 0x20))
    for p, bg in enumerate(backgrounds):
        for y in range(height):
            for x in range(p * panel_w, (p + 1) * panel_w):
                k = (y * width + x) * 4
                image[k:k + 4] = bytes((*bg, 255))
    for row, (_name, images) in enumerate(rendered):
        for p, bg in enumerate(backgrounds):
            x = p * panel_w + pad
            for size, rgba in images:
                if size == 256:
                    size, rgba = downscale(size, rgba, 2)
                top = pad + row * row_h + (max(shown) - size) // 2
                for j in range(size):
                    for i in range(size):
                        s = (j * size + i) * 4
                        a = rgba[s + 3]
                        d = ((top + j) * width + x + i) * 4
                        for ch in range(3):
                            image[d + ch] = (rgba[s + ch] * a + bg[ch] * (255 - a) + 127) // 255
                x += size + gap
    with open(path, 'wb') as fh:
        fh.write(png_bytes(width, height, bytes(image)))


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
