#!/bin/sh
# glyph8.exe as a user meets it, under Wine on a virtual X display: a click
# right after start, typed text, Tab and Shift+Tab. The controls are read
# back with glyph8_probe.exe and compared with glyph8-cli.exe's lines.
#   xvfb-run window_test.sh GLYPH8_EXE PROBE_EXE CLI_EXE WINEPREFIX [SHOT.png]
set -u
exe=$1 probe_exe=$2 cli_exe=$3 shot=${5:-}
WINEPREFIX=$4 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
mkdir -p "$WINEPREFIX"
# A Wine server started without this display would keep the window hidden.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
wine "$exe" &
trap 'wineserver -k 2>/dev/null' EXIT
for _ in $(seq 300); do
    xdotool search --name 'glyph8' >/dev/null 2>&1 && break
    sleep 0.1
done

fail=0
probe() { wine "$probe_exe" "$@" | tr -d '\r'; }
line() { wine "$cli_exe" "$1" | tr -d '\r'; }
expect() { # name wanted command...: asks again for up to 5 s, as Wine may lag
    name=$1 want=$2
    shift 2
    for _ in $(seq 25); do
        got=$("$@")
        [ "$got" = "$want" ] && break
        sleep 0.2
    done
    if [ "$got" = "$want" ]; then
        echo "ok   $name"
    else
        echo "FAIL $name: got '$got', wanted '$want'" >&2
        fail=1
    fi
}
click() { # control
    set -- $(probe rect "$1")
    xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) click 1
    sleep 0.3
}

expect start_text1 "Text1" probe text Text1
# The input takes 100,000 characters, far more than reach the picture box.
expect input_limit "100000" probe limit Text2
expect start_focus "Text2" probe focus
# Right after start a click captures the initial 6.
click Command1
expect click_six "$(line 6)" probe text Text1
# Typed text, a hand-drawn and a composed character, then the button.
for text in 國 說; do
    click Text2
    xdotool key End shift+Home BackSpace
    xdotool type --delay 80 "$text"
    sleep 0.3
    expect "typed_$text" "$text" probe text Text2
    click Command1
    expect "capture_$text" "$(line "$text")" probe text Text1
done
# Enter in the input box presses the default button.
click Text2
xdotool key End shift+Home BackSpace
xdotool type --delay 80 "6"
xdotool key Return
sleep 0.3
expect enter_six "$(line 6)" probe text Text1
# Tab walks pic, Text1, Command1, Text2 and around; Shift+Tab walks back.
output=$(probe text Text1)
click pic
expect focus_pic "pic" probe focus
for want in Text1 Command1 Text2 pic; do
    xdotool key Tab
    expect "tab_to_$want" "$want" probe focus
done
for want in Text2 Command1 Text1 pic; do
    xdotool key shift+Tab
    expect "back_to_$want" "$want" probe focus
done
expect tabs_leave_text1 "$output" probe text Text1
if [ -n "$shot" ]; then
    click Text2
    xdotool key End shift+Home BackSpace
    xdotool type --delay 80 "國"
    click Command1
    import -window root "$shot"
fi
exit $fail
