"""PNG and ICO encoders of the icon generator (standard library only)."""

import struct
import zlib

PNG_MIN_SIZE = 256  # entries this large are stored as PNG, smaller ones as DIB


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
