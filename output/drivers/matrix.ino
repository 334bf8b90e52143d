// ---- Display: a bare 8x8 LED matrix on 16 pins, scanned a column at a time ----
#ifndef ROW1_PIN
#define ROW1_PIN 2
#endif
#ifndef ROW2_PIN
#define ROW2_PIN 3
#endif
#ifndef ROW3_PIN
#define ROW3_PIN 4
#endif
#ifndef ROW4_PIN
#define ROW4_PIN 5
#endif
#ifndef ROW5_PIN
#define ROW5_PIN 6
#endif
#ifndef ROW6_PIN
#define ROW6_PIN 7
#endif
#ifndef ROW7_PIN
#define ROW7_PIN 8
#endif
#ifndef ROW8_PIN
#define ROW8_PIN 9
#endif
#ifndef COL1_PIN
#define COL1_PIN 10
#endif
#ifndef COL2_PIN
#define COL2_PIN 11
#endif
#ifndef COL3_PIN
#define COL3_PIN 12
#endif
#ifndef COL4_PIN
#define COL4_PIN 13
#endif
#ifndef COL5_PIN
#define COL5_PIN A0
#endif
#ifndef COL6_PIN
#define COL6_PIN A1
#endif
#ifndef COL7_PIN
#define COL7_PIN A2
#endif
#ifndef COL8_PIN
#define COL8_PIN A3
#endif
#ifndef ROW_ANODE
#define ROW_ANODE 1
#endif
// Wiring: ROW1..ROW8 (top to bottom) each through its own resistor (220 ohm
// for 5 V) to the pins above; COL1..COL8 (left to right) straight to theirs.
// ROW_ANODE 1: the rows are the LEDs' anodes (788BS, 1088BS parts): an LED
// lights while its row is HIGH and its column LOW. ROW_ANODE 0: the rows are
// the cathodes (1088AS parts): row LOW, column HIGH.
// One column is lit at a time. The resistors sit on the rows, so each LED
// has its own and a column full of LEDs is as bright as a column of one.

#define MATRIX_ROW_ON (ROW_ANODE ? HIGH : LOW)
#define MATRIX_COLUMN_ON (ROW_ANODE ? LOW : HIGH)
#define MATRIX_ROW_OFF (ROW_ANODE ? LOW : HIGH)
#define MATRIX_COLUMN_OFF (ROW_ANODE ? HIGH : LOW)
// 8 columns of 1040 us: a refresh every 8.32 ms, 120 a second, well above
// where the eye sees flicker, with time to spare for the message's step.
#define MATRIX_COLUMN_US 1040UL

const byte MATRIX_ROWS[8] = {ROW1_PIN, ROW2_PIN, ROW3_PIN, ROW4_PIN,
                             ROW5_PIN, ROW6_PIN, ROW7_PIN, ROW8_PIN};
const byte MATRIX_COLUMNS[8] = {COL1_PIN, COL2_PIN, COL3_PIN, COL4_PIN,
                                COL5_PIN, COL6_PIN, COL7_PIN, COL8_PIN};
byte matrixShown[8];           // the image of the current refresh
bool matrixPending = false;    // frame holds an image not yet taken
byte matrixColumn = 8;         // the lit column; 8 before the first refresh
unsigned long matrixColumnAt;  // when the lit column's time began

// Lines 0..7 are the rows, 8..15 the columns.
#if defined(__AVR__)
// Straight to the port: digitalWrite looks the pin up and checks its timer
// every time, which would take a twentieth of each column.
volatile uint8_t* matrixPort[16];
byte matrixMask[16];
void matrixLinesBegin() {
  for (byte i = 0; i < 16; ++i) {
    const byte pin = i < 8 ? MATRIX_ROWS[i] : MATRIX_COLUMNS[i - 8];
    matrixPort[i] = portOutputRegister(digitalPinToPort(pin));
    matrixMask[i] = digitalPinToBitMask(pin);
  }
}
void matrixWrite(byte line, byte level) {
  const byte saved = SREG;  // an interrupt may write the same port
  noInterrupts();
  if (level == HIGH) {
    *matrixPort[line] |= matrixMask[line];
  } else {
    *matrixPort[line] &= ~matrixMask[line];
  }
  SREG = saved;
}
#else
void matrixLinesBegin() {
}
void matrixWrite(byte line, byte level) {
  digitalWrite(line < 8 ? MATRIX_ROWS[line] : MATRIX_COLUMNS[line - 8], level);
}
#endif

void displayBegin() {
  matrixLinesBegin();
  // Level first, then output: the pin comes up driving the dark level.
  for (byte i = 0; i < 8; ++i) {
    matrixWrite(8 + i, MATRIX_COLUMN_OFF);
    pinMode(MATRIX_COLUMNS[i], OUTPUT);
    matrixWrite(i, MATRIX_ROW_OFF);
    pinMode(MATRIX_ROWS[i], OUTPUT);
  }
  matrixColumn = 8;
}

void displayShow() {
  matrixPending = true;
}

void displayRefresh() {
  const unsigned long now = micros();
  if (matrixColumn < 8 && now - matrixColumnAt < MATRIX_COLUMN_US) {
    return;
  }
  // The old column goes dark before the rows change, so no LED of the next
  // column ever shows, even for an instant, in the old one.
  if (matrixColumn < 8) {
    matrixWrite(8 + matrixColumn, MATRIX_COLUMN_OFF);
  }
  if (matrixColumn >= 7) {
    matrixColumn = 0;
    // A new image only between refreshes: every LED of a refresh is lit
    // for the same time, and no refresh shows half of two images.
    if (matrixPending) {
      for (byte i = 0; i < 8; ++i) {
        matrixShown[i] = frame[i];
      }
      matrixPending = false;
    }
  } else {
    ++matrixColumn;
  }
  const byte bits = matrixShown[matrixColumn];
  for (byte r = 0; r < 8; ++r) {
    matrixWrite(r, (bits >> r) & 1 ? MATRIX_ROW_ON : MATRIX_ROW_OFF);
  }
  matrixWrite(8 + matrixColumn, MATRIX_COLUMN_ON);
  // Each column's time is counted from when it was due, not from when loop()
  // came by, so a late pass does not lengthen the columns after it; after a
  // stall longer than a column the scan carries on from now.
  matrixColumnAt += MATRIX_COLUMN_US;
  if (now - matrixColumnAt >= MATRIX_COLUMN_US) {
    matrixColumnAt = now;
  }
}
// ---- end of display ----
