// SPI as the Arduino reference documents it.
#pragma once
#include <stdint.h>

#define SPI_MODE0 0x00
#define SPI_MODE1 0x04
#define SPI_MODE2 0x08
#define SPI_MODE3 0x0C

class SPISettings {
  public:
    SPISettings();
    SPISettings(uint32_t clock, uint8_t bit_order, uint8_t data_mode);
};

class SPIClass {
  public:
    static void begin();
    static void end();
    static void beginTransaction(SPISettings settings);
    static void endTransaction();
    static uint8_t transfer(uint8_t data);
    static uint16_t transfer16(uint16_t data);
    static void transfer(void* buffer, size_t count);
};
extern SPIClass SPI;
