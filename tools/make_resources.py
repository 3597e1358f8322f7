#!/usr/bin/env python3
"""Draws Zerva's icons and logo (Python standard library only) into the build folder.

make_resources.py <output folder> writes zerva.ico (the application, resource 101),
tray_idle.ico, tray_one.ico, tray_all.ico (no server, one server, both servers running:
102-104) and logo.png (the sidebar logo, resource 201). The drawing is a rounded square with a
white "Z", supersampled so the edges are smooth at every size.
"""
import struct
import sys
import zlib
from pathlib import Path

SAMPLES = 4  # per axis, per pixel


def coverage(x, y, size):
    """0..1 coverage of the shape at a point in a size x size square: (background, letter)."""
    radius = size * 0.22
    # Rounded square: distance from the inner rectangle.
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    inside = (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
    if not inside:
        return 0.0, 0.0
    left, right = size * 0.26, size * 0.74
    top, bottom = size * 0.24, size * 0.76
    bar = size * 0.12
    letter = False
    if left <= x <= right and (top <= y <= top + bar or bottom - bar <= y <= bottom):
        letter = True
    elif top + bar <= y <= bottom - bar:
        # The diagonal from the top bar's right end to the bottom bar's left end.
        t = (y - (top + bar)) / ((bottom - bar) - (top + bar))
        centre = right - t * (right - left) - bar * 0.2 * (1 - 2 * t)
        letter = abs(x - centre) <= bar * 0.9
    return 1.0, 1.0 if letter else 0.0


def draw(size, colour):
    """RGBA rows, top row first."""
    rows = []
    step = 1.0 / SAMPLES
    for py in range(size):
        row = bytearray()
        for px in range(size):
            shape = letter = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    s, l = coverage(px + (sx + 0.5) * step, py + (sy + 0.5) * step, size)
                    shape += s
                    letter += l
            n = SAMPLES * SAMPLES
            shape /= n
            letter /= n
            if shape == 0:
                row += b"\0\0\0\0"
                continue
            mix = letter / shape
            r, g, b = (round(c * (1 - mix) + 255 * mix) for c in colour)
            row += bytes((r, g, b, round(255 * shape)))
        rows.append(bytes(row))
    return rows


def png(rows, size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib(rows, size):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), BGRA bottom-up, then the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(row[i + 2:i + 3] + row[i + 1:i + 2] + row[i:i + 1] + row[i + 3:i + 4])
                      for row in reversed(rows) for i in range(0, len(row), 4))
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + b"\0" * (mask_row * size)


def ico(colour, sizes=(16, 20, 24, 32, 48, 64, 256)):
    images = []
    for size in sizes:
        rows = draw(size, colour)
        # Small sizes as DIBs (every loader reads them), the large one as PNG (Vista and later).
        images.append((size, png(rows, size) if size >= 256 else dib(rows, size)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    brand = (46, 125, 222)
    files = {
        "zerva.ico": ico(brand),
        "tray_idle.ico": ico((128, 128, 128), (16, 20, 24, 32)),
        "tray_one.ico": ico((226, 150, 30), (16, 20, 24, 32)),
        "tray_all.ico": ico((46, 160, 80), (16, 20, 24, 32)),
        "logo.png": png(draw(96, brand), 96),
    }
    for name, data in files.items():
        target = out / name
        temp = target.with_suffix(target.suffix + ".tmp")
        temp.write_bytes(data)
        temp.replace(target)


if __name__ == "__main__":
    main()
