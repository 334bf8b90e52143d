// Wire as the Arduino reference documents it.
#pragma once
#include <stddef.h>
#include <stdint.h>

class TwoWire {
  public:
    void begin();
    void end();
    void setClock(uint32_t clock);
    void beginTransmission(uint8_t address);
    uint8_t endTransmission();
    uint8_t endTransmission(bool stop);
    size_t write(uint8_t data);
    size_t write(const uint8_t* data, size_t count);
    uint8_t requestFrom(uint8_t address, uint8_t count);
    int available();
    int read();
};
extern TwoWire Wire;
