"""What each display looks like, in its preview and to its harness.

look_of() gives a display's geometry; gif_frames() reads a preview back
into frames of column bytes; watch() runs the display's harness on a built
sketch and returns what a person would see, frame by frame, with any fault
the harness noticed.
"""
import os
import re
import subprocess
from dataclasses import dataclass, field

from PIL import Image

PANELS = {"ssd1306", "sh1106"}


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
        return Look(display, 1, 128, 8, "--page" in settings, True, 4, 4, 16)
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
        for x, b in enumerate(arrow):  # rows 28..35: pages 3 and 4
            display[3 * 128 + x] = (b << 4) & 0xFF
            display[4 * 128 + x] = b >> 4
    else:
        display[:8] = arrow
    return bytes(display).hex()


@dataclass
class Seen:
    frames: list = field(default_factory=list)  # (ms, hex)
    faults: list = field(default_factory=list)
    report: list = field(default_factory=list)


def run_harness(args):
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit(f"harness failed ({result.returncode}): {result.stderr}")
    return result.stdout.splitlines(), result.stderr


def watch_max7219(harness_dir, elf, mcu, settings, ms):
    out, err = run_harness([os.path.join(harness_dir, "max7219_harness"), elf,
                            settings.get("--modules", "4"), settings["--board"], str(ms), mcu])
    seen = Seen()
    for line in out:
        words = line.split()
        if len(words) != 2 or not re.match(r"^\d+\.\d+$", words[0]):
            continue  # simavr's own words
        t, image = words
        if image != "off":
            seen.frames.append((float(t), image))
    if "latched" in err:
        seen.faults.append(err.strip().splitlines()[0])
    return seen


def watch_i2c(harness_dir, elf, mcu, settings, ms, device):
    wiring = settings.get("--board", "backpack") if device == "ht16k33" else "0x3c"
    out, _ = run_harness([os.path.join(harness_dir, "i2c_harness"), elf, mcu, device,
                          settings.get("--modules", "1"), str(ms), wiring])
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
        elif words[0] == "B":
            bursts.append((float(words[2]) - float(words[1]), int(words[3])))
    if bursts:
        longest = max(bursts)
        seen.report.append(f"longest write {longest[0]:.2f} ms ({longest[1]} bytes on the bus)")
    return seen


WATCHERS = {
    "max7219": watch_max7219,
    "ht16k33": lambda *a: watch_i2c(*a, "ht16k33"),
    "ssd1306": lambda *a: watch_i2c(*a, "ssd1306"),
    "sh1106": lambda *a: watch_i2c(*a, "sh1106"),
}

# The step the tests run at: short, but long enough for a display's write
# (a whole OLED screen takes about 42 ms at 400 kHz) and the harness's
# 1 ms of quiet that ends a frame.
SHORT_STEP = {"ssd1306": 60, "sh1106": 60}


def watch(harness_dir, display, elf, mcu, settings, ms):
    return WATCHERS[display](harness_dir, elf, mcu, settings, ms)
