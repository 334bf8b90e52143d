#!/usr/bin/env bash
# The three packages in dist/, installed and run as a user would: the .deb
# through lintian and dpkg-deb, the Windows zip unpacked into a folder whose
# name has spaces and Chinese and run under Wine (the window on Xvfb), the
# page's zip opened in Chromium. Each gives the build's line for 說.
#   tests/dist/dist_test.sh VERSION
set -uo pipefail
cd "$(dirname "$0")/../.."
version=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0 passed=0 failed=0
ok() { echo "ok   $1"; passed=$((passed + 1)); }
bad() { echo "FAIL $1" >&2; fail=1; failed=$((failed + 1)); }
want=$(build/glyph8-cli 說)

deb=dist/glyph8_${version}_amd64.deb
lintian --allow-root --fail-on error "$deb" >"$tmp/lintian" 2>&1 && ok "lintian: no errors" ||
    bad "lintian: $(cat "$tmp/lintian")"
cat "$tmp/lintian"
dpkg-deb -x "$deb" "$tmp/deb"
for f in usr/bin/glyph8 usr/bin/glyph8-cli usr/share/man/man1/glyph8-cli.1.gz \
    usr/share/applications/glyph8.desktop usr/share/doc/glyph8/copyright; do
    [ -e "$tmp/deb/$f" ] || bad "the .deb lacks $f"
done
[ "$("$tmp/deb/usr/bin/glyph8-cli" 說)" = "$want" ] && ok ".deb: glyph8-cli 說" || bad ".deb line"
"$tmp/deb/usr/bin/glyph8-cli" --version | grep -q "glyph8-cli $version" || bad ".deb version"

dir="$tmp/我的 工具"
mkdir -p "$dir"
unzip -q "dist/glyph8-$version-windows-x64.zip" -d "$dir"
exe_dir="$dir/glyph8-$version-windows-x64"
wine=(tools/wine_run.sh "$PWD/build-windows/wine")
got=$("${wine[@]}" "$exe_dir/glyph8-cli.exe" 說 | tr -d '\r')
[ "$got" = "$want" ] && ok "zip under Wine: glyph8-cli.exe 說" || bad "zip line: $got"
for exe in glyph8.exe glyph8-cli.exe; do
    strings -el "$exe_dir/$exe" | grep -qx "$version" && ok "$exe carries version $version" ||
        bad "$exe has no version resource"
done
# A wine server left from the command line's run has no display: end it.
WINEPREFIX="$PWD/build-windows/wine" wineserver -k 2>/dev/null
WINEPREFIX="$PWD/build-windows/wine" wineserver -w 2>/dev/null
if xvfb-run -a sh -c '
    WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wine "$2" & pid=$!
    for i in $(seq 150); do
        xdotool search --name "點陣字碼產生器" >/dev/null 2>&1 && { kill $pid; exit 0; }
        sleep 0.2
    done
    kill $pid; exit 1' sh "$PWD/build-windows/wine" "$exe_dir/glyph8.exe"; then
    WINEPREFIX="$PWD/build-windows/wine" wineserver -k 2>/dev/null
    ok "zip under Wine: glyph8.exe opens its window"
else
    bad "glyph8.exe from the zip shows no window"
fi

unzip -q "dist/glyph8-$version-web.zip" -d "$tmp/web"
if /usr/bin/python3 - "$tmp/web/glyph8-$version-web/glyph8.html" "$want" <<'PY'; then
import sys, time, tempfile
from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.chrome.service import Service
o = webdriver.ChromeOptions()
o.binary_location = "/usr/bin/chromium"
for f in ["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
          "--disable-background-networking", "--user-data-dir=" + tempfile.mkdtemp()]:
    o.add_argument(f)
d = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=o)
try:
    d.get("file://" + sys.argv[1])
    for _ in range(300):
        if d.execute_script("return window.glyph8Timing && glyph8Timing.ready"):
            break
        time.sleep(0.05)
    box = d.find_element(By.ID, "Text2")
    box.clear()
    box.send_keys("說")
    d.find_element(By.ID, "Command1").click()
    sys.exit(0 if d.find_element(By.ID, "Text1").get_attribute("value") == sys.argv[2] else 1)
finally:
    d.quit()
PY
    ok "web zip: the page gives 說's line"
else
    bad "web zip: the page does not give 說's line"
fi
WINEPREFIX="$PWD/build-windows/wine" wineserver -k 2>/dev/null
ls -l dist/*.deb dist/*.zip
echo "packages: $passed passed, $failed failed"
exit $fail
