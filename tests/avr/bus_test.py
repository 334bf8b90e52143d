#!/usr/bin/env python3
"""Builds a small sketch around one of the drivers of displays on a bus (I2C,
or an OLED's SPI), as the sketch writer lays one out, runs it on the bus's
harness (i2c_harness, spi_panel_harness) and checks what the panel showed:
every picture on the glass must be one the sketch meant, in order, with no
error from the panel.

    bus_test.py HARNESS WORK NAME --display ssd1306|sh1106|ht16k33|pcd8544
        [--bus i2c|spi] [--panel DEVICE] [--mcu uno|mega] [--mode page|scroll]
        [--modules N] [--define NAME=VALUE]... [--mutate OLD NEW]... [--plain]
        [--address A] [--ms N]

--panel plays another controller than the driver is for; --mutate replaces
text in the driver (to show that a fault is caught); --plain wires the
HT16K33 boards bit b to column b; --address puts the OLED at another
address. --display none builds the sketch with a driver that sends nothing,
to weigh the drivers against. Prints a summary line; exits 0 when the panel
showed what the sketch meant, 10 when it did not, anything else when the
check could not be made."""
import argparse
import os
import re
import subprocess
import sys

import harnesses

HERE = os.path.dirname(os.path.abspath(__file__))
DRIVERS = os.path.join(HERE, "..", "..", "output", "drivers")

ARROW = [0x01, 0x18, 0x18, 0x18, 0x18, 0x3C, 0x18, 0x00]
# The message: columns that differ all along, so that a shift by any amount
# shows.
MESSAGE = [(i * 37 + 11) & 0xFF for i in range(61)]
# Eight 8-px glyphs, none symmetric, for the lines of a screen.
GLYPHS = [
    [0x00, 0x3E, 0x51, 0x49, 0x45, 0x3E, 0x00, 0x00],
    [0x00, 0x00, 0x42, 0x7F, 0x40, 0x00, 0x00, 0x00],
    [0x00, 0x42, 0x61, 0x51, 0x49, 0x46, 0x00, 0x00],
    [0x00, 0x21, 0x41, 0x45, 0x4B, 0x31, 0x00, 0x00],
    [0x00, 0x18, 0x14, 0x12, 0x7F, 0x10, 0x00, 0x00],
    [0x00, 0x27, 0x45, 0x45, 0x45, 0x39, 0x00, 0x00],
    [0x00, 0x3C, 0x4A, 0x49, 0x49, 0x30, 0x00, 0x80],
    [0x01, 0x01, 0x71, 0x09, 0x05, 0x03, 0x00, 0x00],
]


# Reads what a driver would read and sends it nowhere: the sketch without
# a driver, to weigh the drivers against.
NO_DRIVER = """volatile byte sink;
void displayBegin() {}
void displayShow() {
#if defined(PAGED_PANEL) && PAGED_PANEL
    screenBegin();
    for (word i = 0; i < 1024; ++i) {
        sink = screenColumn();
    }
#else
    for (word i = 0; i < COLUMNS; ++i) {
        sink = frame[i];
    }
#endif
}
void displayRefresh() {}
"""


def table(name, values):
    return "const byte %s[] PROGMEM = {%s};\n" % (name, ", ".join("0x%02x" % v for v in values))


