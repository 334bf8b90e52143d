#!/bin/sh
# Every name glyph8 refuses because a sketch already has it is checked against
# Debian's Arduino core, with the flags of a sketch's build (matrix_test.py):
#   a type name:      `byte NAME[]={ 1, 2};` after Arduino.h does not compile;
#   a sketch's name:  a sketch of that array, setup() and loop() does not
#                     compile or link for the Uno, or compile for the Mega;
#   a macro or class: Arduino.h defines NAME as a macro or a type.
# Names glyph8 accepts (d, glyphs, font8) must build as a sketch.
#   taken_names_test.sh TAKEN_NAMES CORE_DIR
set -u
list=$1 core=$2
avr=/usr/share/arduino/hardware/arduino/avr
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0 checked=0

# compile BOARD FILE: compiles FILE for the Uno or the Mega.
compile() {
    case $1 in
    uno) board="-mmcu=atmega328p -DARDUINO_AVR_UNO -I$avr/variants/standard" ;;
    mega) board="-mmcu=atmega2560 -DARDUINO_AVR_MEGA2560 -I$avr/variants/mega" ;;
    esac
    # shellcheck disable=SC2086
    avr-g++ -c -g -Os -Wall -Wextra -Werror -std=gnu++11 -fpermissive -fno-exceptions \
        -ffunction-sections -fdata-sections -fno-threadsafe-statics -flto -DF_CPU=16000000L \
        -DARDUINO=10813 -DARDUINO_ARCH_AVR $board -I"$avr/cores/arduino" "$2" -o "$tmp/sketch.o" \
        2>"$tmp/errors"
}
# builds NAME: the sketch compiles and links for the Uno, and the program
# starts in the core's main() (an array named main links in its place).
builds() {
    printf '#include <Arduino.h>\nbyte %s[]={ 1, 2};\nvoid setup() {}\nvoid loop() {}\n' "$1" \
        >"$tmp/sketch.cpp"
    compile uno "$tmp/sketch.cpp" &&
        avr-gcc -Os -flto -fuse-linker-plugin -Wl,--gc-sections -mmcu=atmega328p \
            -o "$tmp/sketch.elf" "$tmp/sketch.o" "$core/core.a" -lm 2>"$tmp/errors" &&
        { avr-nm "$tmp/sketch.elf" | grep -q ' T main$' || echo "main is not a function" >"$tmp/errors"; } &&
        [ ! -s "$tmp/errors" ] || return 1
}
bad() { echo "FAIL $1" >&2; sed 's/^/     /' "$tmp/errors" | head -n 5 >&2; fail=1; }

"$list" >"$tmp/list" || { echo "FAIL $list" >&2; exit 1; }
while IFS="$(printf '\t')" read -r reason name; do
    checked=$((checked + 1))
    case $reason in
    *"type name"*)
        printf '#include <Arduino.h>\nbyte %s[]={ 1, 2};\n' "$name" >"$tmp/array.cpp"
        compile uno "$tmp/array.cpp" && bad "$name ($reason) declares an array" ;;
    *"already has"*)
        printf '#include <Arduino.h>\nbyte %s[]={ 1, 2};\n' "$name" >"$tmp/array.cpp"
        if builds "$name" && compile mega "$tmp/array.cpp"; then
            bad "$name ($reason) builds for the Uno and the Mega"
        fi ;;
    *"macro or class"*)
        printf '#include <Arduino.h>\n#ifndef %s\ntypedef %s probe;\n#endif\n' "$name" "$name" \
            >"$tmp/defined.cpp"
        compile uno "$tmp/defined.cpp" || bad "$name ($reason) is neither in Arduino.h" ;;
    *) bad "$name: no check for the reason '$reason'" ;;
    esac
done <"$tmp/list"
[ "$checked" -gt 0 ] || bad "no names listed"
echo "checked $checked refused names"

for name in d glyphs font8; do
    builds "$name" && echo "ok   $name builds as a sketch" || bad "$name, accepted, does not build"
done
[ "$fail" = 0 ] && echo "ok   every refused name clashes with Debian's Arduino core"
exit "$fail"
