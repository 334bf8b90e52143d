"""A sketch as flat flash: what an uploader writes and what a board holds
must show what the built sketch shows.

glyph8-cli writes the sketch and its preview, arduino-builder builds it
with the steps shortened as display_test.py does; the display's harness
runs its ELF, the .bin avr-objcopy makes of the ELF and the builder's .hex:
the same frames at the same times. Then the .hex goes to a simulated board
with upload_tool, the board is stopped, and what it holds below its
bootloader is run: the same frames again, and they are the preview's.
The block cases run a program that shows a picture kept at a fixed address
far past its code, as a flat image (.bin, and .hex from glyph8's writer):
the harness must show that picture, which its ELF lacks.

    flashed_test.py CLI HARNESS_DIR BOARD_HARNESS UPLOAD_TOOL BUILD_DIR WORK_DIR CASE

HARNESS_DIR holds the display harnesses, BUILD_DIR the boards' bootloaders
as flat images and the block readers' ELFs.
"""
import os
import re
import shutil
import subprocess
import sys

import display_test
import harnesses
import simulated_board
from simulated_board import BOOTLOADERS

CASES = {
    "max7219_uno": (["--display", "max7219", "--modules", "4", "--board", "fc16", "--scroll",
                     "60"], "歡迎 Hi!"),
    "ssd1306_mega": (["--display", "ssd1306", "--scroll", "60", "--arduino", "mega"],
                     "歡迎光臨 Hello"),
    "hc595_uno": (["--display", "hc595", "--scroll", "60"], "Hi 你"),
}

# The block reader's MCU and where its picture is, as CMakeLists.txt builds it.
BLOCK_CASES = {
    "block_uno": ("atmega328p", 0x1000),
    "block_mega": ("atmega2560", 0x1F000),
}
PICTURE = bytes.fromhex("3c4295a1a195423c")



def flashed(tools, work, mcu, board, hex_path):
    """Uploads `hex_path` to a simulated board, stops it and returns the file
    of what it then holds below its bootloader."""
    dump = os.path.join(work, "board.bin")
    with simulated_board.Board(
            tools["board_harness"], os.path.join(tools["bootloaders"], BOOTLOADERS[mcu][0]), mcu,
            os.path.join(work, "board.log"), "--dump-application", dump) as b:
        result = subprocess.run([tools["upload_tool"], b.port, hex_path, "--board", board],
                                capture_output=True, text=True, timeout=60)
        last = (result.stdout.strip().splitlines() or [result.stderr])[-1]
        if result.returncode != 0 or not last.startswith("ok"):
            raise SystemExit(f"the upload failed: {last}")
    if b.process.returncode != 0 or not os.path.exists(dump):
        raise SystemExit(f"the board harness left no flash ({b.process.returncode}):\n{b.said()}")
    if os.path.getsize(dump) != BOOTLOADERS[mcu][1]:
        raise SystemExit(f"the board harness left {os.path.getsize(dump)} bytes of flash, not "
                         f"the {BOOTLOADERS[mcu][1]} below the bootloader")
    return dump


