"""glyph8's uploader against a simulated Uno running the real optiboot: a
sketch built by arduino-builder is written through a pseudo-terminal, read
back by avrdude as a client of its own and from the simulated flash, then
written a page at a time and compared; and each way an upload fails, with
the problem it must say. The times are printed.

    upload_test.py UPLOAD_TOOL BOARD_HARNESS BOOTLOADER_DIR CLI WORK_DIR

glyph8-cli --upload then writes a message with its program, and a message
alone, each compared with --intel-hex's bytes, with a row per failure.
"""
import os
import shutil
import subprocess
import sys
import time

import harnesses
import simulated_board

TOOL, HARNESS, BOOTLOADERS, CLI, WORK = sys.argv[1:6]
UNO = ("atmega328p", os.path.join(BOOTLOADERS, "optiboot_atmega328p.bin"))
ATMEGA168 = ("atmega168", os.path.join(BOOTLOADERS, "optiboot_atmega168.bin"))
MEGA = ("atmega2560", os.path.join(BOOTLOADERS, "stk500v2_atmega2560.bin"))
PAGE = 128

failures = []
passed = 0


def check(name, ok, detail=""):
    global passed
    if ok:
        passed += 1
        print(f"ok   {name}")
    else:
        failures.append(name)
        print(f"FAIL {name}: {detail}")


def Board(board=UNO, *options):
    """The board harness on a pseudo-terminal, stopped at the end of `with`."""
    return simulated_board.Board(HARNESS, board[1], board[0], os.path.join(WORK, "harness.log"),
                                 *options)


def upload(port, hex_path, *options, timeout=60):
    """(exit status, last line, seconds)."""
    start = time.monotonic()
    result = subprocess.run([TOOL, port, hex_path, *options], capture_output=True, text=True,
                            timeout=timeout)
    lines = result.stdout.strip().splitlines()
    return result.returncode, lines[-1] if lines else result.stderr, time.monotonic() - start


def hex_of(data, path, address=0, addressing="linear"):
    """Writes `data` at `address` as Intel HEX with glyph8's writer."""
    bin_path = path + ".bin"
    with open(bin_path, "wb") as f:
        f.write(data)
    with open(path, "wb") as f:
        subprocess.run([TOOL, "--hex", bin_path, hex(address), addressing], stdout=f, check=True)
    return path


def binary_of(hex_path):
    """The bytes of an Intel HEX file as avr-objcopy reads them."""
    out = hex_path + ".objcopy.bin"
    subprocess.run(["avr-objcopy", "-I", "ihex", "-O", "binary", hex_path, out], check=True,
                   capture_output=True, text=True)
    with open(out, "rb") as f:
        return f.read()


def build_sketch(name="message", fqbn="arduino:avr:uno", *cli_options):
    """A message's sketch, written by glyph8-cli and built by arduino-builder."""
    folder = os.path.join(WORK, name)
    out = os.path.join(WORK, name + ".build")
    cache = os.path.join(WORK, "cache")
    for d in (folder, out, cache):
        os.makedirs(d, exist_ok=True)
    sketch = subprocess.run([CLI, "--sketch", "--modules", "4", "--scroll", "60", *cli_options,
                             "--", "歡迎光臨 Hello"], capture_output=True, check=True).stdout
    with open(os.path.join(folder, name + ".ino"), "wb") as f:
        f.write(sketch)
    status, log = harnesses.arduino_build(os.path.join(folder, name + ".ino"), out, fqbn, cache,
                                          warnings=False)
    if status != 0:
        raise SystemExit(f"FAIL {name}: arduino-builder failed:\n{log}")
    return os.path.join(out, name + ".ino.hex")


def cli(*args, timeout=60):
    """glyph8-cli: (exit status, stdout bytes, stderr text, seconds)."""
    start = time.monotonic()
    result = subprocess.run([CLI, *args], capture_output=True, timeout=timeout)
    return (result.returncode, result.stdout, result.stderr.decode(errors="replace"),
            time.monotonic() - start)


