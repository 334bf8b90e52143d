"""glyph8's uploader as built for Windows, under Wine, writing to the
simulated Uno of the dev build (board_harness: the real optiboot behind a
pseudo-terminal). Wine's COM ports are links in the prefix's dosdevices
folder; each row links a COM port of its own to the board's
pseudo-terminal and takes the link down after. avrdude, on the Linux side,
reads back what the board holds.

    upload_test.py errors WINE_RUN PREFIX UPLOAD_TOOL_EXE CLI_EXE WORK_DIR
    upload_test.py board  WINE_RUN PREFIX UPLOAD_TOOL_EXE CLI_EXE WORK_DIR DEV_BUILD [RUNS]

`errors` needs no board: ports that are missing, not serial ports, or
where nothing answers. `board` needs the dev build's board_harness and
optiboot (it exits 77, a skip, when they are not there), writes a whole
flash of every byte value with upload_tool.exe and a message with
glyph8-cli.exe --upload, and times a whole flash written by the Windows
build under Wine against the native build: RUNS runs of each (default 1),
the medians printed.
"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

# The simulated board is shared with the command line's upload tests.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "avr"))
import simulated_board

MODE, WINE_RUN, PREFIX, TOOL_EXE, CLI_EXE, WORK = sys.argv[1:7]
DEV = sys.argv[7] if len(sys.argv) > 7 else ""
RUNS = int(sys.argv[8]) if len(sys.argv) > 8 else 1
SKIP = 77
APPLICATION = 0x7E00  # the Uno's flash below optiboot
NO_ANSWER_EXIT = 5  # glyph8-cli --upload: no bootloader answered

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
    return ok


def wine(*args, timeout=60):
    """A Windows program of the build under Wine: (exit status, stdout, stderr, seconds)."""
    # Into files, not pipes: the Wine services a first program starts keep
    # its pipes open as long as the server lives.
    with open(os.path.join(WORK, "wine.out"), "w+b") as out, \
            open(os.path.join(WORK, "wine.err"), "w+b") as err:
        start = time.monotonic()
        try:
            status = subprocess.run([WINE_RUN, PREFIX, *args], stdout=out, stderr=err,
                                    timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            status = None
        seconds = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        said = err.read().decode(errors="replace").replace("\r", "\n")
        if status is None:
            said += f"\n(still running after {timeout} s, stopped)"
        return status, out.read().replace(b"\r\n", b"\n"), said, seconds


class ComPort:
    """COMn in the prefix, a link to `target`, taken down at the end of `with`."""

    def __init__(self, number, target):
        self.name = f"COM{number}"
        self.link = os.path.join(PREFIX, "dosdevices", f"com{number}")
        self.target = target

    def __enter__(self):
        if os.path.lexists(self.link):
            os.remove(self.link)
        if self.target:
            os.symlink(self.target, self.link)
        return self

    def __exit__(self, *exc):
        if os.path.lexists(self.link):
            os.remove(self.link)


def Board(dump=None):
    """The dev build's simulated Uno on a pseudo-terminal, stopped at the end of `with`."""
    return simulated_board.Board(os.path.join(DEV, "board_harness"), BOOTLOADER, "atmega328p",
                                 os.path.join(WORK, "harness.log"),
                                 *(["--dump-flash", dump] if dump else []), seconds=300,
                                 append=True)


def bytes_of_hex(text):
    """The bytes of Intel HEX text from address 0, gaps as erased flash."""
    flash = bytearray()
    base = 0
    for line in text.decode().split():
        record = bytes.fromhex(line[1:])
        count, address, kind, data = record[0], record[1] << 8 | record[2], record[3], record[4:-1]
        if sum(record) & 0xFF or len(data) != count:
            raise SystemExit(f"FAIL a damaged HEX record: {line}")
        if kind == 0:
            at = base + address
            flash.extend(b"\xff" * max(0, at + count - len(flash)))
            flash[at:at + count] = data
        elif kind == 2:
            base = (data[0] << 8 | data[1]) << 4
        elif kind == 4:
            base = (data[0] << 8 | data[1]) << 16
        elif kind == 1:
            break
    return bytes(flash)


