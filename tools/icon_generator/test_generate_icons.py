"""Checks the shipped .ico files and the DIB encoder. Run: python3 tools/icon_generator/test_generate_icons.py"""

import os
import struct
import sys
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import generate_icons  # noqa: E402
import icon_encoding  # noqa: E402

ICON_DIR = os.path.join(HERE, '..', '..', 'Content', 'Icons')
# The first four are looked up by the DLL under these exact names.
NAMES = ['tag_action_light.ico', 'tag_action_dark.ico', 'auto_tag_action.ico',
         'check_mark_for_icon_overlay.ico', 'tag_favorites.ico', 'tag_family.ico',
         'tag_holiday.ico', 'tag_work.ico', 'tag_important.ico', 'tag_to_review.ico']
PNG_SIGNATURE = b'\x89PNG\r\n\x1a\n'


def read_entries(blob):
    reserved, kind, count = struct.unpack_from('<HHH', blob, 0)
    entries = [struct.unpack_from('<BBBBHHII', blob, 6 + 16 * i) for i in range(count)]
    return reserved, kind, entries


def dib_alpha(blob, offset, size):
    """Alpha of each pixel, top row first, and whether its AND-mask bit is set."""
    pixels = offset + 40
    mask = pixels + size * size * 4
    stride = (size + 31) // 32 * 4
    out = {}
    for y in range(size):
        row = size - 1 - y
        for x in range(size):
            alpha = blob[pixels + (row * size + x) * 4 + 3]
            bit = blob[mask + row * stride + x // 8] & (0x80 >> (x % 8))
            out[x, y] = (alpha, bool(bit))
    return out


class ShippedIconsTest(unittest.TestCase):
    def load(self, name):
        with open(os.path.join(ICON_DIR, name), 'rb') as fh:
            return fh.read()

    def test_directory_and_images(self):
        for name in NAMES:
            with self.subTest(name):
                blob = self.load(name)
                reserved, kind, entries = read_entries(blob)
                self.assertEqual((reserved, kind), (0, 1))
                self.assertEqual([(e[0], e[1]) for e in entries],
                                 [(s % 256, s % 256) for s in generate_icons.SIZES])
                end = 6 + 16 * len(entries)
                for (w, _h, colours, res, planes, bpp, length, offset), size in zip(
                        entries, generate_icons.SIZES):
                    self.assertEqual((colours, res, planes, bpp), (0, 0, 1, 32))
                    self.assertGreaterEqual(offset, end, 'images overlap')
                    self.assertLessEqual(offset + length, len(blob))
                    end = offset + length
                    image = blob[offset:offset + length]
                    if size == 256:
                        self.assertTrue(image.startswith(PNG_SIGNATURE))
                        ihdr = image[8:33]
                        self.assertEqual(ihdr[4:8], b'IHDR')
                        self.assertEqual(struct.unpack('>IIBB', ihdr[8:18]), (256, 256, 8, 6))
                        self.assertEqual(struct.unpack('>I', ihdr[21:25])[0],
                                         zlib.crc32(ihdr[4:21]) & 0xFFFFFFFF)
                    else:
                        header = struct.unpack_from('<IiiHHI', image, 0)
                        self.assertEqual(header, (40, size, 2 * size, 1, 32, 0))
                        self.assertEqual(length, 40 + size * size * 4 + (size + 31) // 32 * 4 * size)

    def test_check_mark_has_transparent_corners(self):
        blob = self.load('check_mark_for_icon_overlay.ico')
        _, _, entries = read_entries(blob)
        for entry, size in zip(entries, generate_icons.SIZES):
            if size == 256:
                continue
            with self.subTest(size):
                pixels = dib_alpha(blob, entry[7], size)
                last = size - 1
                for corner in ((0, 0), (last, 0), (0, last), (last, last)):
                    self.assertEqual(pixels[corner], (0, True))
                self.assertTrue(any(a == 255 for a, _ in pixels.values()))

    def test_preview_and_package_logo_are_png(self):
        root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
        for name, side in ((os.path.join('docs', 'icons_preview.png'), None), (generate_icons.LOGO, 256)):
            with self.subTest(name), open(os.path.join(root, name), 'rb') as fh:
                image = fh.read()
                self.assertTrue(image.startswith(PNG_SIGNATURE))
                if side:
                    self.assertEqual(struct.unpack('>II', image[16:24]), (side, side))


class DibEncoderTest(unittest.TestCase):
    def test_rows_bottom_up_and_mask_padded(self):
        # 20 px rows need mask padding to 32 bits; one opaque pixel pins row order.
        size = 20
        rgba = bytearray(size * size * 4)
        rgba[0:4] = bytes((255, 0, 0, 255))
        blob = icon_encoding.dib_bytes(size, bytes(rgba))
        self.assertEqual(len(blob), 40 + size * size * 4 + 4 * size)
        last_row = 40 + (size - 1) * size * 4
        self.assertEqual(blob[last_row:last_row + 4], bytes((0, 0, 255, 255)))
        pixels = dib_alpha(blob, 0, size)
        self.assertEqual(pixels[0, 0], (255, False))
        self.assertEqual(pixels[1, 0], (0, True))
        self.assertEqual(pixels[size - 1, size - 1], (0, True))


if __name__ == '__main__':
    unittest.main()
