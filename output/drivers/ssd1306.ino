// ---- Display: SSD1306 OLED, 128x64 or 128x32 (PANEL_LINES 8 or 4) ----
// The same controller on I2C or SPI: the bus's part follows this one.
const byte oledFirstColumn = 0;  // the RAM's columns are the glass's

// Power-up defaults are not relied on: every mode that the image depends on
// is set here. Each command's arguments follow it.
// clang-format off
const byte oledSetup[] PROGMEM = {
    0xAE,        // display off while it is set up
    0xD5, 0x80,  // clock divide 1, oscillator at its default
    0xA8, PANEL_LINES * 8 - 1,  // multiplex ratio: the glass's rows
    0xD3, 0x00,  // display offset 0
    0x40,        // display start line 0
    0x8D, 0x14,  // charge pump on (the panel is dark without it)
    0x20, 0x02,  // page addressing
    0xA1,        // segment remap: column 127 on SEG0, upright on the usual modules
    0xC8,        // COM scan from the last COM down
    // COM pins: 64-row panels are wired for the alternative configuration,
    // 32-row ones for the sequential
    0xDA, PANEL_LINES == 8 ? 0x12 : 0x02,
    0xD9, 0xF1,  // precharge: phase 1 one clock, phase 2 fifteen
    0xDB, 0x40,  // VCOMH deselect level
    0x2E,        // no scrolling
    0xA4,        // the display follows the RAM
    0xA6,        // normal, not inverted
};
// clang-format on
const byte oledOn[] PROGMEM = {0xAF};
