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
dpkg-deb -f "$deb" Depends | grep -q "qt6-qpa-plugins" && ok ".deb depends on qt6-qpa-plugins" ||
    bad ".deb does not depend on the window's platform plugins: $(dpkg-deb -f "$deb" Depends)"
# glyph8's own licence, named wherever the program goes.
grep -qx "License: Expat" "$tmp/deb/usr/share/doc/glyph8/copyright" && ok ".deb copyright: Expat" ||
    bad ".deb copyright names no licence for glyph8's code"
zcat "$tmp/deb/usr/share/man/man1/glyph8-cli.1.gz" | sed 's/\\f[BIRP]//g; s/\\[,/]//g; s/\\-/-/g' >"$tmp/man"
grep -q "MIT licence" "$tmp/man" && grep -q "licence texts are in /usr/share/doc/glyph8/fonts" "$tmp/man" &&
    ok "man page: MIT licence, licence texts in /usr/share/doc/glyph8/fonts" ||
    bad "man glyph8-cli: $(grep -i licen "$tmp/man")"

dir="$tmp/我的 工具"
mkdir -p "$dir"
unzip -q "dist/glyph8-$version-windows-x64.zip" -d "$dir"
exe_dir="$dir/glyph8-$version-windows-x64"
wine=(tools/wine_run.sh "$PWD/build-windows/wine")
got=$("${wine[@]}" "$exe_dir/glyph8-cli.exe" 說 | tr -d '\r')
[ "$got" = "$want" ] && ok "zip under Wine: glyph8-cli.exe 說" || bad "zip line: $got"
grep -q "MIT License" "$exe_dir/LICENSE.txt" && grep -q "MIT licence" "$exe_dir/README.txt" &&
    ok "zip: LICENSE.txt, named in README.txt" || bad "zip: no LICENSE.txt or README.txt names none"
licences=$("${wine[@]}" "$exe_dir/glyph8-cli.exe" --version | tr -d '\r' |
    sed -n 's/^The fonts. licence texts are in //p')
case $licences in
*'\glyph8-'"$version"'-windows-x64\licences') ok "zip under Wine: --version finds licences\ beside it" ;;
*) bad "zip under Wine: --version gives '$licences' for the licence texts" ;;
esac
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
web_dir="$tmp/web/glyph8-$version-web"
[ "$(ls "$web_dir"/licences/*.txt | wc -l)" = "$(ls build/licences/*.txt | wc -l)" ] &&
    grep -q "MIT License" "$web_dir/LICENSE" && ok "web zip: LICENSE and the fonts' licences" ||
    bad "web zip: LICENSE or the fonts' licences missing"
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
