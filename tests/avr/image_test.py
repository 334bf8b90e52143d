"""glyph8's prebuilt programs on simulated boards: the Intel HEX glyph8-cli
writes for a message (the program and its block) runs in the display's
harness, and what the display shows must be the preview, frame for frame.
Without a block, or with a damaged one, the display shows a cross, at once.

    image_test.py CLI HARNESS_DIR WORK_DIR CASE [BOARD_HARNESS BOOTLOADER_DIR]

The "uploaded" cases write the message with glyph8-cli --upload to a
simulated board running its real bootloader, then a second message (on the
Uno, the block alone), and run what the board then holds: each time the
preview of the message last written.

The programs keep the message's own step (the block's) and a power-up
pattern of 2 s, so the cases use short steps and short messages.
"""
import os
import re
import shutil
import subprocess
import sys
import time

import display_test
import harnesses
import simulated_board
from simulated_board import BOOTLOADERS

# A block's first bytes (its version is 2), and where the message starts in it.
BLOCK_START = b"g8\x02"
BLOCK_HEADER = 28

# name: glyph8-cli's options, the text; "cross" cases change the block first.
CASES = {
    "max7219_uno": (["--display", "max7219", "--modules", "4", "--scroll", "20"], "歡迎 Hi"),
    "max7219_dip_page_mega": (["--display", "max7219", "--board", "dip", "--modules", "2",
                               "--page", "150", "--arduino", "mega", "--brightness", "15"],
                              "你好世界 OK"),
    "ht16k33_plain_uno": (["--display", "ht16k33", "--board", "plain", "--modules", "2",
                           "--scroll", "20", "--brightness", "3"], "Hi你"),
    "ht16k33_page_mega": (["--display", "ht16k33", "--modules", "3", "--page", "150",
                           "--arduino", "mega", "--address", "0x73"], "光臨 OK"),
    "ssd1306_page_uno": (["--display", "ssd1306", "--page", "150"], "歡迎光臨\nHello, 世界"),
    "ssd1306_scroll_mega": (["--display", "ssd1306", "--scroll", "20", "--arduino", "mega",
                             "--brightness", "5"], "Hi 你"),
    "sh1106_page_mega": (["--display", "sh1106", "--page", "150", "--arduino", "mega"],
                         "一二三四五六七八九十\n甲乙丙"),
    "sh1106_scroll_uno": (["--display", "sh1106", "--scroll", "20", "--address", "0x3D"],
                          "OK 好"),
    "ssd1306x32_page_mega": (["--display", "ssd1306x32", "--page", "150", "--arduino", "mega"],
                             "歡迎光臨\nHello, 世界\n三\n四\n五"),
    "ssd1306x32_scroll_uno": (["--display", "ssd1306x32", "--scroll", "20"], "OK 好"),
    "sh1106_flipped_page_uno": (["--display", "sh1106", "--board", "flipped", "--page", "150"],
                                "你好\nFlipped"),
    "pcd8544_page_mega": (["--display", "pcd8544", "--page", "150", "--arduino", "mega"],
                          "諾基亞 5110\nHello, 世界\n三\n四\n五\n六\n第二個畫面"),
    "pcd8544_scroll_uno": (["--display", "pcd8544", "--scroll", "20", "--contrast", "70"],
                           "LCD 好"),
    "pcd8544_flipped_scroll_uno": (["--display", "pcd8544", "--board", "flipped", "--scroll",
                                    "20"], "倒 Hi"),
    "ssd1306spi_page_uno": (["--display", "ssd1306spi", "--page", "150", "--brightness", "0"],
                            "歡迎光臨\nSPI, 世界"),
    "ssd1306spi_scroll_mega": (["--display", "ssd1306spi", "--scroll", "20", "--arduino", "mega"],
                               "Hi 你"),
    "sh1106spi_flipped_page_mega": (["--display", "sh1106spi", "--board", "flipped", "--page",
                                     "150", "--arduino", "mega"], "一二三\nFlipped SPI"),
    "matrix_cathode_uno": (["--display", "matrix", "--board", "row-cathode", "--scroll", "20"],
                           "Hi"),
    "matrix_mega": (["--display", "matrix", "--page", "150", "--arduino", "mega"], "你好"),
    "hc595_uno": (["--display", "hc595", "--scroll", "20"], "好 A"),
    "hc595_cathode_mega": (["--display", "hc595", "--board", "row-cathode", "--scroll", "20",
                            "--arduino", "mega"], "A1"),
    "ws2812_uno": (["--display", "ws2812", "--modules", "2", "--scroll", "20", "--color",
                    "2080FF"], "好 Hi"),
    "ws2812_progressive_mega": (["--display", "ws2812", "--board", "progressive", "--page",
                                 "150", "--arduino", "mega"], "光"),
    # No block: the program alone.
    "cross_no_block_max7219_uno": (["--display", "max7219", "--modules", "4"], "Hi"),
    "cross_no_block_ws2812_mega": (["--display", "ws2812", "--arduino", "mega"], "Hi"),
    "cross_no_block_pcd8544_uno": (["--display", "pcd8544"], "Hi"),
    # A block with one byte changed after its check was made.
    "cross_damaged_ssd1306_mega": (["--display", "ssd1306", "--arduino", "mega"], "Hi"),
    "cross_damaged_matrix_uno": (["--display", "matrix"], "Hi"),
    # A block for another display: a max7219 message on the hc595's program.
    "cross_other_display_hc595_uno": (["--display", "hc595"], "Hi"),
}

