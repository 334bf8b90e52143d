#!/bin/bash
# Builds glyph8's prebuilt programs, one per display and board, with
# Debian's arduino-builder (the IDE's own builder), into DIR/DISPLAY-BOARD.bin:
# flash from address 0, the code and its data's initial values.
#
#   output/images/build.sh IMAGE_PROGRAM DIR
#
# IMAGE_PROGRAM is the build's glyph8_image_program. The .bin files in
# output/images/ are these, committed so that every build (Windows, the
# page) carries them; the test run builds them again and compares.
set -euo pipefail
program=$1
out=$2
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
displays=(max7219 ht16k33 ssd1306 sh1106 matrix hc595 ws2812 ssd1306x32 ssd1306spi sh1106spi pcd8544)
boards=("uno arduino:avr:uno" "mega arduino:avr:mega:cpu=atmega2560")
for display in "${displays[@]}"; do
    for entry in "${boards[@]}"; do
        board=${entry%% *}
        fqbn=${entry#* }
        name=$display-$board
        sketch=${name//-/_}
        mkdir -p "$work/$sketch" "$work/build-$sketch" "$work/cache"
        "$program" "$display" "$board" >"$work/$sketch/$sketch.ino"
        if ! arduino-builder -hardware /usr/share/arduino/hardware -hardware /usr/share/arduino-builder \
            -tools /usr/bin -fqbn "$fqbn" -build-path "$work/build-$sketch" \
            -build-cache "$work/cache" -warnings all \
            "-prefs=compiler.cpp.extra_flags=-DDECIMAL_DIG=__DECIMAL_DIG__" -compile "$work/$sketch/$sketch.ino" \
            >"$work/$sketch.log" 2>&1; then
            cat "$work/$sketch.log" >&2
            echo "build.sh: $name did not build" >&2
            exit 1
        fi
        if grep -q "$sketch.ino:[0-9:]* warning" "$work/$sketch.log"; then
            cat "$work/$sketch.log" >&2
            echo "build.sh: $name builds with warnings" >&2
            exit 1
        fi
        elf=$work/build-$sketch/$sketch.ino.elf
        avr-objcopy -O binary -j .text -j .data "$elf" "$out/$name.bin"
        # The program finds its block past __data_load_end: that must be
        # where the flash image ends.
        end=$(avr-nm "$elf" | awk '$3 == "__data_load_end" { print $1 }')
        size=$(stat -c %s "$out/$name.bin")
        if (( 16#$end != size )); then
            echo "build.sh: $name ends at $size bytes but its data at 0x$end" >&2
            exit 1
        fi
        ram=$(avr-size -A "$elf" | awk '$1 == ".data" || $1 == ".bss" { s += $2 } END { print s }')
        echo "$name: $size bytes of flash, $ram of RAM"
    done
done
