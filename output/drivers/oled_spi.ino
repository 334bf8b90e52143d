// ---- The OLED on SPI: the 7-pin module (GND VCC D0 D1 RES DC CS) ----
// Wiring: D0 (the clock) to 13 on an Uno (52 on a Mega), D1 (data in) to 11
// (51), RES to 8, DC to 9, CS to 10, VCC to 3.3 or 5 V, GND to GND.
#include <SPI.h>

const byte oledCsPin = 10;
const byte oledDcPin = 9;
const byte oledResetPin = 8;

// No buffer to fit: a page's 128 columns go in one transfer.
const byte oledChunk = 128;

// 4 MHz: within both controllers' serial clock (the SH1106's is the slower),
// and a whole screen still takes well under 10 ms (over 40 on I2C).
const SPISettings oledSpi(4000000, MSBFIRST, SPI_MODE0);

// RES floats on these modules and the controller's state is undefined
// until it is reset: it is held low for a millisecond, far past the
// datasheets' few microseconds, before the first command.
static void oledBusBegin() {
    pinMode(oledCsPin, OUTPUT);
    digitalWrite(oledCsPin, HIGH);
    pinMode(oledDcPin, OUTPUT);
    pinMode(oledResetPin, OUTPUT);
    digitalWrite(oledResetPin, LOW);
    delay(1);
    digitalWrite(oledResetPin, HIGH);
    delay(1);
    SPI.begin();
}

static void oledStart(bool data) {
    SPI.beginTransaction(oledSpi);
    digitalWrite(oledDcPin, data ? HIGH : LOW);
    digitalWrite(oledCsPin, LOW);
}

static void oledSend(byte b) {
    SPI.transfer(b);
}

// SPI has no answer: a module that is not there is not noticed.
static bool oledFinish() {
    digitalWrite(oledCsPin, HIGH);
    SPI.endTransaction();
    return true;
}
