#!/usr/bin/env bash
# glyph8's one entry point for building, running and testing.
#
#   tools/dev.sh run    install what is missing, build, open the window
#   tools/dev.sh test   install what is missing, build, run every test
#   tools/dev.sh web    install what is missing, build the page, open it
#   tools/dev.sh dist   install what is missing, build the packages into dist/
#   tools/dev.sh docs   install what is missing, build, remake every picture in docs/
#
# All are safe to repeat: packages are installed only when missing, and the
# builds are incremental. CI=true turns compiler warnings into errors.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-dev clang-format hyperfine
    libfreetype-dev libgtest-dev libbenchmark-dev qt6-base-dev
    xfonts-base fonts-misaki fonts-droid-fallback fonts-noto-cjk fonts-arphic-uming fonts-cwtex-heib
    python3 python3-pil xvfb xauth x11-utils xdotool imagemagick
    gcc-avr avr-libc binutils-avr arduino-core-avr arduino-builder simavr libsimavr-dev libelf-dev
    avrdude
    qt6-translations-l10n
    g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev xz-utils
    emscripten chromium chromium-driver python3-selenium
    lintian help2man fakeroot zip unzip
)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "== installing: ${missing[*]}"
        local sudo=()
        ((EUID == 0)) || sudo=(sudo)
        "${sudo[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"
    fi
}

werror=OFF
[[ "${CI:-}" == true ]] && werror=ON

build() { # preset
    cmake --preset "$1" -DGLYPH8_WERROR="$werror" >/dev/null
    cmake --build --preset "$1"
}

# emscripten's tools run under Debian's python and node, with Debian's
# node modules (acorn) on the path.
export EMSDK_PYTHON=/usr/bin/python3
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

version=$(sed -n 's/^project(glyph8 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# dist/: the .deb (from the dev build's installed files, by CPack), the
# Windows zip and the page's zip, each in a folder named after the version.
dist() {
    build dev
    build windows
    build web
    rm -rf dist
    mkdir -p dist/stage
    (cd build && cpack -G DEB -B ../dist/stage/deb >/dev/null)
    mv dist/stage/deb/glyph8_"$version"_amd64.deb dist/
    local win=dist/stage/glyph8-$version-windows-x64
    mkdir -p "$win/licences"
    cp build-windows/glyph8.exe build-windows/glyph8-cli.exe "$win/"
    cp build-windows/licences/*.txt "$win/licences/"
    sed "s/@PROJECT_VERSION@/$version/" packaging/windows/README.txt | sed 's/$/\r/' >"$win/README.txt"
    sed 's/$/\r/' LICENSE >"$win/LICENSE.txt"
    (cd dist/stage && zip -qr -X "../glyph8-$version-windows-x64.zip" "glyph8-$version-windows-x64")
    local web=dist/stage/glyph8-$version-web
    mkdir -p "$web"
    cp build-web/glyph8.html "$web/"
    cp -r build-web/site "$web/site"
    cp LICENSE "$web/"
    mkdir -p "$web/licences"
    cp build-web/licences/*.txt "$web/licences/"
    (cd dist/stage && zip -qr -X "../glyph8-$version-web.zip" "glyph8-$version-web")
    rm -rf dist/stage
    ls -l dist
}

# Every picture in docs/, one a line: the file, then the command that makes
# it from the builds into "$out". A preview of another display is one more line.
pictures=(
    'docs/window.png            tools/screenshot.sh 國 "$out"'
    'docs/window-windows.png    tools/screenshot_windows.sh "$out"'
    'docs/web.png               rm -f build-web/web.png && ctest --preset web -R "^web_page$" >/dev/null && cp build-web/web.png "$out"'
    'docs/composed.png          build/glyph8_compose_quality "$out" >/dev/null'
    'docs/message.gif           build/glyph8-cli --preview "你好，世界 Hello" >"$out"'
    'docs/oled.gif              build/glyph8-cli --preview --display ssd1306 "$(printf "天氣很好，今天去公園散步。\n歡迎光臨 Hello, World!\n八乘八的中文字，一行十六個字，一個畫面八行。\nLong English lines break between words, as a reader expects.")" >"$out"'
    'docs/oled32.gif            build/glyph8-cli --preview --display ssd1306x32 "$(printf "你好，世界！小小的 0.91 吋 OLED，\n一個畫面四行字。\nHello from a 128x32 panel: four lines, then the next screen.")" >"$out"'
    'docs/lcd.gif               build/glyph8-cli --preview --display pcd8544 "$(printf "你好，世界！諾基亞 5110 的螢幕，一行十個字。\nHello from an 84x48 LCD: six lines, then the next screen.")" >"$out"'
    'docs/ws2812.gif            build/glyph8-cli --preview --display ws2812 --modules 2 --color 2080FF "歡迎光臨" >"$out"'
)

docs() {
    build dev
    build windows
    build web
    local line out command
    for line in "${pictures[@]}"; do
        out=${line%% *}
        command=$(sed 's/^[^ ]* *//' <<<"$line")
        echo "== $out: $command"
        eval "$command" || { echo "failed: $out" >&2; return 1; }
    done
}

case "${1:-}" in
run)
    install_missing
    build dev
    if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
        exec build/glyph8 "${@:2}"
    fi
    echo "No display: starting the window under Xvfb (screenshot: tools/screenshot.sh)." >&2
    QT_QPA_PLATFORM=xcb exec xvfb-run -a build/glyph8 "${@:2}"
    ;;
test)
    install_missing
    echo "== dev build and every test"
    build dev
    ctest --preset dev
    echo "== unit and command-line tests under ASan+UBSan"
    build asan
    ctest --preset asan
    echo "== fuzz smoke run"
    build fuzz
    fuzz/smoke.sh build-fuzz
    echo "== Windows build, its core and command-line tests under Wine"
    build windows
    ctest --preset windows
    echo "== the page in WebAssembly: core and command-line tests under node, the page in Chromium"
    build web
    ctest --preset web
    echo "== the packages, installed and run"
    dist
    tests/dist/dist_test.sh "$version"
    ;;
dist)
    install_missing
    dist
    ;;
docs)
    install_missing
    docs
    ;;
web)
    install_missing
    build web
    echo "The page: $PWD/build-web/glyph8.html (one file, opens from file://); for hosting: build-web/site/"
    command -v xdg-open >/dev/null && [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]] &&
        xdg-open build-web/glyph8.html
    ;;
*)
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
