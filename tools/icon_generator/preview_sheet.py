"""The preview sheet of the icon generator: every icon at every size on a light and a dark panel."""

from icon_encoding import png_bytes


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
    shown = [s if s < 256 else 128 for s, _ in rendered[0][1]]
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
