// 你好，世界 Hello
//
// An Arduino Uno sketch by glyph8 0.1.0: the text above on 4 MAX7219 8x8 modules,
// scrolling one column every 60 ms. Made with: glyph8-cli --sketch --modules 4 --board fc16 --scroll 60
// About 1998 bytes of flash (of 32256) and 72 bytes of RAM (of 2048).
#define MODULES 4
#define FC16_WIRING 1
#define SCROLL 1
#ifndef STEP_MS
#define STEP_MS 60
#endif
#include <avr/pgmspace.h>

// Wiring (Arduino Uno): DIN to 11, CLK to 13, CS to 10, VCC to 5V, GND to GND.
#ifndef INTENSITY
#define INTENSITY 2  // brightness, 0 to 15
#endif
#ifndef CS_PIN
#define CS_PIN 10
#endif
// 0: the hardware SPI pins, DIN on 11 and CLK on 13; 1: shiftOut() on DIN_PIN
// and CLK_PIN, any two pins.
#ifndef USE_SHIFTOUT
#define USE_SHIFTOUT 0
#endif
#ifndef DIN_PIN
#define DIN_PIN 11
#endif
#ifndef CLK_PIN
#define CLK_PIN 13
#endif
// At power-up an arrow points right on the leftmost module, with a dot in
// its top left corner. Anything else (arrow down, on the right, mirrored)
// means other wiring: see "Which board" in glyph8's README. 0 skips it.
#ifndef TEST_PATTERN_MS
#define TEST_PATTERN_MS 2000
#endif

const byte COLUMNS = MODULES * 8;
byte frame[COLUMNS];  // what the modules show: a byte per column, top pixel lowest
const byte TEST_PATTERN[8] = {1, 24, 24, 24, 24, 60, 24, 0};

// The message's columns, top pixel in the lowest bit; each distinct piece once.
const byte PIECE_COLUMNS[] PROGMEM = {
  4, 126, 33, 90, 126, 10, 50, 0, 68, 92, 55, 44, 73, 125, 11, 0,
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
const uint16_t MESSAGE_PIECES = 11;
const uint16_t MESSAGE_COLUMNS = 70;
#define PIECE(i) pgm_read_byte(&MESSAGE[i])
const uint16_t STEPS = MESSAGE_COLUMNS + COLUMNS;

void send(byte b) {
#if USE_SHIFTOUT
  shiftOut(DIN_PIN, CLK_PIN, MSBFIRST, b);
#else
  SPDR = b;
  while (!(SPSR & _BV(SPIF))) {
  }
#endif
}

// One register of every module. The bytes shifted in first pass along the
// chain to its far end, the leftmost module; the chip at DIN is the rightmost.
void writeRegister(byte reg, const byte* values) {
  digitalWrite(CS_PIN, LOW);
  for (byte m = 0; m < MODULES; ++m) {
    send(reg);
    send(values[m]);
  }
  digitalWrite(CS_PIN, HIGH);
}

void writeAll(byte reg, byte value) {
  byte values[MODULES];
  memset(values, value, MODULES);
  writeRegister(reg, values);
}

void show() {
  byte values[MODULES];
  for (byte d = 0; d < 8; ++d) {
    for (byte m = 0; m < MODULES; ++m) {
      const byte* module = frame + m * 8;
#if FC16_WIRING
      byte v = 0;  // digit d + 1 is row d, bit 7 the leftmost column
      for (byte c = 0; c < 8; ++c) {
        if (module[c] & (1 << d)) {
          v |= 0x80 >> c;
        }
      }
      values[m] = v;
#else
      values[m] = module[d];  // digit d + 1 is column d, bit 0 the top row
#endif
    }
    writeRegister(d + 1, values);
  }
}

// The message's columns [first, first + count) into the frame, from its left.
void draw(long first, byte count) {
  memset(frame, 0, COLUMNS);
  long x = 0;
  for (uint16_t i = 0; i < MESSAGE_PIECES && x < first + count; ++i) {
    const uint16_t piece = PIECE(i);
    const uint16_t start = pgm_read_word(&PIECE_START[piece]);
    const uint16_t end = pgm_read_word(&PIECE_START[piece + 1]);
    if (x + (end - start) <= first) {
      x += end - start;
      continue;
    }
    for (uint16_t k = start; k < end; ++k, ++x) {
      if (x >= first && x < first + count) {
        frame[x - first] = pgm_read_byte(&PIECE_COLUMNS[k]);
      }
    }
  }
}

uint16_t step = 0;
unsigned long next;

void setup() {
  pinMode(CS_PIN, OUTPUT);
  digitalWrite(CS_PIN, HIGH);
#if USE_SHIFTOUT
  pinMode(DIN_PIN, OUTPUT);
  pinMode(CLK_PIN, OUTPUT);
#else
  pinMode(10, OUTPUT);  // SS: as an input it could turn the SPI into a slave
  pinMode(11, OUTPUT);
  pinMode(13, OUTPUT);
  SPCR = _BV(SPE) | _BV(MSTR);  // mode 0, most significant bit first, 4 MHz
#endif
  writeAll(0x0F, 0);  // display test off
  writeAll(0x09, 0);  // no BCD decoding: the bytes are the LEDs
  writeAll(0x0B, 7);  // all eight digits
  writeAll(0x0A, INTENSITY);
  memset(frame, 0, COLUMNS);
#if TEST_PATTERN_MS > 0
  memcpy(frame, TEST_PATTERN, 8);
#endif
  show();
  writeAll(0x0C, 1);  // out of shutdown
  delay(TEST_PATTERN_MS);
  next = millis();
}

void loop() {
  if ((long)(millis() - next) < 0) {
    return;
  }
  next += STEP_MS;
#if SCROLL
  draw((long)step - COLUMNS, COLUMNS);
#else
  draw(pgm_read_word(&PAGES[2 * step]), pgm_read_word(&PAGES[2 * step + 1]));
#endif
  show();
  if (++step == STEPS) {
    step = 0;
  }
}
