"""The page in Debian's Chromium, as a user drives it: real keys into Text2,
a click and Enter, the output box and the enlarged view read back, pastes
over the input box's limit, a batch download, the licences, no request to
anywhere, the upload button only where there is Web Serial, and batch runs
that fail inside the wasm. Also measures what the
page costs.

    page_test.py BUILD_WEB CLI_JS NODE_RUN [SCREENSHOT]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import http.server
import functools

from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select
from selenium.webdriver.chrome.service import Service


def browser(downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--disable-dev-shm-usage", "--window-size=800,900",
                 "--user-data-dir=" + tempfile.mkdtemp()]:
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def cli_line(node_run, cli_js, text):
    return subprocess.run([node_run, cli_js, text], check=True, capture_output=True,
                          text=True).stdout.strip()


def wait_ready(driver, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        ready = driver.execute_script("return window.glyph8Timing && glyph8Timing.ready")
        if ready:
            return ready
        time.sleep(0.02)
    raise AssertionError("the page never became ready")


def wait_until(driver, script, timeout=30, *args):
    end = time.time() + timeout
    while time.time() < end:
        value = driver.execute_script(script, *args)
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("waited in vain for: " + script)


def run_batch(driver, text=None, format=None):
    """Clicks 產生 and waits for the run to end (the button is disabled
    while it runs)."""
    driver.execute_script("""
        if (arguments[0] !== null) document.getElementById('batchText').value = arguments[0];
        if (arguments[1] !== null) document.getElementById('batchFormat').value = arguments[1];
        document.getElementById('batchRun').click();""", text, format)
    wait_until(driver, "return !document.getElementById('batchRun').disabled")


def uncaught(driver):
    """Errors thrown in the page's scripts that nothing caught."""
    return [e["message"] for e in driver.get_log("browser")
            if e["level"] == "SEVERE" and (e["source"] == "javascript" or "Uncaught" in e["message"])]


# Real copy and paste: "xy" copied from another box, pasted into Text2 over
# what is there (all of it selected, or the caret at the end).
PASTES = [
    # name, characters in Text2, select all first, length after, notice shown
    ("xy after 99,999 characters: y is cut", 99999, False, 100000, True),
    ("xy over all of 99,999 characters", 99999, True, 2, False),
    ("xy after 99,998 characters: it fits", 99998, False, 100000, False),
]


def check_pastes(driver, failures):
    name = driver.find_element(By.ID, "batchName")
    text2 = driver.find_element(By.ID, "Text2")
    cut = driver.execute_script("return form.cutNotice")
    for row, length, select_all, after, notice in PASTES:
        name.clear()
        name.send_keys("xy")
        name.send_keys(Keys.CONTROL, "a")
        name.send_keys(Keys.CONTROL, "c")
        driver.execute_script("arguments[0].value = 'a'.repeat(arguments[1]);", text2, length)
        text2.click()
        text2.send_keys((Keys.CONTROL, "a") if select_all else (Keys.END,))
        text2.send_keys(Keys.CONTROL, "v")
        time.sleep(0.1)  # the notice is set once the paste is in
        value, shown = driver.execute_script(
            "return [document.getElementById('Text2').value,"
            " document.getElementById('notice').textContent]")
        if len(value) != after or not value.endswith("x" if notice else "xy"):
            failures.append(f"paste, {row}: {len(value)} characters ending {value[-3:]!r}")
        if shown != (cut if notice else ""):
            failures.append(f"paste, {row}: notice {shown!r}")
    name.clear()
    name.send_keys("d")
    text2.send_keys(Keys.CONTROL, "a")
    text2.send_keys(Keys.BACKSPACE)


def check_licences(driver, failures):
    driver.find_element(By.ID, "aboutOpen").click()
    about = driver.find_element(By.ID, "about")
    text = about.text
    if not about.get_attribute("open"):
        failures.append("the licences view did not open")
    for needed in ["Copyright (c) 2026 The glyph8 developers", "Permission is hereby granted",
                   "Version 2.0, January 2004",
                   "TERMS AND CONDITIONS FOR USE, REPRODUCTION, AND DISTRIBUTION",
                   "xfonts-base", "fonts-misaki", "fonts-droid-fallback", "fonts-noto-cjk",
                   "fonts-arphic-uming"]:
        if needed not in text:
            failures.append("the licences view lacks " + repr(needed))
    driver.find_element(By.ID, "aboutClose").click()
    if about.get_attribute("open"):
        failures.append("the licences view did not close")


