#!/usr/bin/env python3
"""Checks spi_panel_harness with small sketches of its own, before any
driver exists. The OLED sketch pulses RES, sends an SSD1306's or SH1106's
set-up commands and one page of columns, then blanks the rest of the RAM;
the LCD sketch pulses RES, sets a PCD8544 up (extended instruction set for
Vop, temperature coefficient and bias, then the basic one for the display
mode) and fills its 6 banks of 84 columns, in horizontal or vertical
addressing. Each row of CASES and LCD_CASES builds one for an Uno or a
Mega, plain or with a fault planted, and says what the simulated panel must
make of it: the page shown with no error, or an error line (and, for most
faults, the page not shown), or the glass left dark.

    spi_panel_test.py HARNESS WORK

Exits 0 when every row came out as it says, 1 otherwise."""
import os
import subprocess
import sys

import harnesses

SKETCH = r"""
#include <SPI.h>
#if defined(__AVR_ATmega2560__)
const byte pinCs = 10, pinDc = 9, pinRes = 8, pinSck = 52, pinMosi = 51;
#else
const byte pinCs = 10, pinDc = 9, pinRes = 8, pinSck = 13, pinMosi = 11;
#endif

void send(byte b) {
#if USE_SHIFTOUT
    shiftOut(pinMosi, pinSck, MSBFIRST, b);
#else
    SPI.transfer(b);
#endif
}

void select(bool data) {
    digitalWrite(pinDc, (data != DC_INVERTED) ? HIGH : LOW);
#if !CS_NEVER_LOW
    digitalWrite(pinCs, LOW);
#endif
}

void deselect() { digitalWrite(pinCs, HIGH); }

const byte setupCommands[] = {0xAE, 0xD5, 0x80, 0xA8, X32 ? 0x1F : 0x3F, 0xD3, 0x00, 0x40,
#if SH1106
    0xAD, 0x8B,
#else
    0x8D, 0x14, 0x20, 0x02,
#endif
    0xA1, 0xC8, 0xDA, X32 ? 0x02 : 0x12, 0x81, 0xCF, 0xD9, 0xF1, 0xDB, 0x40, 0xA4, 0xA6, 0xAF};

void resetPulse() {
    pinMode(pinRes, OUTPUT);
    digitalWrite(pinRes, HIGH);
    delay(1);
    digitalWrite(pinRes, LOW);
    delayMicroseconds(RESET_US);
#if !RES_STAYS_LOW
    digitalWrite(pinRes, HIGH);
#endif
    delay(1);
}

void sendSetup() {
    select(false);
    for (byte i = 0; i < sizeof setupCommands; ++i) {
        send(setupCommands[i]);
    }
    deselect();
}

void setup() {
    pinMode(pinCs, OUTPUT);
    digitalWrite(pinCs, HIGH);
    pinMode(pinDc, OUTPUT);
#if USE_SHIFTOUT
    pinMode(pinSck, OUTPUT);
    pinMode(pinMosi, OUTPUT);
#else
    SPI.begin();
    SPI.beginTransaction(SPISettings(CLOCK_HZ, MSBFIRST, SPI_MODE0));
#endif
#if !NO_RESET
    resetPulse();
#endif
    sendSetup();
    for (byte page = 0; page < (X32 ? 4 : 8); ++page) {
        select(false);
        send(0xB0 | page);
        send(SH1106 ? 0x02 : 0x00);  // the SH1106's glass starts at column 2
        send(0x10);
        select(true);
        for (byte c = 0; c < 128; ++c) {
            send(page == 0 ? (byte)(c * 37 + 11) : 0);
        }
        deselect();
    }
#if RESET_AGAIN
    // RES puts the registers back (the panel goes dark) and keeps the RAM:
    // the set-up commands alone show the page again.
    delay(5);
    resetPulse();
    delay(5);
    sendSetup();
#endif
}

void loop() {}
"""

DEFAULTS = {"SH1106": 0, "X32": 0, "USE_SHIFTOUT": 0, "DC_INVERTED": 0, "CS_NEVER_LOW": 0,
            "NO_RESET": 0, "RES_STAYS_LOW": 0, "RESET_AGAIN": 0, "RESET_US": 20, "CLOCK_HZ": 4000000}

