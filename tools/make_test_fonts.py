#!/usr/bin/env python3
"""Writes the small TrueType fonts the tests load: one sound font with a
square 'A', and copies damaged the ways real files get damaged.

    python3 tools/make_test_fonts.py tests/data/fonts
"""
import struct
import sys
from pathlib import Path


def glyph_square():
    # One contour, four on-curve points, clockwise: x 100..600, y 0..700.
    xs, ys = [100, 100, 600, 600], [0, 700, 700, 0]
    out = struct.pack(">hhhhh", 1, 100, 0, 600, 700)
    out += struct.pack(">HH", 3, 0) + bytes([1, 1, 1, 1])
    prev = 0
    for x in xs:
        out += struct.pack(">h", x - prev)
        prev = x
    prev = 0
    for y in ys:
        out += struct.pack(">h", y - prev)
        prev = y
    return out


def build(loca_override=None, glyf=None):
    glyf = glyf or glyph_square()
    loca_entries = loca_override or [0, 0, len(glyf)]
    tables = {
        # The creation date holds Ctrl+Z and CR LF, as real fonts do here and
        # there: a reader in text mode stops or loses a byte there.
        b"head": struct.pack(">IIIIHHQqhhhhHHhhh", 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0x000B,
                             1000, 0x1A0D0A1A0D0A0000, 0, 0, -200, 700, 800, 0, 8, 2, 0, 0),
        b"hhea": struct.pack(">IhhhHhhhhhhhhhhhH", 0x00010000, 800, -200, 0, 700, 0, 0, 600, 1, 0,
                             0, 0, 0, 0, 0, 0, 2),
        b"maxp": struct.pack(">IHHHHHHHHHHHHHH", 0x00010000, 2, 4, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0,
                             0, 0),
        b"hmtx": struct.pack(">HhHh", 500, 0, 700, 100),
        b"loca": b"".join(struct.pack(">H", e // 2) for e in loca_entries),
        b"glyf": glyf,
    }
    # cmap: one Windows Unicode map, format 4, a segment for 'A' (glyph 1)
    # and the closing one: endCode, pad, startCode, idDelta, idRangeOffset.
    seg = struct.pack(">HH", 0x41, 0xFFFF) + struct.pack(">H", 0) + struct.pack(">HH", 0x41, 0xFFFF)
    seg += struct.pack(">HH", (1 - 0x41) & 0xFFFF, 1) + struct.pack(">HH", 0, 0)
    sub = struct.pack(">HHHHHHH", 4, 14 + len(seg), 0, 4, 4, 1, 0) + seg
    tables[b"cmap"] = struct.pack(">HHHHI", 0, 1, 3, 1, 12) + sub
    tags = sorted(tables)
    offset = 12 + 16 * len(tags)
    directory = struct.pack(">IHHHH", 0x00010000, len(tags), 64, 2, len(tags) * 16 - 64)
    body = b""
    for tag in tags:
        data = tables[tag]
        directory += struct.pack(">4sIII", tag, 0, offset + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    return directory + body


def main():
    out = Path(sys.argv[1])
    sound = build()
    (out / "square.ttf").write_bytes(sound)
    (out / "square_cut.ttf").write_bytes(sound[: len(sound) // 2])
    (out / "square_loca_order.ttf").write_bytes(build([0, 34, 0]))
    (out / "square_glyf_past_end.ttf").write_bytes(build([0, 0, 400]))
    # The glyph claims 200 points but holds the data of 4.
    broken = bytearray(glyph_square())
    broken[10:12] = struct.pack(">H", 199)
    (out / "square_bad_glyph.ttf").write_bytes(build(None, bytes(broken)))


main()
