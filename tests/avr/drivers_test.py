"""Each display driver in a sketch put together as the sketch writer does,
built for an Uno and a Mega with arduino-builder, run in pins_harness and
checked against what a person must see: the frames in order, no flicker,
even brightness, no ghost, WS2812 pulses inside the datasheet's windows.

    drivers_test.py HARNESS DRIVERS_DIR WORK_DIR matrix|hc595|ws2812
"""
import os
import subprocess
import sys

BOARDS = {
    "atmega328p": "arduino:avr:uno",
    "atmega2560": "arduino:avr:mega:cpu=atmega2560",
}
# Frames the sketch steps through, module m showing FRAMES[(step + m) % 4].
PATTERN = [0x01, 0x18, 0x18, 0x18, 0x18, 0x3C, 0x18, 0x00]
FRAMES = [
    PATTERN,
    [0xFF, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0xFF],
    [0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80],
    [0x00] * 8,
]
STEP_MS = 300
TEST_PATTERN_MS = 200
SIMULATED_MS = 1300  # the test pattern and three steps
# What a person would accept, as the display tests judge it too.
from harnesses import LEAST_EVENNESS, LEAST_HZ, RESET_US, T0H, T1H, TLOW, arduino_build  # noqa: E402,E501
MOST_INTERRUPTS_OFF_US = 50

SKELETON_HEAD = """// driver test sketch
#define MODULES {modules}
#define COLUMNS (MODULES * 8)
#define MOST_MODULES MODULES
#ifndef STEP_MS
#define STEP_MS {step}
#endif
#ifndef TEST_PATTERN_MS
#define TEST_PATTERN_MS {pattern_ms}
#endif
{defines}
#if defined(__AVR__)
#include <avr/pgmspace.h>
#else
#define PROGMEM
#define pgm_read_byte(p) (*(const uint8_t*)(p))
#define pgm_read_word(p) (*(const uint16_t*)(p))
#endif
byte frame[COLUMNS];
"""
SKELETON_TAIL = """
const byte FRAMES[][8] PROGMEM = {{
{frames}
}};
byte step = 0;
unsigned long stepAt;
void setup() {{
  displayBegin();
  for (byte i = 0; i < 8; ++i) {{
    frame[i] = pgm_read_byte(&FRAMES[0][i]);
  }}
  displayShow();
  const unsigned long start = millis();
  while (millis() - start < TEST_PATTERN_MS) {{
    displayRefresh();
  }}
  stepAt = millis();
}}
void loop() {{
  displayRefresh();
  if (millis() - stepAt >= STEP_MS) {{
    stepAt += STEP_MS;
    step = (step + 1) % 4;
    for (byte m = 0; m < MODULES; ++m) {{
      for (byte i = 0; i < 8; ++i) {{
        frame[m * 8 + i] = pgm_read_byte(&FRAMES[(step + m) % 4][i]);
      }}
    }}
    displayShow();
  }}
}}
"""


def sketch(driver_text, modules, defines):
    frames = ",\n".join("  {" + ", ".join("0x%02x" % b for b in f) + "}" for f in FRAMES)
    return (SKELETON_HEAD.format(modules=modules, step=STEP_MS, pattern_ms=TEST_PATTERN_MS,
                                 defines="\n".join(defines)) + driver_text +
            SKELETON_TAIL.format(frames=frames))


def expected_images(modules):
    """The strip after the test pattern and each step, in hex."""
    images = ["".join("%02x" % b for b in PATTERN) + "00" * 8 * (modules - 1)]
    for step in range(1, 4):
        images.append("".join("%02x" % b for m in range(modules) for b in FRAMES[(step + m) % 4]))
    return images


def build(work, name, text, fqbn, cache):
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name + ".ino")
    with open(path, "w") as f:
        f.write(text)
    out = os.path.join(work, name + "-build")
    status, log = arduino_build(path, out, fqbn, cache)
    if status != 0:
        raise AssertionError("%s does not build:\n%s" % (name, log[-3000:]))
    ours = [l for l in log.splitlines() if name + ".ino" in l and "warning" in l]
    if ours:
        raise AssertionError("%s builds with warnings:\n%s" % (name, "\n".join(ours)))
    return os.path.join(out, name + ".ino.elf")


def harness(binary, elf, mcu, display, variant, modules):
    run = subprocess.run([binary, elf, mcu, display, variant, str(modules), str(SIMULATED_MS)],
                         capture_output=True, text=True, check=True)
    return [line.split() for line in run.stdout.splitlines()]


def collapse(images):
    seen = []
    for image in images:
        if not seen or seen[-1] != image:
            seen.append(image)
    return seen


