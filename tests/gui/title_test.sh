#!/bin/sh
# The title the window manager is given names glyph8 once: Qt adds the
# application's display name to a title that does not end with it.
#   title_test.sh GLYPH8
# The window manager is X11's: the platform is set here, whatever the caller's
# environment says (QT_QPA_PLATFORM=offscreen would show no window at all).
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a sh -c '
    "$0" & pid=$!
    name=
    for i in $(seq 100); do
        id=$(xdotool search --name "點陣字碼產生器" 2>/dev/null | tail -n 1)
        [ -n "$id" ] && name=$(xprop -id "$id" _NET_WM_NAME 2>/dev/null) && break
        sleep 0.1
    done
    kill "$pid"
    echo "$name"
    [ "$(printf "%s" "$name" | grep -o glyph8 | wc -l)" -eq 1 ]' "$1"
