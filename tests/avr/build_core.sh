#!/bin/sh
# Builds Debian's Arduino AVR core for the Uno into OUT/core.a, with the
# flags of the core's own platform.txt, as the Arduino IDE does.
#   build_core.sh OUT
set -eu
out=$1
avr=/usr/share/arduino/hardware/arduino/avr
core=$avr/cores/arduino
mkdir -p "$out/objects"
# Debian's gcc-avr 5.4 lacks DECIMAL_DIG, which WString.cpp uses.
common="-g -Os -w -ffunction-sections -fdata-sections -MMD -flto -mmcu=atmega328p
    -DF_CPU=16000000L -DARDUINO=10813 -DARDUINO_AVR_UNO -DARDUINO_ARCH_AVR
    -DDECIMAL_DIG=__DECIMAL_DIG__ -I$core -I$avr/variants/standard"
for src in "$core"/*.c "$core"/*.cpp "$core"/*.S; do
    obj=$out/objects/$(basename "$src").o
    case $src in
    *.c) avr-gcc -c $common -std=gnu11 -fno-fat-lto-objects "$src" -o "$obj" ;;
    *.cpp) avr-g++ -c $common -std=gnu++11 -fpermissive -fno-exceptions -fno-threadsafe-statics \
        -Wno-error=narrowing "$src" -o "$obj" ;;
    *.S) avr-gcc -c -g -x assembler-with-cpp -flto -mmcu=atmega328p -DF_CPU=16000000L \
        -DARDUINO=10813 -I"$core" -I"$avr/variants/standard" "$src" -o "$obj" ;;
    esac
done
rm -f "$out/core.a.tmp"
avr-gcc-ar rcs "$out/core.a.tmp" "$out"/objects/*.o
mv "$out/core.a.tmp" "$out/core.a"