def interrupts_off(lines):
    return float([l for l in lines if l[0] == "I"][0][1])


def check_scanned(lines):
    problems = []
    refreshes = [l for l in lines if l[0] == "R"]
    for r in refreshes:
        t, period = float(r[1]), float(r[2])
        dimmest, brightest, ghosts = float(r[4]), float(r[5]), int(r[6])
        if 1e6 / period < LEAST_HZ:
            problems.append("refresh at %.3f ms: %.1f Hz" % (t, 1e6 / period))
        if brightest > 0 and dimmest < LEAST_EVENNESS * brightest:
            problems.append("refresh at %.3f ms: dimmest %.1f us of %.1f" % (t, dimmest, brightest))
        if ghosts:
            problems.append("refresh at %.3f ms: %d ghosts, up to %s us" % (t, ghosts, r[7]))
    images = collapse(r[3] for r in refreshes)
    if images != expected_images(1):
        problems.append("images %s, not %s" % (images, expected_images(1)))
    return problems


def check_panels(lines, modules, colour):
    problems = []
    frames = [l for l in lines if l[0] == "F"]
    timings = [l for l in lines if l[0] == "T"]
    for f, t in zip(frames, timings):
        at = float(t[1])
        bits = int(t[2])
        t0h = (int(t[3]), int(t[4]))
        t1h = (int(t[5]), int(t[6]))
        tlow = (int(t[7]), int(t[8]))
        reset_us, enabled = float(t[9]), int(t[10])
        if bits != modules * 64 * 24:
            problems.append("frame at %.3f ms: %d bits" % (at, bits))
        for name, seen, window in (("T0H", t0h, T0H), ("T1H", t1h, T1H), ("low", tlow, TLOW)):
            if seen != (0, 0) and (seen[0] < window[0] or seen[1] > window[1]):
                problems.append("frame at %.3f ms: %s %d..%d ns outside %d..%d" %
                                (at, name, seen[0], seen[1], window[0], window[1]))
        if reset_us < RESET_US:
            problems.append("frame at %.3f ms: %.1f us low before it" % (at, reset_us))
        if enabled:
            problems.append("frame at %.3f ms: interrupts on while sending" % at)
        if f[3] not in ("-", colour):
            problems.append("frame at %.3f ms: colour %s, not %s" % (at, f[3], colour))
    images = collapse(f[2] for f in frames)
    wanted = ["00" * 8 * modules] + expected_images(modules)
    if images != wanted:
        problems.append("images %s, not %s" % (images, wanted))
    return problems


# name: display, MODULES, #defines, harness variant, colour seen
CASES = {
    "matrix": [
        ("matrix_anode", 1, ["#define ROW_ANODE 1"], "row-anode", None),
        ("matrix_cathode", 1, ["#define ROW_ANODE 0"], "row-cathode", None),
    ],
    "hc595": [
        ("hc595_anode", 1, ["#define ROW_ANODE 1"], "row-anode", None),
        ("hc595_cathode", 1, ["#define ROW_ANODE 0"], "row-cathode", None),
    ],
    "ws2812": [
        ("ws2812_serpentine_x3", 3,
         ["#define SERPENTINE 1", "#define COLOR_R 40", "#define COLOR_G 10", "#define COLOR_B 5"],
         "serpentine", "280a05"),
        ("ws2812_progressive_x1", 1,
         ["#define SERPENTINE 0", "#define COLOR_R 0", "#define COLOR_G 255", "#define COLOR_B 128"],
         "progressive", "00ff80"),
    ],
}


def main():
    binary, drivers, work, display = sys.argv[1:5]
    with open(os.path.join(drivers, display + ".ino")) as f:
        driver_text = f.read()
    os.makedirs(work, exist_ok=True)
    failures = []
    for name, modules, defines, variant, colour in CASES[display]:
        for mcu, fqbn in BOARDS.items():
            case = "%s_%s" % (name, mcu)
            # The three displays' tests share WORK and may run at once: a cache each.
            elf = build(work, case, sketch(driver_text, modules, defines), fqbn,
                        os.path.join(work, "core-" + display))
            lines = harness(binary, elf, mcu, display, variant, modules)
            if display == "ws2812":
                problems = check_panels(lines, modules, colour)
            else:
                problems = check_scanned(lines)
            off = interrupts_off(lines)
            if off > MOST_INTERRUPTS_OFF_US:
                problems.append("interrupts off for %.1f us outside sending" % off)
            print("%s: %s" % (case, "ok" if not problems else "FAILED"))
            failures += ["%s: %s" % (case, p) for p in problems[:10]]
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