# name: options, first text, second text.
UPLOADED = {
    "uploaded_max7219_uno": (["--display", "max7219", "--modules", "4", "--scroll", "20"],
                             "歡迎", "你好 Hi"),
    "uploaded_ssd1306_mega": (["--display", "ssd1306", "--page", "150", "--arduino", "mega"],
                              "歡迎光臨\nWelcome", "一路順風"),
}

PATTERN_MS = 2000  # the programs' power-up pattern


def cross_frame(look):
    """A cross on every module, or across a panel's middle line."""
    line = [(1 << (c & 7)) | (0x80 >> (c & 7)) for c in range(look.columns)]
    if not look.panel:
        return bytes(line).hex()
    display = [0] * (look.columns * look.lines)
    middle = look.lines // 2  # rows 28..35 of 64: pages 3 and 4
    for x, b in enumerate(line):
        display[(middle - 1) * look.columns + x] = (b << 4) & 0xFF
        display[middle * look.columns + x] = b >> 4
    return bytes(display).hex()


def settings_of(cli, options, text):
    sketch = display_test.run([cli, "--sketch", *options, text]).stdout
    made = re.search(rb"Made with: glyph8-cli --sketch (.*)", sketch)[1].decode().split()
    return {made[i]: made[i + 1] for i in range(0, len(made) - 1, 2) if made[i].startswith("--")}


def against_preview(cli, harness_dir, work, options, text, program, settings):
    """What is wrong with what `program` shows, against the preview of `text`."""
    display, mcu = settings["--display"], display_test.BOARDS[settings["--arduino"]][1]
    look = harnesses.look_of(display, settings)
    gif = os.path.join(work, "preview.gif")
    with open(gif, "wb") as f:
        f.write(display_test.run([cli, "--preview", *options, text]).stdout)
    expected, _ = harnesses.gif_frames(gif, look)
    step = int(settings.get("--scroll", settings.get("--page", "0")))
    ms = display_test.simulated_ms(expected, step, PATTERN_MS, 1)
    seen = harnesses.watch(harness_dir, display, program, mcu, settings, ms)
    print(f"{os.path.basename(program)}: {len(seen.frames)} frames seen, "
          f"{len(expected)} in the preview of {text!r}")
    return (seen.faults + harnesses.level_faults(display, settings, seen) +
            display_test.compare_with_preview(seen.frames, expected, look, 1))


