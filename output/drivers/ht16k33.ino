// ---- Display: HT16K33 8x8 LED backpacks on I2C ----
// Wiring: every backpack's SDA to SDA (A4 on an Uno, 20 on a Mega), SCL to SCL
// (A5 / 21), VCC to 5 V, GND to GND. Module 0, the leftmost, answers at 0x70,
// the next at 0x71 (solder its A0 jumper), and so on up to 0x77.
#include <Wire.h>

#ifndef HT16K33_ADDRESS
#define HT16K33_ADDRESS 0x70  // the leftmost module; the others follow it
#endif
#ifndef BRIGHTNESS
#define BRIGHTNESS 8  // 0..15, the chip's sixteen duty steps
#endif
#ifndef BACKPACK
#define BACKPACK 1
#endif
#if MOST_MODULES > 8
#error "the HT16K33 has eight addresses (0x70..0x77): at most 8 modules"
#endif

// The popular backpack wires RAM bit b to column b + 1 (bit 7 to column 0); a
// plain HT16K33 board wires bit b to column b.
#define HT16K33_BIT(column) (BACKPACK ? ((column) + 7) & 7 : (column))

// Set once a transmission fails: the next displayShow() sets the modules up
// again, so a backpack that was unplugged or glitched comes back.
bool ht16k33Lost = true;

static void ht16k33End() {
    if (Wire.endTransmission() != 0) {
        ht16k33Lost = true;
    }
}

static void ht16k33Command(byte module, byte command) {
    Wire.beginTransmission(HT16K33_ADDRESS + module);
    Wire.write(command);
    ht16k33End();
}

// One transmission per module: the address pointer 0, then the 16 RAM bytes.
// COM n drives row n, from the low byte at RAM address 2n; the high byte
// (rows 8..15 of a 16x8 matrix) is not wired on an 8x8 backpack.
static void ht16k33Write(byte module, bool blank) {
    Wire.beginTransmission(HT16K33_ADDRESS + module);
    Wire.write(0x00);
    for (byte row = 0; row < 8; ++row) {
        byte bits = 0;
        for (byte column = 0; column < 8 && !blank; ++column) {
            if (frame[module * 8 + column] & (1 << row)) {
                bits |= 1 << HT16K33_BIT(column);
            }
        }
        Wire.write(bits);
        Wire.write(0);
    }
    ht16k33End();
}

static void ht16k33SetUp() {
    ht16k33Lost = false;
    for (byte module = 0; module < MODULES; ++module) {
        ht16k33Command(module, 0x21);                        // oscillator on
        ht16k33Command(module, 0xE0 | (BRIGHTNESS & 0x0F));  // dimming
        ht16k33Write(module, true);                          // RAM is not cleared at power-up
        ht16k33Command(module, 0x81);                        // display on, blink off
    }
}

void displayBegin() {
    Wire.begin();
    Wire.setClock(400000);
    ht16k33SetUp();
}

void displayShow() {
    if (ht16k33Lost) {
        ht16k33SetUp();
    }
    for (byte module = 0; module < MODULES; ++module) {
        ht16k33Write(module, false);
    }
}

void displayRefresh() {}
