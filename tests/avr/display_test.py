"""A message on a display, end to end: glyph8-cli writes the sketch and its
preview; Debian's arduino-builder (the Arduino IDE's own builder) builds the
sketch for the board, with every warning on and none allowed from the
sketch; a simulated board runs it, a harness of ours watches the display's
pins or bus and says what a person would see; that must be the preview,
frame for frame, and the sketch must fit the board as it says it does.

    display_test.py CLI HARNESS_DIR WORK_DIR NAME [OPTIONS...] -- TEXT

OPTIONS are glyph8-cli's (--display, --board, --modules, --scroll, --page,
--arduino, ...) and, for the build, -DNAME=VALUE. --real-time keeps the
sketch's own step and checks the time between frames; --glyph-of CHAR checks
that the first frame shows CHAR's columns as glyph8-cli --each draws them.
--step-cost runs the steps back to back (no preview: TEXT may be as long as
a sketch takes) and checks that the last steps cost what the first ones do;
TEXT is then Python, evaluated, so that it can be long.
"""
import os
import re
import shutil
import subprocess
import sys

import harnesses

BOARDS = {
    "uno": (harnesses.FQBN["uno"], "atmega328p"),
    "mega": (harnesses.FQBN["mega"], "atmega2560"),
}


def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, **kw)


def option(options, name, default):
    return options[options.index(name) + 1] if name in options else default


def build(sketch, work, name, fqbn, defines):
    """Builds as the IDE does; returns the ELF and the builder's output."""
    folder = os.path.join(work, name)
    out = os.path.join(work, name + ".build")
    cache = os.path.join(work, "cache-" + fqbn.replace(":", "_").replace("=", "_"))
    for d in (folder, out):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    with open(os.path.join(folder, name + ".ino"), "wb") as f:
        f.write(sketch)
    status, log = harnesses.arduino_build(os.path.join(folder, name + ".ino"), out, fqbn, cache,
                                          defines)
    if status != 0:
        raise SystemExit(f"FAIL {name}: arduino-builder failed:\n{log}")
    return os.path.join(out, name + ".ino.elf"), log


def distinct(frames):
    """The frames without consecutive repeats."""
    return [f for i, f in enumerate(frames) if i == 0 or frames[i - 1] != f]


def simulated_ms(expected, step, pattern_ms, cycles):
    """Enough simulated time for the pattern and `cycles` rounds of the
    preview's frames."""
    return 30 + pattern_ms + (len(expected) * cycles + 2) * max(step, 8) * 1.5


def from_pattern(frames, look):
    """The frames from the test pattern on: the display may show a dark
    frame as it starts, before the pattern."""
    pattern = harnesses.pattern_frame(look)
    while frames and frames[0][1] != pattern and set(frames[0][1]) <= {"0"}:
        frames = frames[1:]
    return frames


def compare_with_preview(frames, expected, look, cycles):
    """What is wrong with the (ms, hex) frames a harness saw, against the
    preview's `expected` frames shown `cycles` times after the test pattern."""
    pattern = harnesses.pattern_frame(look)
    frames = from_pattern(frames, look)
    if not frames or frames[0][1] != pattern:
        first = frames[0][1] if frames else "nothing"
        return [f"the test pattern reads {first[:80]}, not {pattern[:80]}"]
    failures = []
    # Harnesses that watch a display holding its image say only when it
    # changes, so repeats are dropped on both sides.
    after = [f[1] for f in frames[1:]]
    while after and after[0] == pattern:  # a multiplexed pattern, refresh after refresh
        after = after[1:]
    got = distinct(after)
    want = distinct(expected * (cycles + 1))
    needed = len(distinct(expected * cycles))
    if len(got) > needed:
        got = got[:-1]  # it may be cut off by the simulation's end, mid-write
    if len(got) < needed:
        failures.append(f"only {len(got)} frames of {needed} were shown")
    for i, (g, w) in enumerate(zip(got, want)):
        if g != w:
            failures.append(f"frame {i}: the board shows {g[:96]}, the preview {w[:96]}")
            break
    return failures


def measure_step_cost(cli, harness_dir, work, name, cli_options, defines, text):
    """Every step of a long message, back to back: the steps near its end
    must take as long as the first ones."""
    sketch = run([cli, "--sketch", *cli_options], input=text.encode()).stdout
    made = re.search(rb"Made with: glyph8-cli --sketch (.*)", sketch)[1].decode().split()
    settings = {made[i]: made[i + 1] for i in range(0, len(made) - 1, 2)}
    fqbn, mcu = BOARDS[settings["--arduino"]]
    elf, log = build(sketch, work, name, fqbn, defines + ["-DSTEP_MS=0", "-DTEST_PATTERN_MS=0"])
    failures = [l for l in log.splitlines() if "warning" in l and f"{name}.ino" in l]
    columns = int(re.search(rb"MESSAGE_COLUMNS = (\d+)", sketch)[1])
    steps = columns + int(settings["--modules"]) * 8
    # A first pass that times a few steps says how long to simulate.
    seen = harnesses.watch(harness_dir, "max7219", elf, mcu, settings, 200)
    times = [t for t, _ in seen.frames]
    per_step = (times[-1] - times[10]) / (len(times) - 11)
    seen = harnesses.watch(harness_dir, "max7219", elf, mcu, settings,
                           (steps + 200) * per_step * 1.5 + 50)
    times = [t for t, _ in seen.frames]
    if len(times) < steps + 100:
        failures.append(f"only {len(times)} steps shown of {steps}")
    else:
        gaps = [b - a for a, b in zip(times, times[1:])]
        first = sorted(gaps[10:1010])[500]
        last = sorted(gaps[steps - 1010:steps - 10])[500]
        print(f"{name}: {steps} steps of {columns} columns; median step {first:.3f} ms "
              f"at the start, {last:.3f} ms near the end ({last / first:.2f}x)")
        if last > first * 1.1:
            failures.append(f"a step near the end takes {last:.3f} ms, at the start {first:.3f}")
    for f in failures:
        print(f"FAIL {name}: {f}")
    return 1 if failures else 0