# Batch runs under a low memory ceiling: the last result goes as the run
# starts; a failure is said in the page, the instance is started afresh (its
# memory back to where it started), nothing escapes to the console, and the
# next run works.
FAILURES = [
    # name, format, text, modules, must fail
    # Fails whatever the writers do: the wasm cannot hold two copies of it.
    ("a text the memory cannot copy", "each", "國" * ((14 << 20) // 3), "4", True),
    # The tester's case made small: the GIF writer runs out of memory as it
    # is now; should it come to fit, the new preview must be the one shown.
    ("a preview larger than the memory", "preview", "國" * 2000, "16", False),
]
CEILING = 32 << 20
CLEARED = [True, "", True, "", ""]


def batch_shown(driver):
    return driver.execute_script("""
        const value = id => document.getElementById(id);
        return [value('batchPreview').hidden, value('batchPreview').src,
                value('batchDownload').hidden, value('batchDownload').href,
                value('batchOut').textContent];""")


def check_failures(driver, page, failures):
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                           {"source": f"window.glyph8MemoryCeiling = {CEILING};"})
    driver.get(page)
    wait_ready(driver)
    uncaught(driver)
    start = driver.execute_script("return wasm.HEAPU8.length")
    for row, format, text, modules, must_fail in FAILURES:
        driver.execute_script("document.getElementById('batchModules').value = '16'")
        run_batch(driver, "歡迎光臨", "preview")
        old = driver.execute_script("return document.getElementById('batchPreview').src")
        if not old.startswith("blob:"):
            failures.append(f"{row}: no preview before it")
        restarts = driver.execute_script("return glyph8Timing.restarts")
        driver.execute_script("window.lastInstance = new WeakRef(wasm)")
        # In the click, before the run: nothing of the last result is left.
        driver.execute_script("""
            const value = id => document.getElementById(id);
            value('batchModules').value = arguments[2];
            value('batchText').value = arguments[0];
            value('batchFormat').value = arguments[1];
            value('batchRun').click();
            window.atClick = [value('batchPreview').hidden, value('batchPreview').src,
                              value('batchDownload').hidden, value('batchDownload').href,
                              value('batchOut').textContent];""", text, format, modules)
        at_click = driver.execute_script("return window.atClick")
        if at_click != CLEARED:
            failures.append(f"{row}: the last result still shown as the run starts: {at_click}")
        wait_until(driver, "return !document.getElementById('batchRun').disabled", 120)
        wait_until(driver, "return wasm !== null", 60)
        said = driver.execute_script("return document.getElementById('batchMessages').textContent")
        shown = batch_shown(driver)
        if driver.execute_script("return glyph8Timing.restarts") > restarts:
            if not said.startswith("記憶體不足") or "已重新啟動" not in said:
                failures.append(f"{row}: said {said!r}")
            if shown != CLEARED:
                failures.append(f"{row}: a result shown after the failure: {shown}")
            memory = driver.execute_script("return wasm.HEAPU8.length")
            if memory != start:
                failures.append(f"{row}: {memory} bytes of memory after the failure, not {start}")
            # The failed instance, with all the memory it grew to, is garbage.
            driver.execute_cdp_cmd("HeapProfiler.collectGarbage", {})
            if driver.execute_script("return lastInstance.deref() !== undefined"):
                failures.append(f"{row}: the failed instance is still held")
        elif must_fail:
            failures.append(f"{row}: did not fail: {said!r}")
        elif shown[0] or shown[1] == old or shown[3] != shown[1]:
            failures.append(f"{row}: not its own preview: {shown}")
        errors = uncaught(driver)
        if errors:
            failures.append(f"{row}: in the console: {errors[:2]}")
        driver.execute_script("document.getElementById('batchModules').value = '4'")
        run_batch(driver, "國6說", "bdf")
        if not driver.execute_script("return document.getElementById('batchOut').textContent"
                                     ).startswith("STARTFONT"):
            failures.append(f"{row}: the run after it did not work")


# The brightness or contrast field beside the display: what it is called,
# and what the sketch then holds. None: the display takes neither.
LEVELS = [
    # name, display, typed, label, in the sketch
    ("MAX7219 brightness", "max7219", "9", "亮度", "#define INTENSITY 9  // --brightness 9"),
    ("LCD contrast", "pcd8544", "64", "對比", "#define LCD_CONTRAST 64  // --contrast 64"),
    ("OLED left empty", "sh1106spi", "", "亮度", " --arduino uno"),
    ("bare matrix", "matrix", None, None, " --arduino uno"),
]

# The I2C address beside the display: the choices, and what the sketch holds.
ADDRESSES = [
    # name, display, chosen, the choices, in the sketch
    ("OLED at 0x3D", "ssd1306", "0x3D", ["0x3C", "0x3D"], "#define OLED_ADDRESS 0x3D  // --address 0x3D"),
    ("OLED as usual", "sh1106", "0x3C", ["0x3C", "0x3D"], "--page 3000 --arduino uno"),
    ("HT16K33 from 0x72", "ht16k33", "0x72", [f"0x{a:X}" for a in range(0x70, 0x78)],
     "#define HT16K33_ADDRESS 0x72  // --address 0x72"),
    ("SPI panel", "ssd1306spi", None, None, "--page 3000 --arduino uno"),
]


def check_addresses(driver, failures):
    for row, display, chosen, choices, wanted in ADDRESSES:
        Select(driver.find_element(By.ID, "batchDisplay")).select_by_value(display)
        field = driver.find_element(By.ID, "batchAddress")
        shown = [o.text for o in Select(field).options] if field.is_displayed() else None
        if shown != choices:
            failures.append(f"{row}: the addresses offered are {shown}")
        if chosen:
            Select(field).select_by_visible_text(chosen)
        run_batch(driver, "Hi", "sketch")
        out = driver.execute_script("return document.getElementById('batchOut').textContent")
        made = next((l for l in out.splitlines() if "Made with" in l), "")
        if wanted not in out or (chosen in (None, "0x3C") and "--address" in made):
            failures.append(f"{row}: the sketch says {made!r}")
    Select(driver.find_element(By.ID, "batchDisplay")).select_by_value("max7219")


def check_levels(driver, failures):
    for row, display, typed, label, wanted in LEVELS:
        Select(driver.find_element(By.ID, "batchDisplay")).select_by_value(display)
        Select(driver.find_element(By.ID, "batchMotion")).select_by_value("scroll")
        field = driver.find_element(By.ID, "batchLevel")
        shown = field.is_displayed()
        name = driver.find_element(By.ID, "batchLevelName").text if shown else None
        if name != label:
            failures.append(f"{row}: the field is {name!r}, not {label!r}")
        if typed:
            field.send_keys(typed)
        run_batch(driver, "Hi", "sketch")
        out = driver.execute_script("return document.getElementById('batchOut').textContent")
        made = next((l for l in out.splitlines() if "Made with" in l), "")
        if wanted not in out or (not typed and ("--brightness" in made or "--contrast" in made)):
            failures.append(f"{row}: the sketch says {made!r}")
    Select(driver.find_element(By.ID, "batchDisplay")).select_by_value("max7219")


# The upload button where the browser has Web Serial; elsewhere a note that
# says which browsers upload.
SERIAL = [
    # name, script before the page, button shown, note shown
    ("a browser with Web Serial", "", True, False),
    ("a browser without Web Serial", "delete Navigator.prototype.serial;", False, True),
]


def check_upload_button(driver, page, failures, shot):
    for row, script, button, note in SERIAL:
        added = driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": script})
        try:
            driver.get(page)
            wait_ready(driver)
            shown = [driver.find_element(By.ID, "uploadRun").is_displayed(),
                     driver.find_element(By.ID, "uploadNote").is_displayed()]
            said = driver.find_element(By.ID, "uploadNote").text
            if shown != [button, note]:
                failures.append(f"{row}: button and note shown {shown}")
            if note and not ("Chrome" in said and "Edge" in said):
                failures.append(f"{row}: the note says {said!r}")
            if note and shot:
                driver.execute_script("document.getElementById('batchRun').scrollIntoView()")
                driver.save_screenshot(os.path.splitext(shot)[0] + "_no_serial.png")
        finally:
            driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument",
                                   {"identifier": added["identifier"]})