# name, board, panel, defines, what the panel must do: "page" for the page
# and no error line ("page, off, page" for those pictures in turn), else the
# start of the first error line's message.
CASES = [
    ("ssd1306_uno", "uno", "ssd1306", {}, "page"),
    ("ssd1306_8mhz_mega", "mega", "ssd1306", {"CLOCK_HZ": 8000000}, "page"),
    ("sh1106_uno", "uno", "sh1106", {"SH1106": 1}, "page"),
    ("sh1106_mega", "mega", "sh1106", {"SH1106": 1}, "page"),
    ("ssd1306x32_mega", "mega", "ssd1306x32", {"X32": 1}, "page"),
    ("shiftout_ssd1306_uno", "uno", "ssd1306", {"USE_SHIFTOUT": 1}, "page"),
    ("shiftout_sh1106_mega", "mega", "sh1106", {"SH1106": 1, "USE_SHIFTOUT": 1}, "page"),
    ("reset_again_sh1106_uno", "uno", "sh1106", {"SH1106": 1, "RESET_AGAIN": 1}, "page, off, page"),
    ("reset_again_ssd1306_mega", "mega", "ssd1306", {"RESET_AGAIN": 1}, "page, off, page"),
    ("no_reset_uno", "uno", "ssd1306", {"NO_RESET": 1}, "byte 0xae sent before RES"),
    ("reset_too_short_sh1106_mega", "mega", "sh1106", {"SH1106": 1, "RESET_US": 5},
     "byte 0xae sent before RES"),
    ("res_left_low_uno", "uno", "ssd1306", {"RES_STAYS_LOW": 1}, "byte 0xae sent while RES is low"),
    ("dc_inverted_mega", "mega", "ssd1306", {"DC_INVERTED": 1}, "command 0x"),
    ("sh1106_8mhz_uno", "uno", "sh1106", {"SH1106": 1, "CLOCK_HZ": 8000000},
     "SPI clock of 8000 kHz is past"),
    ("ssd1306_sketch_on_sh1106_uno", "uno", "sh1106", {}, "command 0x8d is not the SH1106's"),
]
# CS never lowered: the controller ignores every byte without a word (its
# datasheet: SCLK does nothing while CS is high), so the panel stays dark.
DARK = [("cs_never_low_uno", "uno", "ssd1306", {"CS_NEVER_LOW": 1})]

LCD_SKETCH = r"""
#include <SPI.h>
#if defined(__AVR_ATmega2560__)
const byte pinCe = 10, pinDc = 9, pinRst = 8, pinClk = 52, pinDin = 51;
#else
const byte pinCe = 10, pinDc = 9, pinRst = 8, pinClk = 13, pinDin = 11;
#endif
const int columns = 84, banks = 6, bytes = columns * banks;

void send(byte b) {
#if USE_SHIFTOUT
    shiftOut(pinDin, pinClk, MSBFIRST, b);
#else
    SPI.transfer(b);
#endif
}

void select(bool data) {
    digitalWrite(pinDc, (data != DC_INVERTED) ? HIGH : LOW);
    digitalWrite(pinCe, LOW);
}

void deselect() { digitalWrite(pinCe, HIGH); }

void resetPulse() {
    // RST high before it becomes an output: no pulse but the one meant.
    digitalWrite(pinRst, HIGH);
    pinMode(pinRst, OUTPUT);
    delay(1);
#if RESET_CYCLES
    // RST low for exactly RESET_CYCLES clock cycles (Uno: RST is PB0).
    const byte high = PORTB, low = PORTB & ~1;
    noInterrupts();
    asm volatile("out %0, %1\n\t"
#if RESET_CYCLES == 2
                 "nop\n\t"
#endif
                 "out %0, %2" ::"I"(_SFR_IO_ADDR(PORTB)), "r"(low), "r"(high));
    interrupts();
#else
    digitalWrite(pinRst, LOW);
    delayMicroseconds(20);
#if !RST_STAYS_LOW
    digitalWrite(pinRst, HIGH);
#endif
#endif
    delay(1);
}

void sendSetup() {
    select(false);
    send(0x21);  // chip active, horizontal addressing, extended instruction set
#if !NO_VOP
    send(0x80 | 0x3F);  // Vop
#endif
    send(0x04);  // temperature coefficient 0
    send(0x14);  // bias system 4
#if !H1_LEFT
    send(0x20 | (POWER_DOWN_LEFT ? 4 : 0) | (VERTICAL ? 2 : 0));  // basic instruction set
#endif
    send(DISPLAY_MODE);
    deselect();
}

// Column x of bank y: a different byte everywhere, so that any shift shows.
byte pixelsAt(int x, int y) { return (byte)(x * 37 + y * 101 + 11); }

// The bytes in the order the addressing mode walks the RAM; from the very
// last address when the sketch counts on the wrap to X = 0, Y = 0.
void sendPage(bool setAddress) {
    select(false);
    if (setAddress) {
        send(0x80 | (START_AT_END ? columns - 1 : 0));
        send(0x40 | (START_AT_END ? banks - 1 : 0));
    }
    select(true);
    for (int k = 0; k < bytes; ++k) {
        const int n = START_AT_END ? (k + bytes - 1) % bytes : k;
        send(VERTICAL ? pixelsAt(n / banks, n % banks) : pixelsAt(n % columns, n / columns));
    }
    deselect();
}

void setup() {
    pinMode(pinCe, OUTPUT);
    digitalWrite(pinCe, HIGH);
    pinMode(pinDc, OUTPUT);
#if USE_SHIFTOUT
    pinMode(pinClk, OUTPUT);
    pinMode(pinDin, OUTPUT);
#else
    SPI.begin();
    SPI.beginTransaction(SPISettings(CLOCK_HZ, MSBFIRST, SPI_MODE0));
#endif
#if !NO_RESET
    resetPulse();
#endif
    sendSetup();
    sendPage(true);
#if BAD_ADDRESS
    select(false);
    send(BAD_ADDRESS);
    deselect();
#endif
#if RESET_AGAIN
    delay(5);
    // The address counter away from 0, 0: only RES puts it back.
    select(false);
    send(0x80 | 5);
    send(0x42);
    deselect();
    resetPulse();
    delay(5);
    sendSetup();
#if !NO_REWRITE
    sendPage(false);
#endif
#endif
}

void loop() {}
"""

