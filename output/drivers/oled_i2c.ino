// ---- The OLED on I2C: the usual 4-pin module ----
// Wiring: SDA to A4 on an Uno (20 on a Mega), SCL to A5 (21), VCC to 3.3 or
// 5 V (most modules carry a regulator), GND to GND. The address is 0x3C on
// most modules, 0x3D where the board's address jumper is moved.
#include <Wire.h>

#ifndef OLED_ADDRESS
#define OLED_ADDRESS 0x3C
#endif

// Wire's buffer is 32 bytes on AVR: the control byte and 31 data bytes.
const byte oledChunk = 31;

static void oledBusBegin() {
    Wire.begin();
    Wire.setClock(400000);
}

static void oledStart(bool data) {
    Wire.beginTransmission(OLED_ADDRESS);
    Wire.write(data ? 0x40 : 0x00);  // Co = 0, D/C# = data: the rest is data or commands
}

static void oledSend(byte b) {
    Wire.write(b);
}

// Whether the module took the transmission: it answers every byte.
static bool oledFinish() {
    return Wire.endTransmission() == 0;
}
