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