LCD_DEFAULTS = {"USE_SHIFTOUT": 0, "DC_INVERTED": 0, "NO_RESET": 0, "RST_STAYS_LOW": 0,
                "RESET_CYCLES": 0, "RESET_AGAIN": 0, "NO_REWRITE": 0, "NO_VOP": 0, "H1_LEFT": 0,
                "POWER_DOWN_LEFT": 0, "VERTICAL": 0, "START_AT_END": 0, "DISPLAY_MODE": "0x0C",
                "BAD_ADDRESS": 0, "CLOCK_HZ": 2000000}

# As CASES, for the PCD8544; besides "page": "inverse" and "all on" for
# those pictures, "off" for the glass left dark with no error line, and
# "page, off, noise" for a RAM that RES left undefined.
LCD_CASES = [
    ("pcd8544_uno", "uno", {}, "page"),
    ("pcd8544_mega", "mega", {}, "page"),
    ("pcd8544_4mhz_mega", "mega", {"CLOCK_HZ": 4000000}, "page"),
    ("pcd8544_shiftout_uno", "uno", {"USE_SHIFTOUT": 1}, "page"),
    ("pcd8544_vertical_uno", "uno", {"VERTICAL": 1}, "page"),
    ("pcd8544_wrap_mega", "mega", {"START_AT_END": 1}, "page"),
    ("pcd8544_vertical_wrap_uno", "uno", {"VERTICAL": 1, "START_AT_END": 1}, "page"),
    ("pcd8544_inverse_mega", "mega", {"DISPLAY_MODE": "0x0D"}, "inverse"),
    ("pcd8544_all_on_uno", "uno", {"DISPLAY_MODE": "0x09"}, "all on"),
    ("pcd8544_reset_125ns_uno", "uno", {"RESET_CYCLES": 2}, "page"),
    ("pcd8544_reset_again_mega", "mega", {"RESET_AGAIN": 1}, "page, off, page"),
    ("pcd8544_ram_after_reset_uno", "uno", {"RESET_AGAIN": 1, "NO_REWRITE": 1}, "page, off, noise"),
    ("pcd8544_no_reset_uno", "uno", {"NO_RESET": 1}, "byte 0x21 sent before RES"),
    ("pcd8544_reset_62ns_uno", "uno", {"RESET_CYCLES": 1}, "byte 0x21 sent before RES"),
    ("pcd8544_rst_left_low_mega", "mega", {"RST_STAYS_LOW": 1}, "byte 0x21 sent while RES is low"),
    ("pcd8544_dc_reversed_mega", "mega", {"DC_INVERTED": 1}, "command 0x"),
    ("pcd8544_power_down_left_uno", "uno", {"POWER_DOWN_LEFT": 1}, "off"),
    ("pcd8544_h1_left_mega", "mega", {"H1_LEFT": 1},
     "command 0x0c is not the PCD8544's with H = 1"),
    ("pcd8544_vop_never_set_uno", "uno", {"NO_VOP": 1}, "off"),
    ("pcd8544_blank_mega", "mega", {"DISPLAY_MODE": "0x08"}, "off"),
    ("pcd8544_8mhz_uno", "uno", {"CLOCK_HZ": 8000000}, "SPI clock of 8000 kHz is past the PCD8544's"),
    ("pcd8544_x_84_mega", "mega", {"BAD_ADDRESS": "0xD4"}, "X address 84 is past"),
    ("pcd8544_y_6_uno", "uno", {"BAD_ADDRESS": "0x46"}, "Y address 6 is past"),
]