def read_back(port):
    """The Uno's whole flash as avrdude reads it through the pseudo-terminal."""
    path = os.path.join(WORK, "read_back.bin")
    # The bootloader waits a second after the reset that opening the port
    # is; avrdude on a busy machine can miss it: the witness tries again.
    for _ in range(3):
        if os.path.exists(path):
            os.remove(path)
        result = subprocess.run(["avrdude", "-c", "arduino", "-P", port, "-b", "115200", "-p",
                                 "m328p", "-U", f"flash:r:{path}:r"], capture_output=True,
                                text=True, timeout=120)
        if result.returncode == 0:
            with open(path, "rb") as f:
                return f.read(), ""
    return None, result.stderr[-1500:]


def holds(flash, image):
    """Does the board's flash hold `image` from 0, and erased flash after it?"""
    if flash is None:
        return False
    rest = flash[len(image):APPLICATION]
    return flash[:len(image)] == image and rest == b"\xff" * len(rest)


def intel_hex(*options):
    """glyph8-cli.exe --intel-hex: what --upload with the same options writes."""
    status, out, err, _ = wine(CLI_EXE, "--intel-hex", *options)
    if status != 0:
        raise SystemExit(f"FAIL glyph8-cli.exe --intel-hex {options}: {err}")
    return bytes_of_hex(out)


def start_prefix():
    """A prefix of the test's own, made on first use; Wine makes dosdevices.
    Its server stays up until the end, rather than start and stop between
    programs."""
    os.makedirs(PREFIX, exist_ok=True)
    subprocess.run(["wineserver", "-p"], env={**os.environ, "WINEPREFIX": PREFIX},
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wine(TOOL_EXE, timeout=300)  # usage only: this creates the prefix
    if not os.path.isdir(os.path.join(PREFIX, "dosdevices")):
        raise SystemExit(f"FAIL Wine made no prefix in {PREFIX}")


def stop_prefix():
    subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": PREFIX},
                   capture_output=True)


def errors():
    """Ports that cannot be used, and one where nothing answers."""
    with open(os.path.join(WORK, "one_page.hex"), "w") as f:
        f.write(":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n")
    master, slave = os.openpty()
    silent = os.ttyname(slave)
    os.close(slave)
    plain = os.path.join(WORK, "plain.txt")
    with open(plain, "w") as f:
        f.write("not a port\n")
    rows = [
        # name, link target (None: no link), tool's line, cli's exit status, cli's words
        ("no_such_port", None, "error no_such_port", 4, "there is no serial port COM"),
        ("dangling_link", "/nonexistent/ttyGLYPH8", "error no_such_port", 4,
         "there is no serial port COM"),
        ("device_not_serial", "/dev/null", "error not_a_serial_port", 4, "is not a serial port"),
        ("file_not_serial", plain, "error not_a_serial_port", 4, "is not a serial port"),
        ("nothing_answers", silent, "error no_answer", NO_ANSWER_EXIT,
         "no bootloader answered on this port"),
    ]
    try:
        for number, (name, target, tool_says, cli_exit, cli_says) in enumerate(rows, 61):
            with ComPort(number, target) as port:
                status, out, err, seconds = wine(TOOL_EXE, port.name,
                                                 os.path.join(WORK, "one_page.hex"))
                said = out.decode(errors="replace").strip()
                check(f"tool_{name}", status == 1 and said.startswith(tool_says) and
                      seconds < 15, f"exit {status} after {seconds:.1f} s: {said} {err}")
                status, _, err, seconds = wine(CLI_EXE, "--upload", port.name, "--display",
                                               "max7219", "--", "Hi")
                check(f"cli_{name}", status == cli_exit and cli_says in err and seconds < 15,
                      f"exit {status} after {seconds:.1f} s: {err}")
                print(f"     {name}: exit {status} after {seconds:.1f} s: "
                      f"{err.strip().splitlines()[-1] if err.strip() else ''}")
    finally:
        os.close(master)


def upload_tool(port, hex_path, *options):
    """upload_tool.exe: (exit status, last line, seconds)."""
    status, out, err, seconds = wine(TOOL_EXE, port, hex_path, *options, timeout=60)
    lines = out.decode(errors="replace").strip().splitlines()
    return status, lines[-1] if lines else err[-500:], seconds


BOOTLOADER = os.path.join(DEV, "tests", "avr", "optiboot_atmega328p.bin")
NATIVE_TOOL = os.path.join(DEV, "upload_tool")


