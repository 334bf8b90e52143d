"""The page's upload button in Debian's Chromium against simulated boards
(tests/avr/board_harness: an Uno with the real optiboot, a Mega 2560 with
its STK500v2 bootloader, an ATmega168 board) behind a pseudo-terminal.

Chromium lists only the serial ports it finds in sysfs, so the harness's
pseudo-terminal is bind-mounted over /dev/ttyS0, and a managed policy
(SerialAllowAllPortsForUrls) grants the page every port, so that no chooser
opens. Each upload is clicked as a user would; the board's flash must then
hold glyph8-cli --intel-hex's image for the same options, byte for byte.
Each way an upload fails must be said as a failure, with nothing left of the
last success, and the port must be closed on every path. The times are
printed.

    upload_test.py BUILD_WEB NATIVE_BUILD [SCREENSHOT_DIR]

NATIVE_BUILD holds board_harness, glyph8-cli and tests/avr's bootloaders.
Needs root for the mount and the policy; exits 77 (skipped) without it or
when the setup cannot be made.
"""
import contextlib
import fcntl
import functools
import http.server
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

# The simulated board is shared with the command line's upload tests.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "avr"))
import simulated_board

SKIP = 77
PORT = "/dev/ttyS0"
POLICIES = "/etc/chromium/policies/managed"
LOCK = "/run/lock/glyph8_web_upload.lock"

BUILD_WEB, NATIVE = sys.argv[1:3]
SHOTS = sys.argv[3] if len(sys.argv) > 3 else None
HARNESS = os.path.join(NATIVE, "board_harness")
CLI = os.path.join(NATIVE, "glyph8-cli")
BOOTLOADERS = os.path.join(NATIVE, "tests", "avr")
# A board: the harness's --mcu, its bootloader, the flash below the
# bootloader, the bytes of a page.
UNO = ("atmega328p", "optiboot_atmega328p.bin", 0x7E00, 128)
MEGA = ("atmega2560", "stk500v2_atmega2560.bin", 0x3E000, 256)
ATMEGA168 = ("atmega168", "optiboot_atmega168.bin", 0x3E00, 128)

# Uploads that must work, each with the page's message options as a user
# sets them and what glyph8-cli is given for the same message.
UPLOADS = [
    # name, board, text, display, wiring, modules, motion, ms, arduino, colour
    ("max7219 fc16 x4 scrolling, Uno", UNO, "歡迎光臨 Hello", "max7219", "fc16", 4, "scroll", 60,
     "uno", None),
    ("ws2812 progressive x2 in colour, paging, Uno", UNO, "國說", "ws2812", "progressive", 2,
     "page", 300, "uno", "2080ff"),
    ("ssd1306, Mega 2560", MEGA, "你好，世界\n第二行", "ssd1306", "module", None, "page", 3000,
     "mega", None),
]

# Uploads that must fail, each after a success, with what the page must say
# (and the problem's own words under it).
FAILURES = [
    # name, board behind the port (None: nothing at all), arduino, text (None: the
    # first upload's), unplugged half way, said, at most seconds (from the click, or from
    # the unplugging), the page forgets the port
    ("nothing behind the port", None, "uno", None, False, "開發板沒有回應", 12.5, True),
    ("an ATmega168 board taken for an Uno", ATMEGA168, "uno", None, False,
     "微控制器不是 Arduino Uno 的", 10, True),
    ("a message too long for an Uno", UNO, "uno", "Hello " * 8000, False, "無法產生要上傳的程式",
     5, False),
    ("an Uno unplugged half way", UNO, "uno", None, True, "開發板已被拔除", 5, False),
]

SUCCESS = "上傳完成"
FAILED = "上傳失敗："


class Skip(Exception):
    pass


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--disable-dev-shm-usage", "--window-size=800,1100",
                 "--user-data-dir=" + tempfile.mkdtemp()]:
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


