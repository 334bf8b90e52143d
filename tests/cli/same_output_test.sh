#!/bin/sh
# Every build of glyph8-cli writes the same bytes: the table of the 94
# printable ASCII characters and the 5,401 Big5 level-1 characters must equal
# the checked-in one exactly (no CRLF, no code page, the same glyphs), and so
# must a sketch and its preview (the README's), and the README's paged OLED
# preview, whose lines wrap by the characters' classes.
#   same_output_test.sh DATA_DIR CLI [EMULATOR...]
# After a deliberate change of the default face, rewrite the expected table:
#   build/glyph8-cli --each < INPUT > tests/data/each_ascii_big5_level1.txt
# with INPUT made as below, and the message's files as below (the .hex
# follows output/images/ and the block's layout).
set -eu
data=$1 exe=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
{ printf '%b' "$(printf '\\%03o' $(seq 33 126))"; cat "$data/big5_level1.txt"; } >"$tmp/input"
"$@" "$exe" --each <"$tmp/input" >"$tmp/out"
cmp "$tmp/out" "$data/each_ascii_big5_level1.txt"
echo "ok   $(grep -c '^  {' "$tmp/out") glyphs, byte for byte"
message='你好，世界 Hello'
"$@" "$exe" --sketch "$message" >"$tmp/message.ino"
cmp "$tmp/message.ino" "$data/message_hello.ino"
"$@" "$exe" --preview "$message" >"$tmp/message.gif"
cmp "$tmp/message.gif" "$data/../../docs/message.gif"
"$@" "$exe" --intel-hex "$message" >"$tmp/message.hex"
cmp "$tmp/message.hex" "$data/message_hello.hex"
echo "ok   the sketch, the preview and the upload of $message, byte for byte"
printf '天氣很好，今天去公園散步。\n歡迎光臨 Hello, World!\n八乘八的中文字，一行十六個字，一個畫面八行。\nLong English lines break between words, as a reader expects.' |
    "$@" "$exe" --preview --display ssd1306 >"$tmp/oled.gif"
cmp "$tmp/oled.gif" "$data/../../docs/oled.gif"
echo "ok   the paged OLED preview, byte for byte"
