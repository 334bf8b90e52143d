#!/usr/bin/env bash
# Starts the window under Xvfb, types a text, clicks 「計算輸出碼」 and saves a
# screenshot of the screen. Usage: tools/screenshot.sh [TEXT] [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
text=${1:-6}
out=${2:-docs/window.png}
mkdir -p "$(dirname "$out")"
# A screenshot of Xvfb's screen needs the window on it, whatever the caller's
# environment says.
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 760x300x24" bash -c '
    set -euo pipefail
    build/glyph8 & app=$!
    trap "kill $app 2>/dev/null || true" EXIT
    for _ in $(seq 50); do
        win=$(xdotool search --onlyvisible --name "glyph8" 2>/dev/null | head -n1) && [ -n "$win" ] && break
        sleep 0.1
    done
    xdotool windowmove "$win" 0 0
    # Keys typed before the window takes the focus are lost (on a busy
    # machine the shot then shows an empty box): wait for the focus.
    xdotool windowfocus --sync "$win"
    sleep 1
    # Replace the input box text (Text2 has the focus at start), then click.
    xdotool key ctrl+a BackSpace
    xdotool type --delay 50 "$1"
    sleep 0.2
    eval "$(xdotool getwindowgeometry --shell "$win")"
    xdotool mousemove $((X + 48)) $((Y + 248)) click 1
    sleep 0.5
    import -window root "$2"
' _ "$text" "$out"