@contextlib.contextmanager
def served(directory):
    """The page over http from 127.0.0.1: a policy names an origin, which a
    file:// page has not."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Quiet, directory=directory))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield f"http://127.0.0.1:{server.server_port}"
    finally:
        server.shutdown()
        server.server_close()


@contextlib.contextmanager
def serial_policy(origin):
    """Chromium grants `origin` every serial port; the file and any folder
    made for it go afterwards."""
    made = []
    folder = POLICIES
    while not os.path.isdir(folder):
        made.append(folder)
        folder = os.path.dirname(folder)
    path = os.path.join(POLICIES, f"glyph8_web_upload_{os.getpid()}.json")
    try:
        os.makedirs(POLICIES, exist_ok=True)
        with open(path, "w") as f:
            json.dump({"SerialAllowAllPortsForUrls": [origin]}, f)
    except OSError as e:
        raise Skip(f"cannot write a Chromium policy in {POLICIES}: {e}")
    try:
        yield
    finally:
        with contextlib.suppress(FileNotFoundError):
            os.remove(path)
        for folder in made:
            with contextlib.suppress(OSError):
                os.rmdir(folder)


def unmount_port():
    """Takes the mount off /dev/ttyS0; detached lazily if a program still
    holds the port (then a check has said so), so that it never stays."""
    if subprocess.run(["umount", PORT], capture_output=True).returncode != 0:
        subprocess.run(["umount", "--lazy", PORT], check=True)


@contextlib.contextmanager
def mounted_over_port(pty):
    """`pty` seen as /dev/ttyS0 until the end of `with`."""
    result = subprocess.run(["mount", "--bind", pty, PORT], capture_output=True, text=True)
    if result.returncode != 0:
        raise Skip(f"cannot bind-mount {pty} over {PORT}: {result.stderr.strip()}")
    try:
        yield
    finally:
        unmount_port()


class Board(simulated_board.Board):
    """The board harness on a pseudo-terminal, stopped at the end of `with`;
    its flash is in `flash` afterwards."""

    def __init__(self, board, work):
        mcu, bootloader, _, _ = board
        self.dump = os.path.join(work, "flash.bin")
        super().__init__(HARNESS, os.path.join(BOOTLOADERS, bootloader), mcu,
                         os.path.join(work, "harness.log"), "--dump-flash", self.dump,
                         seconds=300)

    def __exit__(self, *exc):
        super().__exit__(*exc)
        with open(self.dump, "rb") as f:
            self.flash = f.read()


class Nothing:
    """A pseudo-terminal with nobody at the other end."""

    def __enter__(self):
        self.master, slave = os.openpty()
        self.port = os.ttyname(slave)
        os.close(slave)
        return self

    def __exit__(self, *exc):
        os.close(self.master)


def holders(pty):
    """The programs that have the port open, through the mount or not."""
    held = set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError):
            for fd in os.listdir(f"/proc/{pid}/fd"):
                with contextlib.suppress(OSError):
                    if os.readlink(f"/proc/{pid}/fd/{fd}") in (PORT, pty):
                        with open(f"/proc/{pid}/comm") as f:
                            held.add(f.read().strip())
    return held


def image_of(row, work):
    """glyph8-cli --intel-hex for the row's options, as bytes from address 0."""
    _, _, text, display, wiring, modules, motion, ms, arduino, colour = row
    args = [CLI, "--intel-hex", "--display", display, "--board", wiring, "--" + motion, str(ms),
            "--arduino", arduino]
    if modules:
        args += ["--modules", str(modules)]
    if colour:
        args += ["--color", colour, "--max-current", "400"]
    hex_path = os.path.join(work, "image.hex")
    with open(hex_path, "wb") as f:
        subprocess.run(args + ["--", text], stdout=f, check=True)
    bin_path = hex_path + ".bin"
    subprocess.run(["avr-objcopy", "-I", "ihex", "-O", "binary", hex_path, bin_path], check=True)
    with open(bin_path, "rb") as f:
        return f.read()


def set_options(driver, row):
    _, _, text, display, wiring, modules, motion, ms, arduino, colour = row
    driver.execute_script("""
        const set = (id, value) => {
          const e = document.getElementById(id);
          e.value = value;
          e.dispatchEvent(new Event('change'));
        };
        const [text, display, wiring, modules, motion, ms, arduino, colour] = arguments;
        set('batchText', text);
        set('batchDisplay', display);
        set('batchBoard', wiring);
        if (modules) set('batchModules', modules);
        set('batchMotion', motion);
        set('batchMs', ms);
        set('batchArduino', arduino);
        if (colour) set('batchColor', '#' + colour);
        set('batchCurrent', 400);""", text, display, wiring, modules, motion, ms, arduino, colour)