def board_missing():
    """What the board rows need and do not have, if anything."""
    missing = [p for p in (os.path.join(DEV, "board_harness"), BOOTLOADER, NATIVE_TOOL)
               if not DEV or not os.path.exists(p)]
    if not shutil.which("avrdude"):
        missing.append("avrdude")
    return missing


def board():
    figures = []

    # A whole flash of every byte value in turn, then at random: the
    # bootloader's answers carry every value back, XON, XOFF, CR and LF too.
    rng = random.Random(8)
    image = bytes(range(256)) * 4 + bytes(rng.randrange(256) for _ in range(APPLICATION - 1024))
    image_hex = os.path.join(WORK, "whole_flash.hex")
    with open(image_hex, "w") as f:
        for at in range(0, len(image), 16):
            chunk = image[at:at + 16]
            record = bytes([len(chunk), at >> 8, at & 0xFF, 0]) + chunk
            f.write(":" + (record + bytes([-sum(record) & 0xFF])).hex().upper() + "\n")
        f.write(":00000001FF\n")

    with Board() as b, ComPort(41, b.port) as port:
        status, said, seconds = upload_tool(port.name, image_hex)
        if not check("tool_writes_a_whole_flash", status == 0 and said.startswith("ok"), said):
            return  # every other row would wait as long
        figures.append(f"upload_tool.exe, a whole flash ({len(image)} bytes): {seconds:.2f} s")
        flash, why = read_back(b.port)
        check("tool_whole_flash_read_back_by_avrdude", holds(flash, image), why or "differs")
        status, said, seconds = upload_tool(port.name, image_hex, "--compare")
        check("tool_compare_finds_it_there", status == 0 and said.startswith("same"), said)
        figures.append(f"upload_tool.exe, compare of a whole flash: {seconds:.2f} s")

    # glyph8-cli.exe --upload: the program and a message, then another
    # message alone; each time the board holds --intel-hex's bytes.
    rows = [
        # name, message, what stderr must say
        ("cli_program_and_message", "歡迎光臨 Hi", "the program and the message were written"),
        ("cli_message_alone", "你好，世界", "the message alone was written"),
    ]
    with Board() as b, ComPort(42, b.port) as port:
        for name, text, says in rows:
            options = ["--display", "max7219", "--modules", "4", "--scroll", "60"]
            expected = intel_hex(*options, "--", text)
            status, _, err, seconds = wine(CLI_EXE, "--upload", port.name, *options, "--", text,
                                           timeout=120)
            check(name, status == 0 and says in err and "pages read or written" in err and
                  "the board shows the message now" in err, f"exit {status}: {err}")
            figures.append(f"glyph8-cli.exe --upload, {name[4:]}: {seconds:.2f} s")
            flash, why = read_back(b.port)
            check(f"{name}_read_back_by_avrdude", holds(flash, expected),
                  why or f"the flash differs from --intel-hex's {len(expected)} bytes")

    # The same whole flash by the Windows build under Wine and by the native
    # build, on the same simulated board.
    times = {"wine": [], "native": []}
    with Board() as b, ComPort(43, b.port) as port:
        for _ in range(RUNS):
            _, said, _ = upload_tool(port.name, image_hex)
            if said.startswith("ok"):
                times["wine"].append(float(said.split()[1]))
            result = subprocess.run([NATIVE_TOOL, b.port, image_hex], capture_output=True,
                                    text=True, timeout=120)
            said = (result.stdout.strip().splitlines() or [""])[-1]
            if said.startswith("ok"):
                times["native"].append(float(said.split()[1]))
    check("timed_runs_all_wrote", all(len(t) == RUNS for t in times.values()), str(times))
    for build, t in times.items():
        if t:
            figures.append(f"a whole flash, {build}: median {statistics.median(t):.2f} s of "
                           f"{len(t)} ({', '.join(f'{s:.2f}' for s in t)})")
    for figure in figures:
        print("time:", figure)
    return 0


def main():
    missing = board_missing() if MODE == "board" else []
    if missing:
        print(f"SKIP: no simulated Uno: the dev build ({DEV or 'GLYPH8_DEV_BUILD, not set'}) "
              f"lacks {', '.join(m for m in missing if m != 'avrdude') or 'nothing'}"
              f"{' and avrdude is not installed' if 'avrdude' in missing else ''}: build it "
              f"first (cmake --build --preset dev, as tools/dev.sh test does)")
        return SKIP
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    start_prefix()
    try:
        errors() if MODE == "errors" else board()
    finally:
        stop_prefix()
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