def flash_of(cli_options, text):
    """What --upload writes for a message: --intel-hex's bytes."""
    status, out, err, _ = cli("--intel-hex", *cli_options, "--", text)
    if status != 0:
        raise SystemExit(f"FAIL --intel-hex {cli_options}: {err}")
    path = os.path.join(WORK, "expected.hex")
    with open(path, "wb") as f:
        f.write(out)
    return binary_of(path)


def cli_uploads(figures):
    """glyph8-cli --upload: the program and a message, then a message alone;
    the flash must hold --intel-hex's bytes, and each failure has its exit
    status and says what to check."""
    dump = os.path.join(WORK, "cli_flash.bin")
    first = flash_of([], "歡迎光臨")
    second = flash_of([], "你好")
    with Board(UNO, "--dump-flash", dump) as board:
        status, _, err, seconds = cli("--upload", board.port, "--", "歡迎光臨")
        check("cli_upload_program_and_message",
              status == 0 and "the program and the message were written" in err and
              "pages read or written" in err, err)
        figures.append(f"--upload, program and message ({len(first)} bytes): {seconds:.2f} s")
        status, _, err, seconds = cli("--upload", board.port, "--", "你好")
        check("cli_upload_message_alone", status == 0 and "the message alone was written" in err,
              err)
        figures.append(f"--upload, the message alone: {seconds:.2f} s")
    with open(dump, "rb") as f:
        flash = f.read()
    check("cli_upload_flash_holds_the_second_message",
          flash[:len(second)] == second and flash[len(second):0x7E00] ==
          b"\xff" * (0x7E00 - len(second)), "the flash differs from --intel-hex's bytes")
    mega_dump = os.path.join(WORK, "cli_mega_flash.bin")
    mega = flash_of(["--arduino", "mega", "--display", "ssd1306"], "歡迎光臨")
    with Board(MEGA, "--dump-flash", mega_dump) as board:
        status, _, err, seconds = cli("--upload", board.port, "--arduino", "mega", "--display",
                                      "ssd1306", "--", "歡迎光臨")
        check("cli_upload_mega", status == 0 and "the program and the message were written" in err,
              err)
        figures.append(f"--upload to a Mega, program and message ({len(mega)} bytes): "
                       f"{seconds:.2f} s")
    with open(mega_dump, "rb") as f:
        check("cli_upload_mega_flash_holds_it", f.read()[:len(mega)] == mega, "differs")

    master, slave = os.openpty()
    silent = os.ttyname(slave)
    os.close(slave)
    try:
        rows = [
            # name, port, board, exit status, what stderr must say
            ("cli_no_such_port", "/dev/ttyGLYPH8-none", None, 4, "there is no serial port"),
            ("cli_not_a_serial_port", "/dev/null", None, 4, "is not a serial port"),
            ("cli_nothing_answers", silent, None, 5, "no bootloader answered"),
            ("cli_another_board", "board", ATMEGA168, 6, "ATmega168"),
            ("cli_a_byte_that_does_not_stick", "board", "corrupt", 7, "reads back"),
        ]
        for name, port, board, expected, says in rows:
            if port == "board":
                options = ("--corrupt", hex(0x100)) if board == "corrupt" else ()
                with Board(UNO if board == "corrupt" else board, *options) as b:
                    status, _, err, seconds = cli("--upload", b.port, "--", "歡迎光臨")
            else:
                status, _, err, seconds = cli("--upload", port, "--", "歡迎光臨", timeout=30)
            check(name, status == expected and says in err and seconds < 12,
                  f"exit {status} after {seconds:.1f} s: {err}")
            print(f"     {name}: exit {status}: {err.strip().splitlines()[-1]}")
    finally:
        os.close(master)


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    sketch_hex = build_sketch()
    image = binary_of(sketch_hex)
    pages = (len(image) + PAGE - 1) // PAGE
    figures = []

    # The writer, read back by the AVR tools: where the bytes are and what.
    for name, address, addressing in (("at_0", 0, "linear"),
                                      ("above_64k_linear", 0x3E000, "linear"),
                                      ("across_64k_segment", 0xFF80, "segment")):
        path = hex_of(image, os.path.join(WORK, f"writer_{name}.hex"), address, addressing)
        try:
            back = binary_of(path)
            sections = subprocess.run(["avr-objdump", "-h", path], capture_output=True,
                                      text=True, check=True).stdout
        except subprocess.CalledProcessError as e:
            check(f"hex_writer_{name}", False, f"the AVR tools refuse it: {e.stderr}")
            continue
        check(f"hex_writer_{name}", back == image and f"{address:08x}" in sections,
              f"{len(back)} bytes back of {len(image)}; sections:\n{sections}")

    # The whole image, then avrdude and the flash itself as witnesses.
    dump = os.path.join(WORK, "flash.bin")
    with Board(UNO, "--dump-flash", dump) as board:
        status, said, seconds = upload(board.port, sketch_hex)
        check("upload_whole_image", status == 0 and said.startswith("ok"), said)
        figures.append(f"whole image, {len(image)} bytes ({pages} pages): {seconds:.2f} s")
        time.sleep(0.5)
        check("sketch_runs_after_the_upload", "sketch at" in board.said().split("reset")[-1],
              board.said())
        read_back = os.path.join(WORK, "avrdude_read.hex")
        start = time.monotonic()
        result = subprocess.run(["avrdude", "-c", "arduino", "-p", "m328p", "-P", board.port,
                                 "-b", "115200", "-U", f"flash:r:{read_back}:i"],
                                capture_output=True, text=True, timeout=60)
        figures.append(f"avrdude reading the whole flash: {time.monotonic() - start:.2f} s")
        got = binary_of(read_back) if result.returncode == 0 else b""
        check("avrdude_reads_what_was_written", got[:len(image)] == image,
              result.stderr[-2000:])

        # Already there? A compare reads back and writes nothing.
        status, said, seconds = upload(board.port, sketch_hex, "--compare")
        check("compare_finds_the_image", status == 0 and said.startswith("same"), said)
        figures.append(f"compare of the whole image: {seconds:.2f} s")
        changed = bytearray(image)
        where = len(image) - 10
        changed[where] ^= 0x40
        changed_hex = hex_of(bytes(changed), os.path.join(WORK, "changed.hex"))
        status, said, _ = upload(board.port, changed_hex, "--compare")
        check("compare_finds_a_difference", status == 1 and said.startswith(f"differs 0x{where:04X}"),
              said)

        # A message's block alone: one page.
        block_at = (where // PAGE) * PAGE
        status, said, seconds = upload(board.port, changed_hex, "--from", hex(block_at),
                                       "--pages", "1")
        check("write_one_page", status == 0 and said.startswith("ok"), said)
        figures.append(f"one page at 0x{block_at:04X}: {seconds:.2f} s")
        status, said, _ = upload(board.port, changed_hex, "--compare")
        check("one_page_written_and_the_rest_kept", status == 0 and said.startswith("same"),
              said)
    with open(dump, "rb") as f:
        flash = f.read()
    check("simulated_flash_holds_the_image",
          flash[:len(changed)] == bytes(changed) and flash[len(changed):0x7E00] ==
          b"\xff" * (0x7E00 - len(changed)), "the flash dump differs")

    # avrdude's own time for the same whole write.
    with Board(UNO) as board:
        start = time.monotonic()
        result = subprocess.run(["avrdude", "-c", "arduino", "-p", "m328p", "-P", board.port,
                                 "-b", "115200", "-U", f"flash:w:{sketch_hex}:i"],
                                capture_output=True, text=True, timeout=60)
        figures.append(f"avrdude writing and verifying the whole image: "
                       f"{time.monotonic() - start:.2f} s")
        check("avrdude_writes_too", result.returncode == 0, result.stderr[-2000:])

    # Failures, each with its problem.
    status, said, _ = upload("/dev/ttyGLYPH8-none", sketch_hex)
    check("no_such_port", said.startswith("error no_such_port"), said)
    status, said, _ = upload("/dev/null", sketch_hex)
    check("not_a_serial_port", said.startswith("error not_a_serial_port"), said)

    master, slave = os.openpty()
    name = os.ttyname(slave)
    os.close(slave)
    status, said, seconds = upload(name, sketch_hex, timeout=30)
    os.close(master)
    check("nothing_answers", said.startswith("error no_answer") and seconds < 11,
          f"{said} after {seconds:.1f} s")
    figures.append(f"giving up on a port with no board: {seconds:.1f} s")

    with Board(ATMEGA168) as board:
        status, said, _ = upload(board.port, sketch_hex)
        check("another_mcu", said.startswith("error signature_mismatch") and "ATmega168" in said
              and "1E 94 06" in said, said)

    # A byte of the image that is not erased flash's 0xFF, in its second page.
    corrupt = next(i for i in range(PAGE, len(image)) if image[i] != 0xFF)
    with Board(UNO, "--corrupt", hex(corrupt)) as board:
        status, said, _ = upload(board.port, sketch_hex)
        check("a_byte_that_does_not_stick",
              said.startswith("error verify_mismatch") and f"0x{corrupt:04X}" in said, said)

    # The Mega 2560 and its STK500v2 bootloader: avrdude verifies the image
    # where it is, and the flash itself is compared.
    mega_hex = build_sketch("mega", "arduino:avr:mega:cpu=atmega2560", "--arduino", "mega")
    mega_image = binary_of(mega_hex)
    mega_dump = os.path.join(WORK, "mega_flash.bin")
    with Board(MEGA, "--dump-flash", mega_dump) as board:
        status, said, seconds = upload(board.port, mega_hex, "--board", "mega")
        check("mega_upload_whole_image", status == 0 and said.startswith("ok"), said)
        figures.append(f"Mega, whole image, {len(mega_image)} bytes: {seconds:.2f} s")
        result = subprocess.run(["avrdude", "-c", "wiring", "-p", "m2560", "-P", board.port,
                                 "-b", "115200", "-U", f"flash:v:{mega_hex}:i"],
                                capture_output=True, text=True, timeout=60)
        check("mega_avrdude_verifies_what_was_written", result.returncode == 0,
              result.stderr[-2000:])
        mega_changed = bytearray(mega_image)
        where = len(mega_image) - 300
        mega_changed[where] ^= 0x08
        mega_changed_hex = hex_of(bytes(mega_changed), os.path.join(WORK, "mega_changed.hex"))
        block_at = (where // 256) * 256
        # Its bootloader erases from the start of flash whatever the address:
        # a block alone is refused before anything is sent.
        status, said, seconds = upload(board.port, mega_changed_hex, "--board", "mega", "--from",
                                       hex(block_at), "--pages", "1")
        check("mega_writes_no_block_alone", said.startswith("error bad_request"), said)
        status, said, seconds = upload(board.port, mega_changed_hex, "--board", "mega",
                                       "--compare")
        check("mega_compare_finds_a_difference", said.startswith(f"differs 0x{where:04X}"), said)
    with open(mega_dump, "rb") as f:
        flash = f.read()
    check("mega_simulated_flash_holds_the_image",
          flash[:len(mega_image)] == mega_image and
          flash[len(mega_image):0x3E000] == b"\xff" * (0x3E000 - len(mega_image)),
          "the flash dump differs")
    corrupt = next(i for i in range(256, len(mega_image)) if mega_image[i] != 0xFF)
    with Board(MEGA, "--corrupt", hex(corrupt)) as board:
        status, said, _ = upload(board.port, mega_hex, "--board", "mega")
        check("mega_a_byte_that_does_not_stick",
              said.startswith("error verify_mismatch") and f"0x{corrupt:04X}" in said, said)
    with Board(UNO) as board:
        status, said, _ = upload(board.port, mega_hex, "--board", "mega")
        check("mega_image_on_an_uno", said.startswith("error no_answer"), said)

    cli_uploads(figures)

    for figure in figures:
        print("time:", figure)
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
