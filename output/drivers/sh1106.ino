// ---- Display: SH1106 128x64 OLED (the 1.3" modules) ----
// The SH1106 has 132 columns of RAM, of which the glass shows 2..129, and
// only page addressing: no window, no scrolling, its own DC-DC converter.
// The same controller on I2C or SPI: the bus's part follows this one.
const byte oledFirstColumn = 2;  // the first RAM column on the glass

// Power-up defaults are not relied on: every mode that the image depends on
// is set here. Each command's arguments follow it.
// clang-format off
const byte oledSetup[] PROGMEM = {
    0xAE,        // display off while it is set up
    0xD5, 0x80,  // clock divide 1, oscillator at its default
    0xA8, 0x3F,  // multiplex ratio 64
    0xD3, 0x00,  // display offset 0
    0x40,        // display start line 0
    0xAD, 0x8B,  // DC-DC converter on (the panel is dark without it)
    0x32,        // pump voltage 8.0 V
    0xA1,        // segment remap: column 127 on SEG0, upright on the usual modules
    0xC8,        // COM scan from COM63 down
    0xDA, 0x12,  // COM pins: alternative configuration, as 64-row panels are wired
    0xD9, 0x22,  // precharge: two clocks each phase
    0xDB, 0x35,  // VCOM deselect level
    0xA4,        // the display follows the RAM
    0xA6,        // normal, not inverted
};
// clang-format on
const byte oledOn[] PROGMEM = {0xAF};