def block_case(harness_dir, tools, work, name):
    """A picture at a fixed address past the code is in flash when the
    image is flat, and missing when only the ELF's sections are."""
    mcu, block = BLOCK_CASES[name]
    elf = os.path.join(tools["bootloaders"], f"block_reader_{mcu}.elf")
    with open(harnesses.flat_image(elf, os.path.join(work, "code.bin")), "rb") as f:
        code = f.read()
    image = os.path.join(work, name + ".bin")
    with open(image, "wb") as f:
        f.write(code + b"\xff" * (block - len(code)) + PICTURE)
    # The Intel HEX leaves the erased flash between out, as an uploader's
    # file would: the code at 0, then the picture at its own address.
    picture = os.path.join(work, "picture.bin")
    with open(picture, "wb") as f:
        f.write(PICTURE)
    records = []
    for part, at in ((os.path.join(work, "code.bin"), 0), (picture, block)):
        records += subprocess.run([tools["upload_tool"], "--hex", part, hex(at), "linear"],
                                  capture_output=True, text=True, check=True).stdout.split()
    hex_path = os.path.join(work, name + ".hex")
    with open(hex_path, "w") as f:
        f.write("\n".join(r for r in records if r != ":00000001FF") + "\n:00000001FF\n")
    settings = {"--modules": "1", "--board": "dip"}
    failures = []
    for kind, program, shown in (("ELF", elf, False), ("flat .bin", image, True),
                                 ("Intel HEX", hex_path, True)):
        seen = harnesses.watch(harness_dir, "max7219", program, mcu, settings, 5)
        frames = [f for _, f in seen.frames]
        print(f"{name}: the {kind} shows {frames}")
        if (frames == [PICTURE.hex()]) != shown:
            failures.append(f"the {kind} shows {frames}, the picture at 0x{block:05X} is "
                            f"{PICTURE.hex()}")
    for f in failures:
        print(f"FAIL {name}: {f}")
    return 1 if failures else 0


def main():
    cli, harness_dir, board_harness, upload_tool, bootloaders, work, name = sys.argv[1:8]
    tools = {"board_harness": board_harness, "upload_tool": upload_tool,
             "bootloaders": bootloaders}
    work = os.path.join(work, name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    if name in BLOCK_CASES:
        return block_case(harness_dir, tools, work, name)
    options, text = CASES[name]

    sketch = display_test.run([cli, "--sketch", *options, text]).stdout
    gif = os.path.join(work, name + ".gif")
    with open(gif, "wb") as f:
        f.write(display_test.run([cli, "--preview", *options, text]).stdout)
    made = re.search(rb"Made with: glyph8-cli --sketch (.*)", sketch)[1].decode().split()
    settings = {made[i]: made[i + 1] for i in range(0, len(made) - 1, 2) if made[i].startswith("--")}
    display, board = settings["--display"], settings["--arduino"]
    fqbn, mcu = display_test.BOARDS[board]
    step = harnesses.short_step(display, settings)
    elf, _ = display_test.build(sketch, work, name, fqbn,
                                [f"-DSTEP_MS={step}", f"-DTEST_PATTERN_MS={step}"])
    hex_path = elf[:-len(".elf")] + ".hex"
    image = harnesses.flat_image(elf, os.path.join(work, name + ".bin"))

    look = harnesses.look_of(display, settings)
    expected, _ = harnesses.gif_frames(gif, look)
    cycles = 1
    ms = display_test.simulated_ms(expected, step, step, cycles)
    failures = []

    def seen_in(program):
        seen = harnesses.watch(harness_dir, display, program, mcu, settings, ms)
        failures.extend(f"{os.path.basename(program)}: {f}" for f in seen.faults)
        return seen.frames

    from_elf = seen_in(elf)
    if not from_elf:
        failures.append("the ELF shows nothing")
    for kind, program in (("flat .bin", image), ("builder's .hex", hex_path),
                          ("board's flash after the upload",
                           flashed(tools, work, mcu, board, hex_path))):
        frames = seen_in(program)
        print(f"{name}: {kind}, {os.path.getsize(program)} bytes: {len(frames)} frames")
        if frames != from_elf:
            first = next((i for i, (a, b) in enumerate(zip(frames, from_elf)) if a != b),
                         min(len(frames), len(from_elf)))
            failures.append(f"the {kind} shows {len(frames)} frames, the ELF {len(from_elf)}; "
                            f"they part at frame {first}")
        problems = display_test.compare_with_preview(frames, expected, look, cycles)
        failures += [f"the {kind}: {p}" for p in problems]
    print(f"{name}: {len(from_elf)} frames from each, {len(expected)} in the preview")
    for f in failures:
        print(f"FAIL {name}: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
