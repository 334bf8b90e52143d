#!/bin/sh
# Runs bus_test.py on the drivers of SPI panels (the OLEDs' SPI part, both
# controllers, and the Nokia 5110 LCD) on both boards, then once per fault
# planted in a driver: each good case must pass and each fault must fail.
#   spi_faults.sh HARNESS WORK [PYTHON]
set -u
harness=$1
work=$2
python=${3:-python3}
bus=spi
. "$(dirname "$0")/bus_cases.sh"
for mcu in uno mega; do
    for d in ssd1306 sh1106; do
        good spi_${d}_page_$mcu --display $d --mcu $mcu --mode page
        good spi_${d}_scroll_$mcu --display $d --mcu $mcu --mode scroll
    done
done
for mcu in uno mega; do
    good lcd_page_$mcu --display pcd8544 --mcu $mcu --mode page
    good lcd_scroll_$mcu --display pcd8544 --mcu $mcu --mode scroll
done
good lcd_flipped_page --display pcd8544 --define LCD_FLIPPED=1 --flipped
good lcd_flipped_scroll_mega --display pcd8544 --define LCD_FLIPPED=1 --flipped --mode scroll \
    --mcu mega
good spi_sh1106_flipped --display sh1106 --define OLED_FLIPPED=1 --flipped
good spi_ssd1306_flipped_scroll_mega --display ssd1306 --define OLED_FLIPPED=1 --flipped \
    --mode scroll --mcu mega
echo "-- faults (each must FAIL)"
# RES left to float: the controller never reset. PIN is the driver's name
# for the reset pin.
#   no_reset PIN fault NAME OPTIONS...
no_reset() {
    pin=$1
    shift
    "$@" --mutate "pinMode($pin, OUTPUT);
    digitalWrite($pin, LOW);
    delay(1);
    digitalWrite($pin, HIGH);" ""
}
no_reset oledResetPin fault spi_no_reset --display ssd1306
no_reset oledResetPin fault spi_no_reset_sh1106_mega --display sh1106 --mcu mega
fault spi_dc_reversed --display ssd1306 --mutate "data ? HIGH : LOW" "data ? LOW : HIGH"
fault spi_cs_on_another_pin --display sh1106 --mutate "oledCsPin = 10" "oledCsPin = 7"
fault spi_8mhz_on_sh1106 --display sh1106 --mutate "oledSpi(4000000" "oledSpi(8000000"
fault spi_ssd1306_on_sh1106 --display ssd1306 --panel sh1106
fault spi_upright_on_flipped --display ssd1306 --flipped
no_reset lcdResetPin fault lcd_no_reset --display pcd8544
fault lcd_dc_reversed --display pcd8544 --mutate "data ? HIGH : LOW" "data ? LOW : HIGH"
fault lcd_extended_left --display pcd8544 --mode scroll \
    --mutate "0x20,  // function set: basic" "0x21,  // not basic"
fault lcd_no_contrast --display pcd8544 --mutate "0x80 | LCD_CONTRAST)" "0x80)"
fault lcd_left_blank --display pcd8544 --mutate "lcdCommand(0x0C);" "lcdCommand(0x08);"
fault lcd_banks_shifted --display pcd8544 --mcu mega --mutate "0x40 | bank" "0x40 | (bank + 1)"
fault lcd_8mhz --display pcd8544 --mutate "lcdSpi(2000000" "lcdSpi(8000000"
fault lcd_upright_on_flipped --display pcd8544 --flipped
fault lcd_flipped_on_upright --display pcd8544 --define LCD_FLIPPED=1 --mode scroll
fault lcd_flipped_unreversed --display pcd8544 --define LCD_FLIPPED=1 --flipped \
    --mutate "SPI.transfer(lcdReversed(b));" "SPI.transfer(b);"
fault lcd_as_wide_as_an_oled --display pcd8544 --mode scroll --mutate "lcdWidth = 84" "lcdWidth = 128"
verdict