def requests_made(driver):
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            urls.append(message["params"]["request"]["url"])
    return urls


def main():
    build, cli_js, node_run = sys.argv[1:4]
    shot = sys.argv[4] if len(sys.argv) > 4 else None
    failures = []
    downloads = tempfile.mkdtemp()
    driver = browser(downloads)
    driver.get_log("performance")  # the browser's own start, before the page
    try:
        page = "file://" + os.path.abspath(os.path.join(build, "glyph8.html"))
        loads = []
        for _ in range(3):
            driver.get(page)
            loads.append(wait_ready(driver))
        text2 = driver.find_element(By.ID, "Text2")
        text1 = driver.find_element(By.ID, "Text1")
        for element in ["Label1", "Text2", "Command1", "Text1", "pic", "matrix"]:
            driver.find_element(By.ID, element)
        # Real keys, then the button.
        text2.send_keys(Keys.END, Keys.SHIFT, Keys.HOME, Keys.NULL, Keys.BACKSPACE)
        text2.send_keys("國")
        driver.find_element(By.ID, "Command1").click()
        if text1.get_attribute("value") != cli_line(node_run, cli_js, "國"):
            failures.append("國: " + text1.get_attribute("value"))
        # Enter does what the button does; the enlarged view shows the same.
        text2.send_keys(Keys.END, Keys.SHIFT, Keys.HOME, Keys.NULL, Keys.BACKSPACE)
        text2.send_keys("說", Keys.ENTER)
        line = text1.get_attribute("value")
        if line != cli_line(node_run, cli_js, "說"):
            failures.append("說 with Enter: " + line)
        lit = driver.execute_script("""
            const g = document.getElementById('matrix').getContext('2d'), bytes = [];
            for (let x = 0; x < 8; ++x) {
              let b = 0;
              for (let y = 0; y < 8; ++y) {
                const p = g.getImageData(x * 12 + 6, y * 12 + 6, 1, 1).data;
                if (p[0] === 255 && p[1] === 48) b |= 1 << y;
              }
              bytes.push(b);
            }
            return bytes;""")
        if "byte d[]={ " + ", ".join(map(str, lit)) + "};" != line:
            failures.append(f"enlarged view {lit} against {line}")
        clicks = driver.execute_script("""
            const times = [];
            for (let i = 0; i < 21; ++i) {
              document.getElementById('Command1').click();
              times.push(glyph8Timing.click);
            }
            return times;""")
        # A batch download: the BDF font of the text, as the command line writes it.
        batch_text = driver.find_element(By.ID, "batchText")
        batch_text.clear()
        batch_text.send_keys("國6說")
        Select(driver.find_element(By.ID, "batchFormat")).select_by_value("bdf")
        driver.find_element(By.ID, "batchRun").click()
        wait_until(driver, "return !document.getElementById('batchRun').disabled")
        driver.find_element(By.ID, "batchDownload").click()
        path = os.path.join(downloads, "glyph8.bdf")
        for _ in range(100):
            if os.path.exists(path):
                break
            time.sleep(0.05)
        expected = subprocess.run([node_run, cli_js, "--bdf", "國6說"], check=True,
                                  capture_output=True).stdout
        if not os.path.exists(path) or open(path, "rb").read() != expected:
            failures.append("the BDF download differs from glyph8-cli --bdf")
        # The 5,495-character table, in the page.
        each = open(os.path.join(os.path.dirname(__file__), "..", "data", "big5_level1.txt"),
                    encoding="utf-8").read()
        each = "".join(chr(c) for c in range(33, 127)) + each
        table_times = []
        for _ in range(5):
            run_batch(driver, each, "each")
            table = driver.execute_script(
                "return [glyph8Timing.batch, document.getElementById('batchOut').textContent];")
            table_times.append(table[0])
        expected_table = open(os.path.join(os.path.dirname(__file__), "..", "data",
                                           "each_ascii_big5_level1.txt"), encoding="utf-8").read()
        if table[1] != expected_table:
            failures.append("the page's --each table differs from the checked-in one")
        check_levels(driver, failures)
        check_addresses(driver, failures)
        run_batch(driver, "歡迎光臨", "preview")
        check_pastes(driver, failures)
        check_licences(driver, failures)
        foreign = [u for u in requests_made(driver)
                   if not u.startswith(("file:", "data:", "blob:", "chrome:", "about:"))]
        if foreign:
            failures.append("requests: " + ", ".join(foreign[:5]))
        driver.execute_script("document.getElementById('Text2').value = '國';"
                              "document.getElementById('Command1').click();")
        run_batch(driver, "國6說", "each")
        driver.execute_script("window.scrollTo(0, 0);")
        if shot:
            driver.save_screenshot(shot)
        # The split build, served from this machine as a host would.
        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass
        handler = functools.partial(Quiet, directory=os.path.join(build, "site"))
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        split = []
        for _ in range(3):
            driver.get(f"http://127.0.0.1:{server.server_port}/glyph8.html")
            split.append(wait_ready(driver))
        server.shutdown()
        errors = uncaught(driver)
        if errors:
            failures.append("in the console: " + "; ".join(errors[:3]))
        check_upload_button(driver, page, failures, shot)
        check_failures(driver, page, failures)
        print(f"one-file page ready: median {statistics.median(loads):.0f} ms {[round(t) for t in loads]}")
        print(f"split page ready: median {statistics.median(split):.0f} ms {[round(t) for t in split]}")
        print(f"click: median {statistics.median(clicks):.2f} ms")
        print(f"--each over 5,495 characters in the page: median {statistics.median(table_times):.0f} ms")
    finally:
        driver.quit()
    for f in failures:
        print("FAIL " + f)
    print(f"{'ok' if not failures else 'failed'}: the page in Chromium")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
