// ---- Display: Nokia 5110 LCD, 84x48 (PCD8544) on SPI ----
// Wiring: CLK to 13 on an Uno (52 on a Mega), DIN to 11 (51), DC to 9, CE
// to 10, RST to 8, VCC to 3.3V, GND to GND; BL lights the backlight (to
// 3.3V or to GND, as the board is made). The chip's logic is 3.3 V: on a 5 V
// board put a level shifter, or a 10 kohm resistor, in each of the five
// signal lines.
#include <SPI.h>

#if !HAS_SCREEN && COLUMNS != 84
#error "the LCD scrolls a line of 84 columns: COLUMNS must be 84"
#endif

#ifndef LCD_FLIPPED
#define LCD_FLIPPED 0  // 1: the board is mounted upside down
#endif
#ifndef LCD_CONTRAST
#define LCD_CONTRAST 0x38  // Vop, 0 to 127: glasses differ, most look right at 0x30 to 0x45
#endif

const byte lcdCsPin = 10;
const byte lcdDcPin = 9;
const byte lcdResetPin = 8;
const byte lcdWidth = 84;
const byte lcdBanks = PANEL_LINES;  // of 8 rows

// The chip takes 4 MHz; half of it leaves room for the resistors some
// boards put in its lines, and a whole screen still takes about 4 ms.
const SPISettings lcdSpi(2000000, MSBFIRST, SPI_MODE0);

// The extended instructions first (H = 1), then the basic ones (H = 0).
// Vop follows the extended ones, sent on its own: a prebuilt program has it
// from its message's block.
// clang-format off
const byte lcdExtended[] PROGMEM = {
    0x21,  // function set: active, horizontal addressing, extended
    0x04,  // temperature coefficient 0
    0x13,  // bias 1:48, the one the datasheet gives for 48 rows
};
const byte lcdBasic[] PROGMEM = {
    0x20,  // function set: basic instructions
    0x08,  // display blank while the RAM is cleared
};
// clang-format on

static void lcdStart(bool data) {
    SPI.beginTransaction(lcdSpi);
    digitalWrite(lcdDcPin, data ? HIGH : LOW);
    digitalWrite(lcdCsPin, LOW);
}

static void lcdEnd() {
    digitalWrite(lcdCsPin, HIGH);
    SPI.endTransaction();
}

static void lcdCommand(byte c) {
    lcdStart(false);
    SPI.transfer(c);
    lcdEnd();
}

// Paging streams the screen's columns; scrolling shows the frame's 8-px
// line across the middle, rows 20..27 of 48: the low nibble at the bottom of
// the bank above the middle, the high nibble at the top of the one below.
const byte lcdMiddle = PANEL_LINES / 2;
static byte lcdColumn(byte bank, byte column) {
#if HAS_SCREEN
    if (PAGED_PANEL) {
        return screenColumn();
    }
#endif
#if HAS_FRAME
    return bank == lcdMiddle - 1 ? frame[column] << 4 : frame[column] >> 4;
#else
    (void)bank;
    (void)column;
    return 0;
#endif
}

static byte lcdReversed(byte b) {
    b = (b & 0xF0) >> 4 | (b & 0x0F) << 4;
    b = (b & 0xCC) >> 2 | (b & 0x33) << 2;
    return (b & 0xAA) >> 1 | (b & 0x55) << 1;
}

// One bank of the glass, the 84 columns from the left. The chip cannot
// mirror its glass, so a board mounted upside down gets each column at the
// other end of the other bank, upside down; its address counts only up, so
// each column is addressed on its own.
static void lcdBank(byte bank, bool blank) {
    if (LCD_FLIPPED) {
        lcdStart(false);
        for (byte column = 0; column < lcdWidth; ++column) {
            const byte b = blank ? 0 : lcdColumn(bank, column);
            digitalWrite(lcdDcPin, LOW);
            SPI.transfer(0x40 | (lcdBanks - 1 - bank));
            SPI.transfer(0x80 | (lcdWidth - 1 - column));
            digitalWrite(lcdDcPin, HIGH);
            SPI.transfer(lcdReversed(b));
        }
        lcdEnd();
        return;
    }
    lcdStart(false);
    SPI.transfer(0x40 | bank);  // Y
    SPI.transfer(0x80);         // X = 0
    lcdEnd();
    lcdStart(true);
    for (byte column = 0; column < lcdWidth; ++column) {
        SPI.transfer(blank ? 0 : lcdColumn(bank, column));
    }
    lcdEnd();
}

// RST floats on these boards and the chip's state is undefined until it is
// reset: it is held low for a millisecond, far past the datasheet's minimum.
void displayBegin() {
    pinMode(lcdCsPin, OUTPUT);
    digitalWrite(lcdCsPin, HIGH);
    pinMode(lcdDcPin, OUTPUT);
    pinMode(lcdResetPin, OUTPUT);
    digitalWrite(lcdResetPin, LOW);
    delay(1);
    digitalWrite(lcdResetPin, HIGH);
    SPI.begin();
    lcdStart(false);
    for (byte i = 0; i < sizeof lcdExtended; ++i) {
        SPI.transfer(pgm_read_byte(lcdExtended + i));
    }
    SPI.transfer(0x80 | LCD_CONTRAST);  // Vop: the glass's drive voltage
    for (byte i = 0; i < sizeof lcdBasic; ++i) {
        SPI.transfer(pgm_read_byte(lcdBasic + i));
    }
    lcdEnd();
    for (byte bank = 0; bank < lcdBanks; ++bank) {
        lcdBank(bank, true);
    }
    lcdCommand(0x0C);  // normal display: the RAM as it is
}

void displayShow() {
#if HAS_SCREEN
    if (PAGED_PANEL) {
        screenBegin();
        for (byte bank = 0; bank < lcdBanks; ++bank) {
            lcdBank(bank, false);
        }
        return;
    }
#endif
    lcdBank(lcdMiddle - 1, false);
    lcdBank(lcdMiddle, false);
}

void displayRefresh() {}
