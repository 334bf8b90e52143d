"""A message on MAX7219 modules, end to end: glyph8-cli writes the sketch
and its preview; the sketch is built against Debian's Arduino core as the
Arduino IDE builds it and run on a simulated Uno; the frames the chips were
sent must be the preview's, frame for frame, and fit an Uno.

    matrix_test.py CLI HARNESS CORE_DIR WORK_DIR NAME [OPTIONS...] -- TEXT
OPTIONS are glyph8-cli's (--modules, --board, --scroll, --page) and, for
the build, -DNAME=VALUE. --real-time keeps the sketch's own step and checks
the time between frames; --glyph-of CHAR checks that the first page shows
CHAR's columns as glyph8-cli --each draws them.
"""
import os
import re
import subprocess
import sys

from PIL import Image

AVR = "/usr/share/arduino/hardware/arduino/avr"


def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, **kw)


def gif_frames(path, modules):
    """The display of each frame of the preview: column bytes, from the LEDs' centres."""
    im = Image.open(path)
    frames, durations = [], []
    for n in range(im.n_frames):
        im.seek(n)
        rgb = im.convert("RGB")
        cols = []
        for col in range(modules * 8):
            x = 8 + col * 8 + (col // 8) * 8 + 3
            byte = 0
            for row in range(8):
                if rgb.getpixel((x, 8 + row * 8 + 3)) == (0xFF, 0x30, 0x20):
                    byte |= 1 << row
            cols.append(byte)
        frames.append(bytes(cols).hex())
        durations.append(im.info["duration"])
    return frames, durations


def main():
    cli, harness, core, work, name = sys.argv[1:6]
    rest = sys.argv[6:]
    split = rest.index("--")
    options, text = rest[:split], rest[split + 1]
    defines = [o for o in options if o.startswith("-D")]
    real_time = "--real-time" in options
    glyph_of = options[options.index("--glyph-of") + 1] if "--glyph-of" in options else None
    cli_options = [o for o in options if not o.startswith("-D") and o != "--real-time"]
    if glyph_of:
        cli_options = cli_options[: cli_options.index("--glyph-of")]
    modules = int(cli_options[cli_options.index("--modules") + 1]) if "--modules" in cli_options else 4
    board = cli_options[cli_options.index("--board") + 1] if "--board" in cli_options else "fc16"
    os.makedirs(work, exist_ok=True)
    base = os.path.join(work, name)

    sketch = run([cli, "--sketch", *cli_options, text]).stdout
    with open(base + ".gif", "wb") as f:
        f.write(run([cli, "--preview", *cli_options, text]).stdout)
    # As the IDE does: Arduino.h first, then the sketch as written.
    with open(base + ".cpp", "wb") as f:
        f.write(b'#include <Arduino.h>\n#line 1 "' + name.encode() + b'.ino"\n' + sketch)
    flags = ["-mmcu=atmega328p", "-DF_CPU=16000000L", "-DARDUINO=10813", "-DARDUINO_AVR_UNO",
             "-DARDUINO_ARCH_AVR", f"-I{AVR}/cores/arduino", f"-I{AVR}/variants/standard"]
    step = None
    if not real_time:
        defines += ["-DSTEP_MS=10", "-DTEST_PATTERN_MS=10"]
    run(["avr-g++", "-c", "-g", "-Os", "-Wall", "-Wextra", "-Werror", "-std=gnu++11", "-fpermissive",
         "-fno-exceptions", "-ffunction-sections", "-fdata-sections", "-fno-threadsafe-statics",
         "-flto", *flags, *defines, base + ".cpp", "-o", base + ".o"])
    run(["avr-gcc", "-Os", "-g", "-flto", "-fuse-linker-plugin", "-Wl,--gc-sections",
         "-mmcu=atmega328p", "-o", base + ".elf", base + ".o", os.path.join(core, "core.a"), "-lm"])

    # What it needs, against what glyph8 said it would.
    sizes = run(["avr-size", "-A", base + ".elf"]).stdout.decode()
    section = {m[0]: int(m[1]) for m in re.findall(r"^\.(\w+)\s+(\d+)", sizes, re.M)}
    flash = section.get("text", 0) + section.get("data", 0)
    ram = section.get("data", 0) + section.get("bss", 0)
    said = re.search(rb"About (\d+) bytes of flash .* and (\d+) bytes of RAM", sketch)
    said_flash, said_ram = int(said[1]), int(said[2])
    print(f"{name}: flash {flash} (said {said_flash}), RAM {ram} (said {said_ram})")
    failures = []
    if not (flash <= said_flash <= flash + 512) or not (ram <= said_ram <= ram + 64):
        failures.append("sizes out of line with what the sketch says of them")

    expected, durations = gif_frames(base + ".gif", modules)
    step = durations[0] if real_time else 10
    pattern = 2000 if real_time else 10
    cycles = 2 if len(expected) < 60 else 1
    ms = 20 + pattern + (len(expected) * cycles + 2) * max(step, 8) * 1.5
    out = run([harness, base + ".elf", str(modules), board, str(ms)]).stdout.decode().split("\n")
    lines = [l.split() for l in out if re.match(r"^\d+\.\d+ ", l)]
    shown = [l for l in lines if l[1] != "off"]
    if not shown:
        failures.append("the chips never showed anything (never out of shutdown?)")
    else:
        pattern_frame = ("0118181818" "3c1800").ljust(modules * 16, "0")
        if shown[0][1] != pattern_frame:
            failures.append(f"the test pattern reads {shown[0][1]}, not {pattern_frame}")
        got = [l[1] for l in shown[1:]]
        want = (expected * (cycles + 1))[: len(got)]
        if len(got) < len(expected) * cycles:
            failures.append(f"only {len(got)} frames of {len(expected) * cycles} were shown")
        for i, (g, w) in enumerate(zip(got, want)):
            if g != w:
                failures.append(f"frame {i}: the board shows {g}, the preview {w}")
                break
        if real_time:
            times = [float(l[0]) for l in shown[1:]]
            gaps = [b - a for a, b in zip(times, times[1:])]
            off = [g for g in gaps if abs(g - step) > 1.0]
            print(f"{name}: {len(gaps)} intervals, {min(gaps):.2f} to {max(gaps):.2f} ms, step {step} ms")
            if off:
                failures.append(f"frames {off[0]:.2f} ms apart, not {step}")
    if glyph_of:
        table = run([cli, "--each", "--hex", glyph_of]).stdout.decode()
        values = re.findall(r"0x([0-9A-F]{2})", table)
        want = "".join(values).lower()
        if not expected[0].startswith(want):
            failures.append(f"the first page is {expected[0]}, {glyph_of} is {want}")
    print(f"{name}: {len(shown) - 1} frames checked against {len(expected)} in the preview")
    for f in failures:
        print(f"FAIL {name}: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
