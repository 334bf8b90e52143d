#!/usr/bin/env python3
"""Checks spi_panel_harness with a small sketch of its own, before any SPI
OLED driver exists: the sketch pulses RES, sends an SSD1306's or SH1106's
set-up commands and one page of columns, then blanks the rest of the RAM.
Each row of CASES builds it for an Uno or a Mega, plain or with a fault
planted, and says what the simulated panel must make of it: the page shown
with no error, or an error line (and, for most faults, the page not shown).

    spi_panel_test.py HARNESS WORK

Exits 0 when every row came out as it says, 1 otherwise."""
import os
import subprocess
import sys

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


def build(work, name, board, defines):
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    values = dict(DEFAULTS, **defines)
    with open(os.path.join(folder, name + ".ino"), "w") as f:
        f.write("".join("#define %s %s\n" % kv for kv in values.items()) + SKETCH)
    out = os.path.join(work, name + ".build")
    os.makedirs(out, exist_ok=True)
    fqbn = "arduino:avr:uno" if board == "uno" else "arduino:avr:mega:cpu=atmega2560"
    r = subprocess.run(
        ["arduino-builder", "-hardware", "/usr/share/arduino/hardware", "-hardware",
         "/usr/share/arduino-builder", "-tools", "/usr/bin", "-fqbn", fqbn, "-build-path", out,
         "-prefs=compiler.cpp.extra_flags=-DDECIMAL_DIG=__DECIMAL_DIG__", "-compile",
         os.path.join(folder, name + ".ino")],
        capture_output=True, text=True)
    if r.returncode != 0:
        print("%s: build failed\n%s" % (name, r.stdout + r.stderr), file=sys.stderr)
        sys.exit(2)
    return os.path.join(out, name + ".ino.elf")


def play(harness, work, name, board, panel, defines):
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
    sys.exit(1 if failed else 0)


main()