def shown(driver):
    return driver.execute_script("""
        const e = id => document.getElementById(id);
        return { text: e('uploadText').textContent, state: e('uploadText').className,
                 detail: e('uploadDetail').textContent,
                 progress: e('uploadProgress').hidden ? null : e('uploadProgress').value,
                 busy: e('uploadRun').disabled || e('batchRun').disabled };""")


def click_upload(driver, timeout, half_way=None):
    """Clicks the button: what shows at the click, then what shows once the
    buttons are back, and the seconds in between; calls `half_way` once half
    of the pages are written and read back, and says the seconds from that
    call too: how long the page takes to see what happened then, however long
    a busy machine took to get half way (None when it was not called)."""
    start = time.monotonic()
    halved = None
    at_click = driver.execute_script("""
        document.getElementById('uploadRun').click();
        const e = id => document.getElementById(id);
        return { text: e('uploadText').textContent, state: e('uploadText').className,
                 detail: e('uploadDetail').textContent,
                 progress: e('uploadProgress').hidden ? null : e('uploadProgress').value,
                 busy: e('uploadRun').disabled && e('batchRun').disabled };""")
    while time.monotonic() - start < timeout:
        after = shown(driver)
        if not after["busy"]:
            now = time.monotonic()
            return at_click, after, now - start, None if halved is None else now - halved
        if half_way and after["progress"] and after["progress"] * 2 >= \
                driver.execute_script("return document.getElementById('uploadProgress').max"):
            half_way()
            half_way = None
            halved = time.monotonic()
        time.sleep(0.05)
    now = time.monotonic()
    return at_click, shown(driver), now - start, None if halved is None else now - halved


def uncaught(driver):
    return [e["message"] for e in driver.get_log("browser")
            if e["level"] == "SEVERE" and (e["source"] == "javascript" or "Uncaught" in e["message"])]


def check_cleared(row, at_click, failures):
    """Nothing of the last upload is shown once the click has started one."""
    if SUCCESS in at_click["text"] or at_click["state"] or at_click["progress"] or \
            at_click["detail"] or not at_click["busy"]:
        failures.append(f"{row}: at the click: {at_click}")


