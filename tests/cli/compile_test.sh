#!/bin/sh
# What glyph8-cli prints goes into real builds: a strict host compiler takes
# tables of awkward characters, and an Arduino Uno build keeps a thousand
# glyphs in flash with exactly the bytes the text shows.
set -eu
cli=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# UTF-8 of the code points FIRST .. FIRST + COUNT - 1 (three-byte ones).
utf8_run() {
    awk -v first="$1" -v count="$2" 'BEGIN { for (c = first; c < first + count; ++c)
        printf "%c%c%c", 224 + int(c / 4096), 128 + int(c / 64) % 64, 128 + c % 64 }'
}

# ASCII with backslash, quotes and */, kana, hanzi, an emoji, bidi controls.
ascii=$(printf '%b' "$(printf '\\%03o' $(seq 33 126))")
kana=$(printf 'あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをん')
hanzi=$(printf '國說你好嗎鑫龘齉爨')$(utf8_run 19968 256)
text="$ascii $kana$hanzi😀$(printf '\342\200\256\342\201\246')*/"
"$cli" --each --grid -- "$text" >table.inc
"$cli" --name one --hex "國" >one.inc
"$cli" --each --progmem --name flash "$text" >flash.inc
cat >host.cpp <<'SRC'
typedef unsigned char byte;
#define PROGMEM
#include "table.inc"
#include "one.inc"
#include "flash.inc"
int main() { return d[0][0] + one[0] + flash[0][0]; }
SRC
g++ -std=c++17 -Wall -Wextra -pedantic -Werror -c host.cpp -o host.o
echo "ok   host compiler takes $(grep -c '^  {' table.inc) glyphs"

# A thousand ideographs in the flash of an ATmega328P.
"$cli" --each --progmem --name font "$(utf8_run 19968 1000)" >font.inc
test "$(grep -c '^  {' font.inc)" = 1000
cat >sketch.cpp <<'SRC'
#include <avr/pgmspace.h>
#include <stdint.h>
typedef uint8_t byte;
#include "font.inc"
volatile uint8_t sum;
int main() {
    for (unsigned i = 0; i < sizeof font / sizeof font[0]; ++i)
        for (unsigned c = 0; c < 8; ++c) sum += pgm_read_byte(&font[i][c]);
}
SRC
avr-g++ -mmcu=atmega328p -Os -Wall -Wextra -Werror sketch.cpp -o sketch.elf
# The table's bytes as linked, against the numbers in the text.
set -- $(avr-nm -S sketch.elf | awk '$4 == "_ZL4font" || $4 == "font" { print $1, $2 }')
test "$#" = 2
avr-objcopy -O binary -j .text sketch.elf text.bin
start=$(avr-nm sketch.elf | awk '$3 == "__vectors" { print $1 }')
offset=$(( 0x$1 - 0x${start:-0} ))
size=$(( 0x$2 ))
test "$size" = 8000
dd if=text.bin of=font.bin bs=1 skip="$offset" count="$size" status=none
linked=$(od -An -tu1 -v font.bin | tr -s ' \n' '  ' | sed 's/^ //; s/ $//')
shown=$(sed -n 's/^  {\(.*\)}, .*/\1/p' font.inc | tr -d ',' | tr -s ' \n' '  ' | sed 's/^ //; s/ $//')
test "$linked" = "$shown"
echo "ok   avr-g++ links 1000 glyphs in flash, bytes as printed"
