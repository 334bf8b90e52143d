#!/bin/sh
# Runs bus_test.py on every I2C driver, both boards, then once per fault
# planted in a driver: each good case must pass and each fault must fail.
#   i2c_faults.sh HARNESS WORK [PYTHON]
set -u
harness=$1
work=$2
python=${3:-python3}
bus=i2c
. "$(dirname "$0")/bus_cases.sh"
for mcu in uno mega; do
    for d in ssd1306 sh1106; do
        good ${d}_page_$mcu --display $d --mcu $mcu --mode page
        good ${d}_scroll_$mcu --display $d --mcu $mcu --mode scroll
    done
    good ssd1306x32_page_$mcu --display ssd1306 --lines 4 --panel ssd1306x32 --mcu $mcu --mode page
    good ssd1306x32_scroll_$mcu --display ssd1306 --lines 4 --panel ssd1306x32 --mcu $mcu \
        --mode scroll
    good ht16k33_x4_$mcu --display ht16k33 --mcu $mcu --modules 4
    good ht16k33_plain_x2_$mcu --display ht16k33 --mcu $mcu --modules 2 --define BACKPACK=0 --plain
done
good ht16k33_x8_mega --display ht16k33 --mcu mega --modules 8
good ssd1306_at_0x3d --display ssd1306 --define OLED_ADDRESS=0x3D --address 0x3d
good ssd1306_flipped_at_0x3d --display ssd1306 --define OLED_FLIPPED=1 --define OLED_ADDRESS=0x3D \
    --flipped --address 0x3d
for d in ssd1306 sh1106; do
    good ${d}_flipped --display $d --define OLED_FLIPPED=1 --flipped
    good ${d}_flipped_scroll_mega --display $d --define OLED_FLIPPED=1 --flipped --mode scroll \
        --mcu mega
done
good sh1106_at_0x3d_mega --display sh1106 --mcu mega --define OLED_ADDRESS=0x3D --address 0x3d
# The SSD1306 driver rewritten for horizontal addressing with a window per
# page: right on an SSD1306, and the commands an SH1106 does not have below.
horizontal() {
    "$@" --display ssd1306 --mutate "0x20, 0x02" "0x20, 0x00" --mutate "oledSend(0xB0 | page);
    oledSend(0x00 | (oledFirstColumn & 0x0F));  // column: low nibble
    oledSend(0x10 | (oledFirstColumn >> 4));    // high nibble" "oledSend(0x21);
    oledSend(0);
    oledSend(127);
    oledSend(0x22);
    oledSend(page);
    oledSend(7);"
}
horizontal good ssd1306_horizontal
echo "-- faults (each must FAIL)"
fault sh1106_no_offset --display sh1106 --mutate "oledFirstColumn = 2" "oledFirstColumn = 0"
fault ssd1306_on_sh1106 --display ssd1306 --panel sh1106
horizontal fault horizontal_on_sh1106 --panel sh1106
fault pages_reversed --display ssd1306 --mutate "oledSend(0xB0 | page)" "oledSend(0xB7 - page)"
fault upside_down --display ssd1306 --mutate "0xA1, " "0xA0, " --mutate "0xC8, " "0xC0, "
fault mirrored --display ssd1306 --mutate "0xA1, " "0xA0, "
fault upright_on_flipped --display ssd1306 --flipped
fault flipped_on_upright --display sh1106 --define OLED_FLIPPED=1
fault charge_pump_off --display ssd1306 --mutate "0x8D, 0x14" "0x8D, 0x10"
# A 128x32 module set up as a 128x64 one: every other row, or half the text.
fault com_pins_of_64_on_32 --display ssd1306 --lines 4 --panel ssd1306x32 \
    --mutate "PANEL_LINES == 8 ? 0x12 : 0x02" "0x12"
fault mux_of_64_on_32 --display ssd1306 --lines 4 --panel ssd1306x32 \
    --mutate "0xA8, PANEL_LINES * 8 - 1" "0xA8, 0x3F"
fault ssd1306x32_as_64 --display ssd1306 --panel ssd1306x32
fault dcdc_off --display sh1106 --mutate "0xAD, 0x8B" "0xAD, 0x8A"
fault address_0x3d --display ssd1306 --define OLED_ADDRESS=0x3D
fault not_cleared --display ssd1306 --mode scroll --mutate "oledPage(page, true)" "true"
fault scroll_running --display ssd1306 --mode scroll --mutate "0x2E, " "0x2F, "
fault backpack_as_plain --display ht16k33 --modules 2 --define BACKPACK=0
fault plain_as_backpack --display ht16k33 --modules 2 --plain
fault blink_on --display ht16k33 --modules 2 --mutate "0x81);" "0x83);"
fault oscillator_off --display ht16k33 --modules 2 --mutate "0x21);" "0x20);"
fault ht16k33_one_missing --display ht16k33 --modules 2 --define HT16K33_ADDRESS=0x71
verdict
