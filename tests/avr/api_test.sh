#!/bin/sh
# Every display's sketch, built for a board that is not an AVR, against a
# header that declares Arduino's documented API and nothing else: outside its
# marked AVR fast paths a sketch may use nothing more. A display that needs an
# AVR must say so with its own #error.
#   api_test.sh CLI API_DIR WORK_DIR
set -u
cli=$1 api=$2 work=$3
mkdir -p "$work"
failed=0
check() { # NAME OPTIONS...
    name=$1
    shift
    "$cli" --sketch "$@" "歡迎 Hi" >"$work/$name.ino" || { echo "FAIL $name: no sketch"; failed=1; return; }
    if g++ -std=gnu++11 -fsyntax-only -Wall -Wextra -Werror -I"$api" -include arduino_api.h \
        -x c++ "$work/$name.ino" 2>"$work/$name.log"; then
        echo "ok   $name"
    elif grep -q "need an AVR" "$work/$name.log" && [ "$(grep -c "error:" "$work/$name.log")" -eq 1 ]; then
        echo "ok   $name: stops with its own #error on other boards"
    else
        echo "FAIL $name:"
        sed 's/^/    /' "$work/$name.log" | head -20
        failed=1
    fi
}
for display in max7219 matrix hc595 ws2812 ht16k33 ssd1306 sh1106 ssd1306x32 ssd1306spi sh1106spi pcd8544; do
    check "${display}_scroll" --display "$display" --scroll 60
    check "${display}_page" --display "$display" --page 500
done
check max7219_shiftout_mega --arduino mega --board dip
exit $failed