def screen(n, lines, width):
    """Screen n of the page test: 0 is the test pattern on line 0; then the
    panel's lines of glyphs, line p showing glyph (p + n) % 8, the cell n % 16
    of each line inverted."""
    out = []
    for page in range(lines):
        for c in range(width):
            if n == 0:
                out.append(ARROW[c] if page == 0 and c < 8 else 0)
                continue
            v = GLYPHS[(page + n) % 8][c % 8]
            out.append(v ^ 0xFF if c // 8 == n % 16 else v)
    return out


def strip(step, columns):
    if step == 0:
        return ARROW + [0] * (columns - 8)
    return [MESSAGE[(step + i) % len(MESSAGE)] for i in range(columns)]


def sketch(args, driver, columns):
    scroll = args.mode == "scroll"
    s = "// glyph8 %s driver test: %s\n" % (args.bus.upper(), args.name)
    s += "#define MODULES %d\n#define COLUMNS %d\n" % (args.modules, columns)
    s += "#define MOST_MODULES MODULES\n"
    s += "#ifndef STEP_MS\n#define STEP_MS %d\n#endif\n" % args.step
    s += "#ifndef TEST_PATTERN_MS\n#define TEST_PATTERN_MS 100\n#endif\n"
    if args.display != "ht16k33" and args.modules == 1:
        s += "#define PAGED_PANEL %d\n#define PANEL_LINES %d\n" % (0 if scroll else 1, args.lines)
        s += "#define HAS_SCREEN %d\n#define HAS_FRAME %d\n" % (0 if scroll else 1, 1 if scroll else 0)
    for d in args.define:
        name, _, value = d.partition("=")
        s += "#define %s %s\n" % (name, value)
    s += """#if defined(__AVR__)
#include <avr/pgmspace.h>
#else
#define PROGMEM
#define pgm_read_byte(p) (*(const uint8_t*)(p))
#define pgm_read_word(p) (*(const uint16_t*)(p))
#endif
byte frame[COLUMNS];
"""
    if not scroll:
        s += table("glyphs", sum(GLYPHS, []))
        s += """word screenNumber;
word screenAt;
void screenBegin() { screenAt = 0; }
byte screenColumn() {
    const byte page = screenAt / COLUMNS;
    const byte column = screenAt % COLUMNS;
    ++screenAt;
    if (screenNumber == 0) {
        return page == 0 && column < 8 ? frame[column] : 0;
    }
    byte v = pgm_read_byte(glyphs + ((page + screenNumber) & 7) * 8 + (column & 7));
    return (column >> 3) == (byte)(screenNumber & 15) ? v ^ 0xFF : v;
}
"""
    s += driver + "\n"
    s += table("message", MESSAGE)
    s += """const byte arrow[8] PROGMEM = {0x01, 0x18, 0x18, 0x18, 0x18, 0x3c, 0x18, 0x00};
word step;
unsigned long last;

void setup() {
    displayBegin();
    for (byte i = 0; i < 8; ++i) {
        frame[i] = pgm_read_byte(arrow + i);
    }
    displayShow();
    const unsigned long start = millis();
    while (millis() - start < TEST_PATTERN_MS) {
        displayRefresh();
    }
    last = millis();
}

void loop() {
    displayRefresh();
    if (millis() - last < STEP_MS) {
        return;
    }
    last += STEP_MS;
    ++step;
"""
    if scroll:
        s += """    for (word i = 0; i < COLUMNS; ++i) {
        frame[i] = pgm_read_byte(message + (step + i) % sizeof message);
    }
"""
    else:
        s += "    screenNumber = step;\n"
    s += "    displayShow();\n}\n"
    return s


def build(args, source):
    folder = os.path.join(args.work, args.name)
    os.makedirs(folder, exist_ok=True)
    ino = os.path.join(folder, args.name + ".ino")
    with open(ino, "w") as f:
        f.write(source)
    out = os.path.join(args.work, args.name + ".build")
    status, text = harnesses.arduino_build(ino, out, harnesses.FQBN[args.mcu],
                                           os.path.join(args.work, "core-cache"))
    if status != 0:
        print("%s: build failed\n%s" % (args.name, text), file=sys.stderr)
        sys.exit(2)
    # Warnings from the sketch itself (the core's own are not ours).
    warnings = [l for l in text.splitlines() if "warning" in l and args.name + ".ino" in l]
    flash = re.search(r"Sketch uses (\d+) bytes", text)
    ram = re.search(r"Global variables use (\d+) bytes", text)
    return (os.path.join(out, args.name + ".ino.elf"), warnings,
            int(flash.group(1)) if flash else -1, int(ram.group(1)) if ram else -1)


def expected(args, columns):
    """The pictures the sketch means, in order, as the harness prints them."""
    pics = []
    for step in range(400):
        if args.display == "ht16k33":
            pics.append("".join("%02x" % v for v in strip(step, columns)))
        elif args.mode == "scroll":
            cols = strip(step, columns)
            glass = [0] * (columns * args.lines)
            middle = args.lines // 2  # rows 28..35 of 64, 12..19 of 32
            for c in range(columns):
                glass[(middle - 1) * columns + c] = (cols[c] << 4) & 0xFF
                glass[middle * columns + c] = cols[c] >> 4
            pics.append("".join("%02x" % v for v in glass))
        else:
            pics.append("".join("%02x" % v for v in screen(step, args.lines, columns)))
    return pics


def main():
    p = argparse.ArgumentParser()
    p.add_argument("harness")
    p.add_argument("work")
    p.add_argument("name")
    p.add_argument("--display", required=True)
    p.add_argument("--bus", default="i2c", choices=["i2c", "spi"], help="an OLED's bus")
    p.add_argument("--panel")
    p.add_argument("--lines", type=int, help="a panel's lines of 8 rows: 8 or 4 on an OLED")
    p.add_argument("--mcu", default="uno")
    p.add_argument("--mode", default="page")
    p.add_argument("--modules", type=int, default=1)
    p.add_argument("--define", action="append", default=[])
    p.add_argument("--mutate", nargs=2, action="append", default=[])
    p.add_argument("--plain", action="store_true")
    p.add_argument("--address", help="the simulated OLED's address, 0x3c unless told")
    p.add_argument("--flipped", action="store_true", help="the OLED module mounted upside down")
    p.add_argument("--ms", type=float, default=0)
    args = p.parse_args()
    args.work = os.path.abspath(args.work)
    if args.display == "ht16k33":
        args.mode = "scroll"
    args.step = 250 if args.mode == "page" else 40
    oled = args.display in ("ssd1306", "sh1106") or (args.display == "none" and args.modules == 1)
    lcd = args.display == "pcd8544"  # on SPI, with a driver of its own
    if lcd:
        args.bus = "spi"
    args.lines = args.lines or (6 if lcd else 8)
    columns = 84 if lcd else 128 if oled else args.modules * 8
    if args.display == "none":
        driver = NO_DRIVER
    else:
        with open(os.path.join(DRIVERS, args.display + ".ino")) as f:
            driver = f.read()
        if oled:  # the bus's part and the part the two OLED drivers share follow each
            for part in ("oled_%s.ino" % args.bus, "oled.ino"):
                with open(os.path.join(DRIVERS, part)) as f:
                    driver += f.read()
    for old, new in args.mutate:
        if old not in driver:
            print("%s: %r is not in the driver" % (args.name, old), file=sys.stderr)
            sys.exit(2)
        driver = driver.replace(old, new)
    elf, warnings, flash, ram = build(args, sketch(args, driver, columns))
    if args.display == "none":
        print("%-28s %-4s flash %5d  ram %4d" % (args.name, args.mcu, flash, ram))
        return
    mcu = "atmega328p" if args.mcu == "uno" else "atmega2560"
    ms = args.ms or (100 + 6 * args.step + 150)
    run = [args.harness, elf, mcu, args.panel or args.display, str(args.modules), str(ms)]
    if args.bus == "spi":  # one module, and no address
        run = [args.harness, elf, mcu, args.panel or args.display, str(ms)]
        if args.flipped:
            run.append("flipped")
    elif args.display == "ht16k33":
        run.append("plain" if args.plain else "backpack")
    elif args.address or args.flipped:
        run.append(args.address or "0x3c")
        if args.flipped:
            run.append("flipped")
    r = subprocess.run(run, capture_output=True, text=True)
    lines = r.stdout.splitlines()
    with open(os.path.join(args.work, args.name + ".log"), "w") as f:
        f.write(r.stdout + r.stderr)
    problems = list(warnings)
    if r.returncode != 0:
        print("%s: the harness failed: %s" % (args.name, r.stderr.strip()), file=sys.stderr)
        sys.exit(2)
    problems += [l for l in lines if l.startswith("E ")][:3]
    pics = expected(args, columns)
    frames = [l.split() for l in lines if l.startswith("F ")]
    shown = [f[2] for f in frames[1:]]  # the first is the panel at power-up
    at = -1
    for picture in shown:
        if picture in pics[at + 1:]:
            at = pics.index(picture, at + 1)
        else:
            problems.append("unexpected picture at %s ms: %s..." % (
                frames[shown.index(picture) + 1][1], picture[:48]))
            break
    if at < 5:
        problems.append("only %d of the sketch's pictures shown" % (at + 1))
    bursts = [l.split() for l in lines if l.startswith("B ")]
    # The bursts of displayShow() after the first: the set-up's differ.
    shows = [float(b[2]) - float(b[1]) for b in bursts[2:]]
    show_ms = sum(shows) / len(shows) if shows else 0.0
    show_bytes = bursts[2][3] if len(bursts) > 2 else "-"
    print("%-28s %-4s %-5s show %6.2f ms %5s bytes  flash %5d  ram %4d  %s" % (
        args.name, args.mcu, "ok" if not problems else "FAIL", show_ms, show_bytes, flash, ram,
        "; ".join(problems)))
    sys.exit(10 if problems else 0)


main()