def uploaded(cli, harness_dir, work, name, board_harness, bootloaders):
    options, first, second = UPLOADED[name]
    settings = settings_of(cli, options, first)
    mcu = display_test.BOARDS[settings["--arduino"]][1]
    dump = os.path.join(work, "board.bin")
    failures = []
    for n, text in enumerate((first, second)):
        with simulated_board.Board(
                board_harness, os.path.join(bootloaders, BOOTLOADERS[mcu][0]), mcu,
                os.path.join(work, "board.log"), "--dump-application", dump,
                *(["--load-application", dump] if n > 0 else [])) as b:
            start = time.monotonic()
            result = subprocess.run([cli, "--upload", b.port, *options, "--", text],
                                    capture_output=True, text=True, timeout=60)
            seconds = time.monotonic() - start
        said = result.stderr.strip().splitlines()
        print(f"upload {n + 1} ({seconds:.2f} s): " + " / ".join(said))
        if result.returncode != 0:
            failures.append(f"upload {n + 1} failed: {result.stderr}")
            break
        alone = any("the message alone was written" in line for line in said)
        if alone != (n > 0 and mcu == "atmega328p"):
            failures.append(f"upload {n + 1}: the message alone is {alone}")
        failures += [f"after upload {n + 1}: {f}" for f in
                     against_preview(cli, harness_dir, work, options, text, dump, settings)]
    return failures


def main():
    cli, harness_dir, work, name = sys.argv[1:5]
    work = os.path.join(work, name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    if name in UPLOADED:
        failures = uploaded(cli, harness_dir, work, name, *sys.argv[5:7])
        for f in failures:
            print(f"FAIL {name}: {f}")
        return 1 if failures else 0
    options, text = CASES[name]
    sketch = display_test.run([cli, "--sketch", *options, text]).stdout
    made = re.search(rb"Made with: glyph8-cli --sketch (.*)", sketch)[1].decode().split()
    settings = {made[i]: made[i + 1] for i in range(0, len(made) - 1, 2) if made[i].startswith("--")}
    display, board = settings["--display"], settings["--arduino"]
    mcu = display_test.BOARDS[board][1]
    look = harnesses.look_of(display, settings)
    hex_text = display_test.run([cli, "--intel-hex", *options, text]).stdout
    hex_path = os.path.join(work, name + ".hex")
    with open(hex_path, "wb") as f:
        f.write(hex_text)
    image = harnesses.flat_image_of_hex(hex_path, os.path.join(work, name + ".bin"))
    with open(image, "rb") as f:
        flash = bytearray(f.read())
    block = flash.find(BLOCK_START)
    print(f"{name}: {len(flash)} bytes, the block at 0x{block:04X}, {len(flash) - block} bytes")
    failures = []
    if block <= 0 or block % 256 != 0:
        failures.append(f"no block on a 256-byte boundary (found at {block})")

    if name.startswith("cross"):
        if "no_block" in name:
            flash = flash[:block]
        elif "damaged" in name:
            flash[block + BLOCK_HEADER] ^= 0x01  # the first column of the message
        else:
            other = display_test.run([cli, "--intel-hex", "--display", "max7219", text]).stdout
            other_path = os.path.join(work, "other.hex")
            with open(other_path, "wb") as f:
                f.write(other)
            with open(harnesses.flat_image_of_hex(other_path, other_path + ".bin"), "rb") as f:
                theirs = f.read()
            flash = flash[:block] + theirs[theirs.find(BLOCK_START):]
        with open(image, "wb") as f:
            f.write(flash)
        seen = harnesses.watch(harness_dir, display, image, mcu, settings, PATTERN_MS + 400)
        shown = display_test.distinct([f for _, f in seen.frames if set(f) != {"0"}])
        want = [cross_frame(look)]
        failures += harnesses.level_faults(display, settings, seen)  # the driver's own
        print(f"{name}: {len(shown)} distinct frames")
        if shown != want:
            failures.append(f"the board shows {[s[:48] for s in shown]}, not a cross {want[0][:48]}")
    else:
        gif = os.path.join(work, name + ".gif")
        with open(gif, "wb") as f:
            f.write(display_test.run([cli, "--preview", *options, text]).stdout)
        expected, _ = harnesses.gif_frames(gif, look)
        step = int(settings.get("--scroll", settings.get("--page", "0")))
        ms = display_test.simulated_ms(expected, step, PATTERN_MS, 1)
        seen = harnesses.watch(harness_dir, display, hex_path, mcu, settings, ms)
        failures += seen.faults
        failures += harnesses.level_faults(display, settings, seen)
        failures += display_test.compare_with_preview(seen.frames, expected, look, 1)
        print(f"{name}: {len(seen.frames)} frames seen, {len(expected)} in the preview")
    for f in failures:
        print(f"FAIL {name}: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