def main():
    cli, harness_dir, work, name = sys.argv[1:5]
    rest = sys.argv[5:]
    split = rest.index("--")
    options, text = rest[:split], rest[split + 1]
    defines = [o for o in options if o.startswith("-D")]
    real_time = "--real-time" in options
    step_cost = "--step-cost" in options
    if step_cost:
        options.remove("--step-cost")
        text = eval(text)  # noqa: S307, the test's own text
    glyph_of = option(options, "--glyph-of", None)
    cli_options = [o for o in options if not o.startswith("-D") and o != "--real-time"]
    if glyph_of:
        i = cli_options.index("--glyph-of")
        del cli_options[i:i + 2]
    os.makedirs(work, exist_ok=True)
    failures = []

    if step_cost:
        return measure_step_cost(cli, harness_dir, work, name, cli_options, defines, text)
    sketch = run([cli, "--sketch", *cli_options, text]).stdout
    gif = os.path.join(work, name + ".gif")
    with open(gif, "wb") as f:
        f.write(run([cli, "--preview", *cli_options, text]).stdout)
    made = re.search(rb"Made with: glyph8-cli --sketch (.*)", sketch)[1].decode().split()
    settings = {made[i]: made[i + 1] for i in range(0, len(made) - 1, 2) if made[i].startswith("--")}
    display = settings["--display"]
    fqbn, mcu = BOARDS[settings["--arduino"]]
    short_step = harnesses.short_step(display, settings)
    if not real_time:
        defines += [f"-DSTEP_MS={short_step}", f"-DTEST_PATTERN_MS={short_step}"]
    elf, log = build(sketch, work, name, fqbn, defines)
    ours = [l for l in log.splitlines()
            if ("warning" in l or "error" in l) and f"{name}.ino" in l]
    if ours:
        failures.append("warnings from the sketch:\n  " + "\n  ".join(ours))

    # What it needs, against what glyph8 said it would.
    flash = int(re.search(r"Sketch uses (\d+) bytes", log)[1])
    ram = int(re.search(r"Global variables use (\d+) bytes", log)[1])
    said = re.search(rb"About (\d+) bytes of flash .* and (\d+) bytes of RAM", sketch)
    said_flash, said_ram = int(said[1]), int(said[2])
    print(f"{name}: {mcu} flash {flash} (said {said_flash}), RAM {ram} (said {said_ram})")
    if not (flash <= said_flash <= flash + 512) or not (ram <= said_ram <= ram + 96):
        failures.append("sizes out of line with what the sketch says of them")

    look = harnesses.look_of(display, settings)
    expected, durations = harnesses.gif_frames(gif, look)
    step = durations[0] if real_time else short_step
    pattern_ms = 2000 if real_time else short_step
    cycles = 2 if len(expected) < 60 else 1
    ms = simulated_ms(expected, step, pattern_ms, cycles)
    seen = harnesses.watch(harness_dir, display, elf, mcu, settings, ms)
    failures += seen.faults
    failures += harnesses.level_faults(display, settings, seen)
    failures += compare_with_preview(seen.frames, expected, look, cycles)
    frames = from_pattern(seen.frames, look)
    if real_time and frames and frames[0][1] == harnesses.pattern_frame(look):
        times = [f[0] for f in frames[1:]]
        gaps = [b - a for a, b in zip(times, times[1:])]
        off = [g for g in gaps if abs(g - step) > 1.0]
        print(f"{name}: {len(gaps)} intervals, {min(gaps):.2f} to {max(gaps):.2f} ms, step {step} ms")
        if off:
            failures.append(f"frames {off[0]:.2f} ms apart, not {step}")
    for line in seen.report:
        print(f"{name}: {line}")
    if glyph_of:
        table = run([cli, "--each", "--hex", glyph_of]).stdout.decode()
        want = "".join(re.findall(r"0x([0-9A-F]{2})", table)).lower()
        if not expected[0].startswith(want):
            failures.append(f"the first frame is {expected[0][:32]}, {glyph_of} is {want}")
    print(f"{name}: {max(len(frames) - 1, 0)} frames checked against {len(expected)} in the preview")
    for f in failures:
        print(f"FAIL {name}: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
