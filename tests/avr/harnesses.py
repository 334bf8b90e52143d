"""What each display looks like, in its preview and to its harness.

look_of() gives a display's geometry; gif_frames() reads a preview back
into frames of column bytes; watch() runs the display's harness on a
program and returns what a person would see, frame by frame, with any fault
the harness noticed. The program is a built sketch's ELF, or a flat flash
image as an uploader writes it or a simulated board holds it: a .hex
(Intel HEX) or a .bin (bytes from address 0); flat_image() makes the .bin
of an ELF. arduino_build() builds a sketch as the Arduino IDE does.
"""
import fcntl
import hashlib
import os
import re
import subprocess
from dataclasses import dataclass, field

from PIL import Image

# The boards' names for arduino-builder.
FQBN = {"uno": "arduino:avr:uno", "mega": "arduino:avr:mega:cpu=atmega2560"}


def arduino_build(ino, out, fqbn, cache, flags=(), warnings=True):
    """Builds the sketch INO with Debian's arduino-builder into OUT (its ELF
    is OUT/NAME.ino.elf): the exit status and what the builder said. CACHE
    keeps the compiled Arduino core for the next build for the same board
    and flags, which then compiles the sketch alone, in half the time.
    Builds that run at the same time may share a cache: the first build of
    a core for it runs alone, so that no other links a half-written one."""
    os.makedirs(out, exist_ok=True)
    os.makedirs(cache, exist_ok=True)
    # Debian's gcc-avr 5.4 lacks DECIMAL_DIG, which the core's WString.cpp uses.
    flags = " ".join(["-DDECIMAL_DIG=__DECIMAL_DIG__", *flags])

    def build():
        r = subprocess.run(
            ["arduino-builder", "-hardware", "/usr/share/arduino/hardware", "-hardware",
             "/usr/share/arduino-builder", "-tools", "/usr/bin", "-fqbn", fqbn, "-build-path", out,
             "-build-cache", cache, *(["-warnings", "all"] if warnings else []),
             f"-prefs=compiler.cpp.extra_flags={flags}", "-compile", ino],
            capture_output=True, text=True)
        return r.returncode, r.stdout + r.stderr

    # The core is compiled with the flags too: one cached core per board and flags.
    warm = os.path.join(cache, ".core-" + hashlib.sha1(f"{fqbn} {flags}".encode()).hexdigest())
    if os.path.exists(warm):
        return build()
    with open(os.path.join(cache, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        status, log = build()
        if status == 0:
            open(warm, "w").close()
    return status, log


# Each panel's glass: columns, and lines of 8 rows.
PANELS = {"ssd1306": (128, 8), "ssd1306x32": (128, 4), "sh1106": (128, 8),
          "ssd1306spi": (128, 8), "sh1106spi": (128, 8), "pcd8544": (84, 6)}


@dataclass
class Look:
    display: str
    modules: int
    columns: int
    lines: int
    paged_panel: bool
    panel: bool
    pitch: int
    dot: int
    border: int


def look_of(display, settings):
    panel = display in PANELS
    modules = int(settings.get("--modules", 1))
    if panel:
        columns, lines = PANELS[display]
        return Look(display, 1, columns, lines, "--page" in settings, True, 4, 4, 16)
    return Look(display, modules, modules * 8, 1, False, False, 8, 6, 8)


def gif_frames(path, look):
    """Each frame of the preview as hex column bytes, line after line."""
    with open(path, "rb") as f:
        head = f.read(19)
    lit = tuple(head[16:19])  # the global colour table's second entry
    im = Image.open(path)
    frames, durations = [], []
    for n in range(im.n_frames):
        im.seek(n)
        rgb = im.convert("RGB")
        cols = []
        for line in range(look.lines):
            for col in range(look.columns):
                gap = 0 if look.panel else (col // 8) * look.border
                x = look.border + col * look.pitch + gap + look.dot // 2
                byte = 0
                for row in range(8):
                    y = look.border + (line * 8 + row) * look.pitch + look.dot // 2
                    if rgb.getpixel((x, y)) == lit:
                        byte |= 1 << row
                cols.append(byte)
        frames.append(bytes(cols).hex())
        durations.append(im.info["duration"])
    return frames, durations


def pattern_frame(look):
    """The power-up pattern: an arrow in the leftmost cell of the line."""
    arrow = [0x01, 0x18, 0x18, 0x18, 0x18, 0x3C, 0x18, 0x00]
    display = [0] * (look.columns * look.lines)
    if look.panel and not look.paged_panel:
        middle = look.lines // 2  # rows 28..35 of 64: pages 3 and 4
        for x, b in enumerate(arrow):
            display[(middle - 1) * look.columns + x] = (b << 4) & 0xFF
            display[middle * look.columns + x] = b >> 4
    else:
        display[:8] = arrow
    return bytes(display).hex()


@dataclass
class Seen:
    frames: list = field(default_factory=list)  # (ms, hex)
    faults: list = field(default_factory=list)
    report: list = field(default_factory=list)
    # What each chip holds for brightness or contrast at the end: MAX7219
    # intensity and HT16K33 dimming 0..15 per module, OLED contrast 0..255,
    # LCD Vop 0..127.
    level: list = field(default_factory=list)


def run_harness(args):
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit(f"harness failed ({result.returncode}): {result.stderr}")
    return result.stdout.splitlines(), result.stderr


def flat_image(elf, path):
    """The flash an uploader would write for ELF, as bytes from address 0,
    in `path` (named .bin, for the harnesses)."""
    subprocess.run(["avr-objcopy", "-O", "binary", "-j", ".text", "-j", ".data", elf, path],
                   check=True, capture_output=True)
    return path


def flat_image_of_hex(hex_path, path):
    """An Intel HEX file as bytes from address 0, in `path`."""
    subprocess.run(["avr-objcopy", "-I", "ihex", "-O", "binary", hex_path, path], check=True,
                   capture_output=True)
    return path


def watch_max7219(harness_dir, program, mcu, settings, ms):
    out, err = run_harness([os.path.join(harness_dir, "max7219_harness"), program,
                            settings.get("--modules", "4"), settings["--board"], str(ms), mcu])
    seen = Seen()
    for line in out:
        words = line.split()
        if words and words[0] == "level":
            seen.level = [int(w) for w in words[1:]]
        if len(words) != 2 or not re.match(r"^\d+\.\d+$", words[0]):
            continue  # simavr's own words
        t, image = words
        if image != "off":
            seen.frames.append((float(t), image))
    for line in err.splitlines():
        if "latched" in line or "not an output" in line:
            seen.faults.append(line)
    return seen


def watch_i2c(harness_dir, program, mcu, settings, ms, device):
    if device == "ht16k33":
        wiring = settings.get("--board", "backpack")
        after = [settings["--address"]] if "--address" in settings else []
    else:
        wiring = settings.get("--address", "0x3c")
        after = ["flipped"] if settings.get("--board") == "flipped" else []
    out, _ = run_harness([os.path.join(harness_dir, "i2c_harness"), program, mcu, device,
                          settings.get("--modules", "1"), str(ms), wiring, *after])
    return seen_on_bus(out)


def watch_spi(harness_dir, program, mcu, settings, ms, device):
    mount = ["flipped"] if settings.get("--board") == "flipped" else []
    out, _ = run_harness([os.path.join(harness_dir, "spi_panel_harness"), program, mcu, device,
                          str(ms), *mount])
    return seen_on_bus(out)


def seen_on_bus(out):
    """What the bus harnesses' lines say: the glass's pictures, the panel's
    complaints and the longest write."""
    seen = Seen()
    bursts = []
    for line in out:
        words = line.split()
        if words[0] == "F" and words[2] not in ("off", "blink"):
            seen.frames.append((float(words[1]), words[2]))
        elif words[0] == "F" and words[2] == "blink":
            seen.faults.append("the display blinks")
        elif words[0] == "E":
            seen.faults.append("the panel says: " + " ".join(words[2:]))
        elif words[0] == "L":
            seen.level = [int(w) for w in words[1:]]
        elif words[0] == "B":
            bursts.append((float(words[2]) - float(words[1]), int(words[3])))
    if bursts:
        longest = max(bursts)
        seen.report.append(f"longest write {longest[0]:.2f} ms ({longest[1]} bytes on the bus)")
    return seen


# WS2812B, ns: T0H 400 +-150, T1H 800 +-150, T0L 850 +-150, T1L 450 +-150;
# newer parts take a frame after 280 us low, so 300 between frames.
T0H = (250, 550)
T1H = (650, 950)
TLOW = (300, 1000)
RESET_US = 300
LEAST_HZ = 100
LEAST_EVENNESS = 0.8


def watch_pins(harness_dir, program, mcu, settings, ms, display):
    out, _ = run_harness([os.path.join(harness_dir, "pins_harness"), program, mcu, display,
                          settings["--board"], settings.get("--modules", "1"), str(ms)])
    seen = Seen()
    lines = [l.split() for l in out]
    hz, evenness, ghosts = [], [], 0
    for r in (l for l in lines if l[0] == "R"):
        t, period, image = float(r[1]), float(r[2]), r[3]
        dimmest, brightest, ghost_count = float(r[4]), float(r[5]), int(r[6])
        seen.frames.append((t, image))
        hz.append(1e6 / period)
        if brightest > 0:
            evenness.append(dimmest / brightest)
        ghosts += ghost_count
        if 1e6 / period < LEAST_HZ:
            seen.faults.append(f"refresh at {t:.3f} ms: {1e6 / period:.1f} Hz")
        if brightest > 0 and dimmest < LEAST_EVENNESS * brightest:
            seen.faults.append(f"refresh at {t:.3f} ms: dimmest {dimmest} us of {brightest}")
        if ghost_count:
            seen.faults.append(f"refresh at {t:.3f} ms: {ghost_count} ghosts, up to {r[7]} us")
    if hz:
        seen.report.append(f"{len(hz)} refreshes at {min(hz):.1f} to {max(hz):.1f} Hz, dimmest "
                           f"lit LED {min(evenness or [1]):.3f} of the brightest, {ghosts} ghosts")
    timings = [l for l in lines if l[0] == "T"]
    for f in (l for l in lines if l[0] == "F"):
        seen.frames.append((float(f[1]), f[2]))
    margins = {"T0H": [], "T1H": [], "low": []}
    for t in timings:
        at = float(t[1])
        for name, got, window in (("T0H", (int(t[3]), int(t[4])), T0H),
                                  ("T1H", (int(t[5]), int(t[6])), T1H),
                                  ("low", (int(t[7]), int(t[8])), TLOW)):
            if got == (0, 0):
                continue
            margins[name].append(min(got[0] - window[0], window[1] - got[1]))
            if got[0] < window[0] or got[1] > window[1]:
                seen.faults.append(f"frame at {at:.3f} ms: {name} {got[0]}..{got[1]} ns "
                                   f"outside {window[0]}..{window[1]}")
        if float(t[9]) < RESET_US:
            seen.faults.append(f"frame at {at:.3f} ms: {t[9]} us low before it")
        if int(t[10]):
            seen.faults.append(f"frame at {at:.3f} ms: interrupts on while sending")
    if timings:
        seen.report.append(f"{len(timings)} WS2812 frames; least margin to the datasheet: " +
                           ", ".join(f"{k} {min(v)} ns" for k, v in margins.items() if v))
    return seen


WATCHERS = {
    "matrix": lambda *a: watch_pins(*a, "matrix"),
    "hc595": lambda *a: watch_pins(*a, "hc595"),
    "ws2812": lambda *a: watch_pins(*a, "ws2812"),
    "max7219": watch_max7219,
    "ht16k33": lambda *a: watch_i2c(*a, "ht16k33"),
    "ssd1306": lambda *a: watch_i2c(*a, "ssd1306"),
    "ssd1306x32": lambda *a: watch_i2c(*a, "ssd1306x32"),
    "sh1106": lambda *a: watch_i2c(*a, "sh1106"),
    "ssd1306spi": lambda *a: watch_spi(*a, "ssd1306"),
    "sh1106spi": lambda *a: watch_spi(*a, "sh1106"),
    "pcd8544": lambda *a: watch_spi(*a, "pcd8544"),
}

# The step the tests run at: short, but long enough for a display's write
# (a whole OLED screen takes about 42 ms at 400 kHz, the two lines of a
# scrolling one about 9.5 ms) and the harness's 1 ms of quiet that ends a
# frame.
def short_step(display, settings):
    if display in PANELS:
        return 60 if "--page" in settings else 15
    return 10


# What a display's chip must hold for --brightness N or --contrast N, and
# without them: the user's 0..15 is the LED drivers' own 16 steps and an
# OLED's contrast byte in steps of 17; an LCD's --contrast is its Vop.
LEVELS = {
    "max7219": ("--brightness", 1, 2),
    "ht16k33": ("--brightness", 1, 8),
    "pcd8544": ("--contrast", 1, 0x38),
    **{oled: ("--brightness", 17, 0xCF) for oled in PANELS if oled != "pcd8544"},
}


def level_faults(display, settings, seen):
    """What is wrong with the brightness or contrast the chips hold at the
    end, against the options `settings` gave."""
    if display not in LEVELS:
        return []
    option, scale, fallback = LEVELS[display]
    want = int(settings[option]) * scale if option in settings else fallback
    if not seen.level or any(v != want for v in seen.level):
        return [f"the chips hold {option[2:]} {seen.level or 'nothing'}, not {want}"]
    return []


def watch(harness_dir, display, program, mcu, settings, ms):
    """What `display`, as `settings` (glyph8-cli's options) wire it, shows
    in the first `ms` of simulated time of `program` (an ELF, .hex or .bin)
    on `mcu`."""
    return WATCHERS[display](harness_dir, program, mcu, settings, ms)