def run(driver, origin, work, failures, figures):
    driver.get(origin + "/glyph8.html")
    end = time.time() + 30
    while not driver.execute_script("return window.glyph8Timing && glyph8Timing.ready"):
        if time.time() > end:
            raise AssertionError("the page never became ready")
        time.sleep(0.05)
    ports = driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        navigator.serial.getPorts().then(p => done(p.length), e => done(String(e)));""")
    if ports != 1:
        raise Skip(f"Chromium grants the page {ports} serial ports, not {PORT} alone: "
                   "the policy or the port is not seen")
    if not driver.find_element(By.ID, "uploadRun").is_displayed():
        failures.append("no upload button in a browser with Web Serial")

    for index, row in enumerate(UPLOADS):
        name, board = row[0], row[1]
        image = image_of(row, work)
        set_options(driver, row)
        with Board(board, work) as b, mounted_over_port(b.port):
            shot = os.path.join(SHOTS, "web_upload_progress.png") if SHOTS and index == 1 else None
            at_click, after, seconds, _ = click_upload(
                driver, 90, (lambda: driver.save_screenshot(shot)) if shot else None)
            check_cleared(name, at_click, failures)
            timing = driver.execute_script("return glyph8Timing.upload")
            pages = -(-len(image) // board[3])
            if not after["text"].startswith(SUCCESS) or after["state"] != "done" or \
                    f" {pages} 頁" not in after["text"]:
                failures.append(f"{name}: {after}")
            else:
                figures.append(f"{name}: {len(image)} bytes in {timing / 1000:.2f} s "
                               f"(click to buttons back {seconds:.2f} s)")
            time.sleep(0.5)
            if holders(b.port):
                failures.append(f"{name}: the port is still open in {holders(b.port)}")
            if "sketch at" not in b.said().split("reset")[-1]:
                failures.append(f"{name}: the program did not start after the upload")
            if index == 0:
                if SHOTS:
                    driver.execute_script(
                        "document.getElementById('uploadStatus').scrollIntoView()")
                    driver.save_screenshot(os.path.join(SHOTS, "web_upload.png"))
                # A second client, as a user's avrdude would be: the page has
                # let the port go, and the flash reads back the same.
                read = os.path.join(work, "avrdude.bin")
                result = subprocess.run(
                    ["avrdude", "-c", "arduino", "-p", "m328p", "-P", b.port, "-b", "115200",
                     "-U", f"flash:r:{read}:r"], capture_output=True, text=True, timeout=90)
                back = open(read, "rb").read() if result.returncode == 0 else b""
                if back[:len(image)] != image:
                    failures.append(f"{name}: avrdude reads back another image: "
                                    f"{result.stderr[-500:]}")
        application = board[2]
        if b.flash[:len(image)] != image or \
                b.flash[len(image):application] != b"\xff" * (application - len(image)):
            differs = next((i for i in range(len(image)) if b.flash[i] != image[i]), len(image))
            failures.append(f"{name}: the board's flash is not glyph8-cli --intel-hex's image "
                            f"({len(image)} bytes; first difference at 0x{differs:04X})")

    # The ports the page gives up (a policy's ports stay granted all the same).
    driver.execute_script("""
        const forget = SerialPort.prototype.forget;
        window.forgotten = 0;
        SerialPort.prototype.forget = function () { ++forgotten; return forget.call(this); };""")
    for name, board, arduino, text, unplugged, said, most, forgets in FAILURES:
        # A success first, so that a failure has something to leave behind.
        driver.execute_script("uploadShown('上傳完成：舊的結果', 'done', 1, 1)")
        set_options(driver, UPLOADS[0])
        driver.execute_script("""
            document.getElementById('batchArduino').value = arguments[0];
            if (arguments[1] !== null) document.getElementById('batchText').value = arguments[1];
            """, arduino, text)
        with (Nothing() if board is None else Board(board, work)) as b, mounted_over_port(b.port):
            at_click, after, seconds, since_unplugged = click_upload(
                driver, 60, (lambda: b.process.send_signal(signal.SIGTERM)) if unplugged else None)
            if unplugged and since_unplugged is None:
                failures.append(f"{name}: the upload ended before half way, never unplugged")
            elif unplugged:
                seconds = since_unplugged
            check_cleared(name, at_click, failures)
            if not after["text"].startswith(FAILED) or said not in after["text"] or \
                    after["state"] != "failed" or SUCCESS in after["text"] or \
                    not after["detail"]:
                failures.append(f"{name}: {after}")
            if seconds > most:
                failures.append(f"{name}: {seconds:.1f} s before the page said so")
            figures.append(f"{name}: failed {seconds:.1f} s after "
                           f"{'the unplugging' if unplugged else 'the click'}")
            time.sleep(0.5)
            if holders(b.port):
                failures.append(f"{name}: the port is still open in {holders(b.port)}")
            if driver.execute_script("const n = forgotten; forgotten = 0; return n;") != forgets:
                failures.append(f"{name}: the page {'kept' if forgets else 'forgot'} the port")
        if board is None and SHOTS:
            driver.execute_script("document.getElementById('uploadStatus').scrollIntoView()")
            driver.save_screenshot(os.path.join(SHOTS, "web_upload_failed.png"))
    errors = uncaught(driver)
    if errors:
        failures.append("in the console: " + "; ".join(errors[:3]))


def main():
    if os.geteuid() != 0:
        print(f"skipped: the upload test bind-mounts over {PORT} and writes a Chromium policy, "
              "which needs root")
        return SKIP
    for needed in [HARNESS, CLI, os.path.join(BOOTLOADERS, UNO[1]), PORT, "/sys/class/tty/ttyS0"]:
        if not os.path.exists(needed):
            print(f"skipped: {needed} is missing (the native build makes the harness, "
                  "glyph8-cli and the bootloaders; Chromium needs ttyS0 in sysfs)")
            return SKIP
    failures, figures = [], []
    work = tempfile.mkdtemp(prefix="glyph8_web_upload_")
    # One run at a time on this machine: the port and the policy are shared.
    with open(LOCK, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.ismount(PORT):
            print(f"note: {PORT} was left mounted by a run that was stopped; taken off")
            unmount_port()
        try:
            with served(BUILD_WEB) as origin, serial_policy(origin):
                driver = browser()
                try:
                    run(driver, origin, work, failures, figures)
                finally:
                    driver.quit()
        except Skip as e:
            print(f"skipped: {e}")
            return SKIP
    for figure in figures:
        print("time:", figure)
    for f in failures:
        print("FAIL " + f)
    print(f"{'ok' if not failures else 'failed'}: uploads from the page in Chromium")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
