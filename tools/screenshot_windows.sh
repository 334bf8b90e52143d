#!/usr/bin/env bash
# Starts build-windows/glyph8.exe under Wine and Xvfb, runs the window's test
# (typing, clicks, Tab) and saves a screenshot after capturing 國.
# Usage: tools/screenshot_windows.sh [OUT.png]   (after: cmake --workflow --preset windows)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/window-windows.png}")
exec xvfb-run -a -s "-screen 0 800x400x24" sh tests/win32/window_test.sh \
    build-windows/glyph8.exe build-windows/glyph8_probe.exe build-windows/glyph8-cli.exe \
    "$PWD/build-windows/wine-gui" "$out"
