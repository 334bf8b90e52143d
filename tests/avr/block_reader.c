/* A program that keeps its picture in flash at a fixed address, BLOCK, far
 * past its own code, and shows it on one MAX7219 wired as a DIP module
 * (digit register N holds column N - 1): the picture is there only when
 * its flash was loaded whole, not section by section from the ELF.
 * CS on Arduino pin 10, MOSI and SCK the SPI's. */
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <stdint.h>

#if defined(__AVR_ATmega2560__)
#define CS_BIT PB4
#define SPI_PINS (1 << PB0 | 1 << PB1 | 1 << PB2) /* SS, SCK, MOSI */
#define READ(address) pgm_read_byte_far(address)  /* the block may be past 64 KiB */
#else
#define CS_BIT PB2
#define SPI_PINS (1 << PB2 | 1 << PB3 | 1 << PB5) /* SS, MOSI, SCK */
#define READ(address) pgm_read_byte((uint16_t)(address))
#endif

static void spi(uint8_t byte) {
    SPDR = byte;
    while (!(SPSR & 1 << SPIF)) {
    }
}

static void put(uint8_t reg, uint8_t value) {
    PORTB &= (uint8_t) ~(1 << CS_BIT);
    spi(reg);
    spi(value);
    PORTB |= 1 << CS_BIT;
}

int main(void) {
    DDRB = SPI_PINS | 1 << CS_BIT;
    PORTB = 1 << CS_BIT;
    SPCR = 1 << SPE | 1 << MSTR;
    put(0x0F, 0); /* no display test */
    put(0x09, 0); /* raw bytes, no decoding */
    put(0x0B, 7); /* all eight digits */
    put(0x0A, 8);
    for (uint8_t column = 0; column < 8; ++column) {
        put((uint8_t)(column + 1), READ((uint32_t)BLOCK + column));
    }
    put(0x0C, 1); /* on */
    for (;;) {
    }
}