def build(work, name, board, defines, sketch=SKETCH, defaults=None):
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    values = dict(DEFAULTS if defaults is None else defaults, **defines)
    with open(os.path.join(folder, name + ".ino"), "w") as f:
        f.write("".join("#define %s %s\n" % kv for kv in values.items()) + sketch)
    out = os.path.join(work, name + ".build")
    status, text = harnesses.arduino_build(os.path.join(folder, name + ".ino"), out,
                                           harnesses.FQBN[board], os.path.join(work, "core-cache"),
                                           warnings=False)
    if status != 0:
        print("%s: build failed\n%s" % (name, text), file=sys.stderr)
        sys.exit(2)
    return os.path.join(out, name + ".ino.elf")


def play(harness, work, name, board, panel, defines):
    if panel == "pcd8544":
        elf = build(work, name, board, defines, LCD_SKETCH, LCD_DEFAULTS)
    else:
        elf = build(work, name, board, defines)
    mcu = "atmega328p" if board == "uno" else "atmega2560"
    r = subprocess.run([harness, elf, mcu, panel, "300"], capture_output=True, text=True)
    if r.returncode != 0:
        print("%s: the harness failed: %s" % (name, r.stderr.strip()), file=sys.stderr)
        sys.exit(2)
    lines = r.stdout.splitlines()
    frames = [l.split()[2] for l in lines if l.startswith("F ")]
    errors = [l.split(None, 2)[2] for l in lines if l.startswith("E ")]
    return frames, errors


def page(panel):
    lines = 4 if panel == "ssd1306x32" else 8
    return "".join("%02x" % ((c * 37 + 11) & 255) for c in range(128)) + "00" * 128 * (lines - 1)


def lcd_page(invert=0):
    """The LCD sketch's picture, bank after bank."""
    return "".join("%02x" % (((x * 37 + y * 101 + 11) & 255) ^ invert) for y in range(6)
                   for x in range(84))


def lcd_shown(frames, want):
    if want == "page, off, page":
        return frames[1:] == [lcd_page(), "off", lcd_page()]
    if want == "page, off, noise":
        return frames[1:3] == [lcd_page(), "off"] and frames[-1] not in ("off", lcd_page())
    return frames[-1] == {"page": lcd_page(), "inverse": lcd_page(0xFF), "all on": "ff" * 504,
                          "off": "off"}[want]


def main():
    harness, work = sys.argv[1], os.path.abspath(sys.argv[2])
    failed = 0
    for name, board, panel, defines, want in CASES:
        frames, errors = play(harness, work, name, board, panel, defines)
        glass = frames[-1]
        shown = glass == page(panel)
        if want == "page":
            ok = shown and not errors
        elif want == "page, off, page":
            ok = frames[1:] == [page(panel), "off", page(panel)] and not errors
        else:
            ok = bool(errors) and errors[0].startswith(want)
        print("%-30s %-4s %s  glass %s; %s" % (name, board, "ok  " if ok else "FAIL",
                                              "the page" if shown else glass[:16],
                                              "; ".join(errors[:2]) or "no error"))
        failed += not ok
    for name, board, panel, defines in DARK:
        frames, errors = play(harness, work, name, board, panel, defines)
        glass = frames[-1]
        ok = glass == "off" and not errors
        print("%-30s %-4s %s  glass %s" % (name, board, "ok  " if ok else "FAIL", glass[:16]))
        failed += not ok
    for name, board, defines, want in LCD_CASES:
        frames, errors = play(harness, work, name, board, "pcd8544", defines)
        glass = frames[-1]
        if want in ("page", "inverse", "all on", "off", "page, off, page", "page, off, noise"):
            ok = lcd_shown(frames, want) and not errors
        else:
            ok = bool(errors) and errors[0].startswith(want)
        print("%-30s %-4s %s  glass %s; %s" % (name, board, "ok  " if ok else "FAIL",
                                              "the page" if glass == lcd_page() else glass[:16],
                                              "; ".join(errors[:2]) or "no error"))
        failed += not ok
    sys.exit(1 if failed else 0)


main()
