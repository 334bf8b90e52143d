#!/bin/sh
# What a sketch takes of each board, measured by arduino-builder, for every
# display and a message of 10, 100 and 200 distinct characters.
#   bench/sketch_sizes.sh [CLI]
set -eu
cli=${1:-build/glyph8-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
text() { # the first N of a common text, all distinct
    python3 -c "
import sys
s = '天地玄黃宇宙洪荒日月盈昃辰宿列張寒來暑往秋收冬藏閏餘成歲律呂調陽雲騰致雨露結為霜金生麗水玉出崑岡劍號巨闕珠稱夜光果珍李柰菜重芥薑海鹹河淡鱗潛羽翔龍師火帝鳥官人皇始制文字乃服衣裳推位讓國有虞陶唐弔民伐罪周發殷湯坐朝問道垂拱平章愛育黎首臣伏戎羌遐邇壹體率賓歸王鳴鳳在竹白駒食場化被草木賴及萬方蓋此身髮四大五常恭惟鞠養豈敢毀傷女慕貞絜男效才良知過必改得能莫忘罔談彼短靡恃己長'
print(s[:int(sys.argv[1])], end='')" "$1"
}
printf '%-8s %-5s %5s %14s %14s\n' display board chars flash ram
for display in max7219 matrix hc595 ws2812 ht16k33 ssd1306 sh1106 ssd1306x32 ssd1306spi sh1106spi pcd8544; do
    for board in uno mega; do
        fqbn=arduino:avr:uno
        [ "$board" = mega ] && fqbn=arduino:avr:mega:cpu=atmega2560
        for n in 10 100 200; do
            dir=$work/$display-$board-$n/s
            mkdir -p "$dir" "$work/out" "$work/cache-$board"
            "$cli" --sketch --display "$display" --arduino "$board" "$(text "$n")" >"$dir/s.ino"
            rm -rf "$work/out" && mkdir "$work/out"
            arduino-builder -hardware /usr/share/arduino/hardware -hardware /usr/share/arduino-builder \
                -tools /usr/bin -fqbn "$fqbn" -build-path "$work/out" -build-cache "$work/cache-$board" \
                -prefs=compiler.cpp.extra_flags=-DDECIMAL_DIG=__DECIMAL_DIG__ -compile "$dir/s.ino" \
                >"$work/log" 2>&1
            flash=$(sed -n 's/Sketch uses \([0-9]*\) bytes.*/\1/p' "$work/log")
            ram=$(sed -n 's/Global variables use \([0-9]*\) bytes.*/\1/p' "$work/log")
            printf '%-8s %-5s %5s %14s %14s\n' "$display" "$board" "$n" "$flash" "$ram"
        done
    done
done
