"""Vector drawing for the icon generator: colours, shapes as signed distance functions in
unit coordinates (0..1 across the icon, negative inside), and a canvas that supersamples only
the pixels near an edge, so every size is drawn natively."""

import math

SUB = 4  # sub-samples per axis on pixels near an edge


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
