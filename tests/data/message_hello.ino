// 你好，世界 Hello
//
// An Arduino Uno sketch by glyph8 0.1.0: the text above on 4 MAX7219 8x8 modules,
// scrolling one column every 60 ms.
// Made with: glyph8-cli --sketch --display max7219 --board fc16 --modules 4 --scroll 60 --arduino uno
// About 1948 bytes of flash (of 32256) and 60 bytes of RAM (of 2048).
// Wiring (Arduino Uno): DIN to 11, CLK to 13, CS to 10, VCC to 5V, GND to GND.
// At power-up an arrow points right at the top left, with a dot in its top
// left corner. Anything else (an arrow pointing down, on the right,
// mirrored) means other wiring: see "Which board" in glyph8's README.
#define MODULES 4
#define COLUMNS 32
#define MOST_MODULES MODULES
#define MOST_COLUMNS COLUMNS
#define PAGED_PANEL 0
#define HAS_FRAME 1
#define HAS_SCREEN 0
#ifndef STEP_MS
#define STEP_MS 60
#endif
// 0 skips the power-up pattern.
#ifndef TEST_PATTERN_MS
#define TEST_PATTERN_MS 2000
#endif
#define FC16_WIRING 1

// Flash for the message: the AVR's program memory, or plain constants on
// boards that read flash like memory.
#if defined(__AVR__)
#include <avr/pgmspace.h>
#else
#define PROGMEM
#define pgm_read_byte(p) (*(const uint8_t*)(p))
#define pgm_read_word(p) (*(const uint16_t*)(p))
#define memcpy_P memcpy
#endif

const byte TEST_PATTERN[8] PROGMEM = {0x01, 0x18, 0x18, 0x18, 0x18, 0x3C, 0x18, 0x00};
byte frame[MOST_COLUMNS];  // a byte per column, leftmost first, top pixel lowest

// The display's driver: it starts the display, shows a new frame, and keeps
// a multiplexed display scanned.
void displayBegin();
void displayShow();
void displayRefresh();
// MAX7219 8x8 modules in a chain. The chips hold the image, so a frame is
// sent once, when it changes: eight registers of every chip.
#include <SPI.h>

#ifndef INTENSITY
#define INTENSITY 2  // brightness, 0 to 15
#endif
#ifndef CS_PIN
#define CS_PIN 10
#endif
// 0: the hardware SPI pins (DIN on 11 and CLK on 13 of an Uno, 51 and 52 of
// a Mega); 1: shiftOut() on DIN_PIN and CLK_PIN, any two pins.
#ifndef USE_SHIFTOUT
#define USE_SHIFTOUT 0
#endif
#ifndef DIN_PIN
#define DIN_PIN 11
#endif
#ifndef CLK_PIN
#define CLK_PIN 13
#endif

void send(byte b) {
#if USE_SHIFTOUT
  shiftOut(DIN_PIN, CLK_PIN, MSBFIRST, b);
#else
  SPI.transfer(b);
#endif
}

// One register of every module. The bytes shifted in first pass along the
// chain to its far end, the leftmost module; the chip at DIN is the rightmost.
void writeRegister(byte reg, const byte* values) {
#if !USE_SHIFTOUT
  SPI.beginTransaction(SPISettings(4000000, MSBFIRST, SPI_MODE0));
#endif
  digitalWrite(CS_PIN, LOW);
  for (byte m = 0; m < MODULES; ++m) {
    send(reg);
    send(values[m]);
  }
  digitalWrite(CS_PIN, HIGH);
#if !USE_SHIFTOUT
  SPI.endTransaction();
#endif
}

void writeAll(byte reg, byte value) {
  byte values[MOST_MODULES];
  memset(values, value, MODULES);
  writeRegister(reg, values);
}

void displayShow() {
  byte values[MOST_MODULES];
  for (byte d = 0; d < 8; ++d) {
    for (byte m = 0; m < MODULES; ++m) {
      const byte* module = frame + m * 8;
      if (FC16_WIRING) {
        byte v = 0;  // digit d + 1 is row d, bit 7 the leftmost column
        for (byte c = 0; c < 8; ++c) {
          if (module[c] & (1 << d)) {
            v |= 0x80 >> c;
          }
        }
        values[m] = v;
      } else {
        values[m] = module[d];  // digit d + 1 is column d, bit 0 the top row
      }
    }
    writeRegister(d + 1, values);
  }
}

