// ---- Display: an 8x8 LED matrix behind two chained 74HC595, on the SPI bus ----
#include <SPI.h>
#ifndef LATCH_PIN
#define LATCH_PIN 10
#endif
#ifndef ROW_ANODE
#define ROW_ANODE 1
#endif
// Wiring: the 595s' DS to MOSI (pin 11; 51 on a Mega), SH_CP to SCK (pin 13;
// 52 on a Mega), both ST_CP to LATCH_PIN; OE to GND, MR to 5 V.
// The first 595 (its DS on the Arduino) drives the rows: Q0..Q7 to ROW1..ROW8,
// top to bottom, each through its own resistor. Its Q7' feeds the second 595's
// DS; that one drives the columns: Q0..Q7 to COL1..COL8, left to right.
// ROW_ANODE 1: the rows are the LEDs' anodes (788BS, 1088BS parts): an LED
// lights while its row is HIGH and its column LOW. ROW_ANODE 0: the rows are
// the cathodes (1088AS parts): row LOW, column HIGH.
// One column is lit at a time; with a resistor per row every LED has its own.
//
// No blank latch between columns: the one ST_CP edge moves both 595s' shift
// registers to their outputs together, so the old column and the new rows
// are never shown at once for longer than the chips' own output delay (tens
// of nanoseconds against a column's millisecond). A blank would only cost a
// transfer per column.

#define SHIFTED_ROWS(bits) (ROW_ANODE ? (byte)(bits) : (byte)~(bits))
#define SHIFTED_COLUMNS(c) (ROW_ANODE ? (byte)~(1 << (c)) : (byte)(1 << (c)))
#define SHIFTED_DARK_ROWS (ROW_ANODE ? 0x00 : 0xFF)
// 8 columns of 1040 us: a refresh every 8.32 ms, 120 a second.
#define SHIFTED_COLUMN_US 1040UL

byte shiftedShown[8];           // the image of the current refresh
bool shiftedPending = false;    // frame holds an image not yet taken
byte shiftedColumn = 8;         // the lit column; 8 before the first refresh
unsigned long shiftedColumnAt;  // when the lit column's time began

// The column byte goes first: the row byte pushes it on into the second 595.
void shiftedLatch(byte rows, byte columns) {
  SPI.beginTransaction(SPISettings(8000000, MSBFIRST, SPI_MODE0));
  SPI.transfer(columns);
  SPI.transfer(rows);
  SPI.endTransaction();
  digitalWrite(LATCH_PIN, HIGH);
  digitalWrite(LATCH_PIN, LOW);
}

void displayBegin() {
  digitalWrite(LATCH_PIN, LOW);
  pinMode(LATCH_PIN, OUTPUT);
  SPI.begin();
  // Every column off and every row dark.
  shiftedLatch(SHIFTED_DARK_ROWS, ROW_ANODE ? 0xFF : 0x00);
  shiftedColumn = 8;
}

void displayShow() {
  shiftedPending = true;
}

void displayRefresh() {
  const unsigned long now = micros();
  if (shiftedColumn < 8 && now - shiftedColumnAt < SHIFTED_COLUMN_US) {
    return;
  }
  if (shiftedColumn >= 7) {
    shiftedColumn = 0;
    // A new image only between refreshes: every LED of a refresh is lit
    // for the same time, and no refresh shows half of two images.
    if (shiftedPending) {
      for (byte i = 0; i < 8; ++i) {
        shiftedShown[i] = frame[i];
      }
      shiftedPending = false;
    }
  } else {
    ++shiftedColumn;
  }
  shiftedLatch(SHIFTED_ROWS(shiftedShown[shiftedColumn]), SHIFTED_COLUMNS(shiftedColumn));
  // Each column's time is counted from when it was due, not from when loop()
  // came by, so a late pass does not lengthen the columns after it; after a
  // stall longer than a column the scan carries on from now.
  shiftedColumnAt += SHIFTED_COLUMN_US;
  if (now - shiftedColumnAt >= SHIFTED_COLUMN_US) {
    shiftedColumnAt = now;
  }
}
// ---- end of display ----
