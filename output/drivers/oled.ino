// ---- What the SSD1306 and SH1106 drivers share: page by page, from flash ----
// The controller's part before this defines its set-up (oledSetup, oledOn)
// and the first of its RAM columns that the glass shows (oledFirstColumn);
// the bus's part (I2C or SPI) how bytes reach it: oledBusBegin, oledStart,
// oledSend, oledFinish, and oledChunk, the most data bytes a transfer holds.
#if !HAS_SCREEN && COLUMNS != 128
#error "an OLED scrolls a line of 128 columns: COLUMNS must be 128"
#endif

#ifndef OLED_CONTRAST
#define OLED_CONTRAST 0xCF  // 0 to 255: how bright the lit pixels are
#endif
#ifndef OLED_FLIPPED
#define OLED_FLIPPED 0  // 1: the module is mounted upside down
#endif

const byte oledWidth = 128;
const byte oledPages = PANEL_LINES;  // of 8 rows: 8 on a 128x64 panel, 4 on a 128x32
// Set once a transmission fails: the next displayShow() starts over with the
// set-up, so a panel that was unplugged or glitched comes back.
bool oledLost = true;

static bool oledEnd() {
    if (!oledFinish()) {
        oledLost = true;
    }
    return !oledLost;
}

static bool oledCommands(const byte* list, byte count) {
    oledStart(false);
    for (byte i = 0; i < count; ++i) {
        oledSend(pgm_read_byte(list + i));
    }
    return oledEnd();
}

// Sent apart from the set-up in flash: a prebuilt program has it from its
// message's block.
static bool oledContrast() {
    oledStart(false);
    oledSend(0x81);
    oledSend(OLED_CONTRAST);
    return oledEnd();
}

// Paging streams the screen's columns; scrolling shows the frame's 8-px line
// centred: rows 28..35 of 64 (12..19 of 32), the low nibble at the bottom of
// the page above the middle, the high nibble at the top of the one below.
const byte oledMiddle = PANEL_LINES / 2;
static byte oledColumn(byte page, byte column) {
#if HAS_SCREEN
    if (PAGED_PANEL) {
        return screenColumn();
    }
#endif
#if HAS_FRAME
    return page == oledMiddle - 1 ? frame[column] << 4 : frame[column] >> 4;
#else
    (void)page;
    (void)column;
    return 0;
#endif
}

// Streams one page, the 128 columns on the glass from the left, as many
// transfers as the bus needs.
static bool oledPage(byte page, bool blank) {
    oledStart(false);
    oledSend(0xB0 | page);
    oledSend(0x00 | (oledFirstColumn & 0x0F));  // column: low nibble
    oledSend(0x10 | (oledFirstColumn >> 4));    // high nibble
    if (!oledEnd()) {
        return false;
    }
    for (byte column = 0; column < oledWidth;) {
        oledStart(true);
        for (byte n = 0; n < oledChunk && column < oledWidth; ++n, ++column) {
            oledSend(blank ? 0 : oledColumn(page, column));
        }
        if (!oledEnd()) {
            return false;
        }
    }
    return true;
}

// A module mounted upside down: columns from the other end (segment remap
// off) and rows from the other end (COM scan from COM0). The glass's columns
// stay the same RAM columns, so oledFirstColumn holds either way.
const byte oledFlipped[] PROGMEM = {0xA0, 0xC0};

// The RAM holds noise at power-up: it is cleared before the display is lit.
static void oledSetUp() {
    oledLost = false;
    if (!oledCommands(oledSetup, sizeof oledSetup) || !oledContrast()) {
        return;
    }
    if (OLED_FLIPPED && !oledCommands(oledFlipped, sizeof oledFlipped)) {
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
    oledBusBegin();
    oledSetUp();
}

void displayShow() {
    if (oledLost) {
        oledSetUp();
    }
#if HAS_SCREEN
    if (PAGED_PANEL) {
        screenBegin();
        for (byte page = 0; page < oledPages && oledPage(page, false); ++page) {
        }
        return;
    }
#endif
    if (oledPage(oledMiddle - 1, false)) {
        oledPage(oledMiddle, false);
    }
}

void displayRefresh() {}
