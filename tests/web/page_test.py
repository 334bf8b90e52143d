"""The page in Debian's Chromium, as a user drives it: real keys into Text2,
a click and Enter, the output box and the enlarged view read back, a batch
download, and no request to anywhere. Also measures what the page costs.

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
            table = driver.execute_script("""
                document.getElementById('batchText').value = arguments[0];
                document.getElementById('batchFormat').value = 'each';
                document.getElementById('batchRun').click();
                return [glyph8Timing.batch, document.getElementById('batchOut').textContent];""",
                each)
            table_times.append(table[0])
        expected_table = open(os.path.join(os.path.dirname(__file__), "..", "data",
                                           "each_ascii_big5_level1.txt"), encoding="utf-8").read()
        if table[1] != expected_table:
            failures.append("the page's --each table differs from the checked-in one")
        driver.execute_script("document.getElementById('batchText').value = '歡迎光臨';"
                              "document.getElementById('batchFormat').value = 'preview';")
        driver.find_element(By.ID, "batchRun").click()
        foreign = [u for u in requests_made(driver)
                   if not u.startswith(("file:", "data:", "blob:", "chrome:", "about:"))]
        if foreign:
            failures.append("requests: " + ", ".join(foreign[:5]))
        driver.execute_script("document.getElementById('Text2').value = '國';"
                              "document.getElementById('Command1').click();"
                              "document.getElementById('batchFormat').value = 'each';"
                              "document.getElementById('batchText').value = '國6說';"
                              "document.getElementById('batchRun').click(); window.scrollTo(0, 0);")
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
