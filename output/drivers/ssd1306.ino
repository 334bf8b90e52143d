// ---- Display: SSD1306 128x64 OLED on I2C ----
// Wiring: SDA to A4 on an Uno (20 on a Mega), SCL to A5 (21), VCC to 3.3 or
// 5 V (most modules carry a regulator), GND to GND. The address is 0x3C on
// most modules, 0x3D where the board's address jumper is moved.
#include <Wire.h>

#ifndef OLED_ADDRESS
#define OLED_ADDRESS 0x3C
#endif
#ifndef OLED_CONTRAST
#define OLED_CONTRAST 0xCF
#endif
#if !PAGED_PANEL && COLUMNS != 128
#error "an OLED scrolls a line of 128 columns: COLUMNS must be 128"
#endif

const byte oledWidth = 128;
const byte oledPages = 8;
// Wire's buffer is 32 bytes on AVR: the control byte and 31 data bytes.
const byte oledChunk = 31;
// Set once a transmission fails: the next displayShow() starts over with the
// set-up, so a panel that was unplugged or glitched comes back.
bool oledLost = true;

// Power-up defaults are not relied on: every mode that the image depends on
// is set here. Each command's arguments follow it.
// clang-format off
const byte oledSetup[] PROGMEM = {
    0xAE,        // display off while it is set up
    0xD5, 0x80,  // clock divide 1, oscillator at its default
    0xA8, 0x3F,  // multiplex ratio 64
    0xD3, 0x00,  // display offset 0
    0x40,        // display start line 0
    0x8D, 0x14,  // charge pump on (the panel is dark without it)
    0x20, 0x02,  // page addressing
    0xA1,        // segment remap: column 127 on SEG0, upright on the usual modules
    0xC8,        // COM scan from COM63 down
    0xDA, 0x12,  // COM pins: alternative configuration, as 64-row panels are wired
    0x81, OLED_CONTRAST,
    0xD9, 0xF1,  // precharge: phase 1 one clock, phase 2 fifteen
    0xDB, 0x40,  // VCOMH deselect level
    0x2E,        // no scrolling
    0xA4,        // the display follows the RAM
    0xA6,        // normal, not inverted
};
// clang-format on
const byte oledOn[] PROGMEM = {0xAF};

static bool oledEnd() {
    if (Wire.endTransmission() != 0) {
        oledLost = true;
    }
    return !oledLost;
}

static bool oledCommands(const byte* list, byte count) {
    Wire.beginTransmission(OLED_ADDRESS);
    Wire.write(0x00);  // Co = 0, D/C# = 0: commands follow
    for (byte i = 0; i < count; ++i) {
        Wire.write(pgm_read_byte(list + i));
    }
    return oledEnd();
}

#if PAGED_PANEL
static byte oledColumn(byte, byte) {
    return screenColumn();
}
#else
// The 8-px line is centred: rows 28..35, the low nibble at the bottom of
// page 3, the high nibble at the top of page 4.
static byte oledColumn(byte page, byte column) {
    return page == 3 ? frame[column] << 4 : frame[column] >> 4;
}
#endif

// Streams one page, 128 columns from the left, in 31-byte transmissions.
static bool oledPage(byte page, bool blank) {
    Wire.beginTransmission(OLED_ADDRESS);
    Wire.write(0x00);
    Wire.write(0xB0 | page);
    Wire.write(0x00);  // column 0: low nibble
    Wire.write(0x10);  // high nibble
    if (!oledEnd()) {
        return false;
    }
    for (byte column = 0; column < oledWidth;) {
        Wire.beginTransmission(OLED_ADDRESS);
        Wire.write(0x40);  // Co = 0, D/C# = 1: data follows
        for (byte n = 0; n < oledChunk && column < oledWidth; ++n, ++column) {
            Wire.write(blank ? 0 : oledColumn(page, column));
        }
        if (!oledEnd()) {
            return false;
        }
    }
    return true;
}

// The RAM holds noise at power-up: it is cleared before the display is lit.
static void oledSetUp() {
    oledLost = false;
    if (!oledCommands(oledSetup, sizeof oledSetup)) {
        return;
    }
    for (byte page = 0; page < oledPages; ++page) {
        if (!oledPage(page, true)) {
            return;
        }
    }
    oledCommands(oledOn, sizeof oledOn);
}

void displayBegin() {
    Wire.begin();
    Wire.setClock(400000);
    oledSetUp();
}

void displayShow() {
    if (oledLost) {
        oledSetUp();
    }
#if PAGED_PANEL
    screenBegin();
    for (byte page = 0; page < oledPages && oledPage(page, false); ++page) {
    }
#else
    if (oledPage(3, false)) {
        oledPage(4, false);
    }
#endif
}

void displayRefresh() {}