void displayBegin() {
  pinMode(CS_PIN, OUTPUT);
  digitalWrite(CS_PIN, HIGH);
#if USE_SHIFTOUT
  pinMode(DIN_PIN, OUTPUT);
  pinMode(CLK_PIN, OUTPUT);
#else
  SPI.begin();
#endif
  writeAll(0x0F, 0);  // display test off
  writeAll(0x09, 0);  // no BCD decoding: the bytes are the LEDs
  writeAll(0x0B, 7);  // all eight digits
  writeAll(0x0A, INTENSITY);
  memset(frame, 0, COLUMNS);
  displayShow();
  writeAll(0x0C, 1);  // out of shutdown, dark
}

void displayRefresh() {
}

// The message's columns, top pixel in the lowest bit; each distinct piece once.
const byte PIECE_COLUMNS[] PROGMEM = {
  4, 126, 5, 91, 126, 10, 50, 0, 68, 92, 55, 44, 73, 125, 11, 0,
  0, 80, 48, 0, 0, 0, 0, 0, 4, 127, 68, 95, 84, 95, 68, 0,
  32, 95, 53, 31, 117, 31, 32, 0, 0, 0, 0, 0, 0, 126, 8, 8,
  126, 0, 48, 104, 88, 16, 0, 0, 66, 126, 64, 0, 48, 72, 72, 48,
  0,
};
const uint16_t PIECE_START[] PROGMEM = {
  0, 8, 16, 24, 32, 40, 45, 50, 55, 60, 65,
};
const byte MESSAGE[] PROGMEM = {
  0, 1, 2, 3, 4, 5, 6, 7, 8, 8, 9,
};
#define PIECE(i) pgm_read_byte(&MESSAGE[i])
const uint16_t MESSAGE_PIECES = 11;
const uint32_t MESSAGE_COLUMNS = 70UL;

uint16_t piece;      // the message's piece the next column is in
uint16_t column;     // that column, in PIECE_COLUMNS
uint16_t pieceEnd;   // where the piece ends

void enterPiece() {
  const uint16_t p = PIECE(piece);
  column = pgm_read_word(&PIECE_START[p]);
  pieceEnd = pgm_read_word(&PIECE_START[p + 1]);
}

void rewind() {
  piece = 0;
  enterPiece();
}

// The next column of the message; nothing past its end.
byte nextColumn() {
  if (piece >= MESSAGE_PIECES) {
    return 0;
  }
  const byte b = pgm_read_byte(&PIECE_COLUMNS[column]);
  if (++column == pieceEnd && ++piece < MESSAGE_PIECES) {
    enterPiece();
  }
  return b;
}

void scrollFrame(uint32_t step) {
  if (step == 0) {
    rewind();
    memset(frame, 0, COLUMNS);
    return;
  }
  memmove(frame, frame + 1, COLUMNS - 1);
  frame[COLUMNS - 1] = nextColumn();
}

const uint32_t STEPS = MESSAGE_COLUMNS + COLUMNS;
#define nextFrame scrollFrame

uint32_t step = 0;
unsigned long next;

void setup() {
  displayBegin();
#if HAS_SCREEN
  if (PAGED_PANEL) {
    patternOnScreen = true;
    screenBegin();
    displayShow();
    patternOnScreen = false;
  }
#endif
#if HAS_FRAME
  if (!PAGED_PANEL) {
    memset(frame, 0, COLUMNS);
    memcpy_P(frame, TEST_PATTERN, 8);
    displayShow();
  }
#endif
  // Waits with the display refreshed: a multiplexed matrix goes dark
  // whenever it is not scanned.
#if TEST_PATTERN_MS > 0
  const unsigned long start = millis();
  while (millis() - start < TEST_PATTERN_MS) {
    displayRefresh();
  }
#endif
  next = millis();
}

void loop() {
  displayRefresh();
  if ((long)(millis() - next) < 0) {
    return;
  }
  next += STEP_MS;
  nextFrame(step);
#if HAS_SCREEN
  if (PAGED_PANEL) {
    screenBegin();
  }
#endif
  displayShow();
  if (++step == STEPS) {
    step = 0;
  }
}
