#!/usr/bin/env python3
"""Writes the small fonts the tests load: one sound TrueType font with a
square 'A', copies damaged the ways real files get damaged, the same
wrapped as WOFF and gathered in a collection, and bitmap fonts that cannot
be used as they stand.

    python3 tools/make_test_fonts.py tests/data/fonts
"""
import struct
import sys
import zlib
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


def tables_of(font):
    count = struct.unpack(">H", font[4:6])[0]
    out = []
    for i in range(count):
        tag, _, offset, length = struct.unpack(">4sIII", font[12 + 16 * i:28 + 16 * i])
        out.append((tag, font[offset:offset + length]))
    return out


def woff(font, compress):
    """The same tables as WOFF 1.0, each stored or zlib-compressed."""
    tables = tables_of(font)
    directory, body = b"", b""
    offset = 44 + 20 * len(tables)
    for tag, data in tables:
        packed = zlib.compress(data) if compress else data
        if len(packed) >= len(data):
            packed = data
        directory += struct.pack(">4sIIII", tag, offset + len(body), len(packed), len(data), 0)
        body += packed + b"\0" * (-len(packed) % 4)
    total = 44 + len(directory) + len(body)
    header = struct.pack(">4sIIHHIHHIIIII", b"wOFF", 0x00010000, total, len(tables), 0,
                         len(font), 1, 0, 0, 0, 0, 0, 0)
    return header + directory + body


def collection(fonts):
    """A TrueType collection of `fonts`, each with its own tables."""
    header = struct.pack(">4sHHI", b"ttcf", 1, 0, len(fonts))
    offsets, body = [], b""
    start = 12 + 4 * len(fonts)
    for font in fonts:
        base = start + len(body)
        tables = tables_of(font)
        directory = font[:12]
        data = b""
        for tag, table in tables:
            at = base + 12 + 16 * len(tables) + len(data)
            directory += struct.pack(">4sIII", tag, 0, at, len(table))
            data += table + b"\0" * (-len(table) % 4)
        offsets.append(base)
        body += directory + data
    return header + b"".join(struct.pack(">I", o) for o in offsets) + body


def bdf(box, registry="ISO10646", encoding="1", ascent=7):
    return box.replace('CHARSET_REGISTRY "ISO10646"', f'CHARSET_REGISTRY "{registry}"') \
        .replace('CHARSET_ENCODING "1"', f'CHARSET_ENCODING "{encoding}"') \
        .replace("FONT_ASCENT 7", f"FONT_ASCENT {ascent}")


def zero_second_half(font, tag):
    """The font with the second half of table `tag` zeroed."""
    out = bytearray(font)
    for name, data in tables_of(font):
        if name == tag:
            start = font.index(data)
            out[start + len(data) // 2:start + len(data)] = bytes(len(data) - len(data) // 2)
    return bytes(out)


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
    past_end = build([0, 0, 400])
    (out / "square.woff").write_bytes(woff(sound, True))
    (out / "square_glyf_past_end.woff").write_bytes(woff(past_end, False))
    (out / "square_glyf_past_end_zlib.woff").write_bytes(woff(past_end, True))
    (out / "square_then_damaged.ttc").write_bytes(collection([sound, past_end]))
    # square.otf, the same square in CFF outlines, was made once with Debian's
    # fontTools (FontBuilder); it is checked in, and damaged here.
    otf = (out / "square.otf").read_bytes()
    (out / "square_cff_half.otf").write_bytes(zero_second_half(otf, b"CFF "))
    box = (out / "box8.bdf").read_text()
    (out / "box8_koi8.bdf").write_text(bdf(box, "KOI8", "R"))
    (out / "box8_huge_ascent.bdf").write_text(bdf(box, ascent=100000))


main()
