/* Runs a sketch on a simulated ATmega328P and decodes what it sends
 * to a chain of MAX7219s into frames, one line each:
 *     MILLISECONDS COLUMNS
 * COLUMNS is the display's column bytes in hex, left to right, top pixel in
 * the lowest bit, as the LEDs of the chain would show them for the wiring
 * given; "off" instead when the chips are not all set to show raw bytes
 * (shut down, in display test, decoding, or scanning fewer digits).
 *
 *     max7219_harness PROGRAM MODULES fc16|dip SIMULATED_MS [atmega328p|atmega2560]
 *
 * PROGRAM is the sketch's ELF, or a flat flash image: FILE.hex (Intel HEX)
 * or FILE.bin (raw bytes from address 0), as uploaded or read off a board.
 *
 * It listens to the SPI's bytes and to the pins (CS on 10, DIN on 11, CLK
 * on 13 of either board), so a sketch that drives them with shiftOut() is
 * decoded too. At the end, "level" and each chip's intensity (0..15). A
 * frame is printed when the register of the last digit is latched, and when
 * the chips leave or enter shutdown. */
#include <simavr/avr_ioport.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_cycle_timers.h>
#include <simavr/sim_io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "flash_image.h"

enum { most_modules = 16, most_bits = 4096 };

static avr_t* avr;
static int modules;
static int fc16;
static unsigned char bits[most_bits];
static int nbits;
static int din, clk, cs = 1;
static unsigned char reg[most_modules][16];
/* Port B bits of pins 10, 11 and 13: PB2, PB3, PB5 on an Uno; PB4, PB5,
 * PB7 on a Mega. */
static int cs_bit = 2, din_bit = 3, clk_bit = 5;

static void add_bit(int b) {
    if (nbits < most_bits) {
        bits[nbits++] = (unsigned char)b;
    }
}

static void print_frame(void) {
    int on = 1;
    for (int m = 0; m < modules; ++m) {
        on = on && reg[m][0x0C] == 1 && reg[m][0x0F] == 0 && reg[m][0x09] == 0 && reg[m][0x0B] == 7;
    }
    printf("%.3f ", (double)avr->cycle * 1000.0 / avr->frequency);
    if (!on) {
        printf("off\n");
        return;
    }
    for (int m = 0; m < modules; ++m) {
        for (int c = 0; c < 8; ++c) {
            unsigned column = 0;
            for (int d = 0; d < 8; ++d) {
                /* fc16: digit d + 1 is row d, bit 7 the leftmost column.
                 * dip: digit d + 1 is column d, bit 0 the top row. */
                const int lit = fc16 ? (reg[m][d + 1] >> (7 - c)) & 1 : (reg[m][c + 1] >> d) & 1;
                column |= (unsigned)lit << d;
            }
            printf("%02x", column);
        }
    }
    printf("\n");
}

/* CS rising latches the last 16 bits of every chip: the chip at DIN, the
 * rightmost module, holds the last word shifted in. */
static void latch(void) {
    const int words = nbits / 16;
    int show = 0;
    if (nbits == 0) {
        return; /* CS set high at start-up, nothing shifted */
    }
    if (nbits % 16 == 0 && words >= modules) {
        for (int m = 0; m < modules; ++m) {
            const int w = words - modules + m;
            unsigned word = 0;
            for (int i = 0; i < 16; ++i) {
                word = (word << 1) | bits[w * 16 + i];
            }
            reg[m][(word >> 8) & 0x0F] = (unsigned char)(word & 0xFF);
            show = show || ((word >> 8) & 0x0F) == 8 || ((word >> 8) & 0x0F) == 0x0C;
        }
    } else {
        fprintf(stderr, "harness: %d bits latched for %d modules\n", nbits, modules);
    }
    nbits = 0;
    if (show) {
        print_frame();
    }
}

/* simavr's SPI takes 100 us a byte whatever the clock, so a frame of a
 * chain takes milliseconds it would not on a board. The harness takes each
 * byte as it is written to SPDR and sets SPIF after the byte's real time
 * (8 SPI clocks at the divisor SPCR and SPSR choose); the bytes simavr's SPI
 * raises later are not listened to. */
enum { ddrb = 0x24, spcr = 0x4C, spsr = 0x4D, spdr = 0x4E };
/* MOSI and SCK: PB3 and PB5 on an Uno, PB2 and PB1 on a Mega. */
static int mosi_bit = 3, sck_bit = 5;
static int warned_pins;

static avr_cycle_count_t spi_done(struct avr_t* a, avr_cycle_count_t when, void* param) {
    (void)when;
    (void)param;
    avr_core_watch_write(a, spsr, a->data[spsr] | 0x80);
    return 0;
}

static void on_spdr(struct avr_t* a, avr_io_addr_t addr, uint8_t value, void* param) {
    (void)param;
    a->data[addr] = value;
    if (!(a->data[spcr] & 0x40)) {
        return; /* SPI off */
    }
    /* The SPI drives MOSI and SCK only when they are outputs: a sketch that
     * sets up another board's SPI pins sends the chips nothing. */
    const uint8_t spi_pins = (uint8_t)(1u << mosi_bit | 1u << sck_bit);
    if ((a->data[ddrb] & spi_pins) != spi_pins) {
        if (!warned_pins) {
            fprintf(stderr, "harness: SPI bytes written while MOSI or SCK is not an output\n");
            warned_pins = 1;
        }
        avr_cycle_timer_register(a, 16, spi_done, NULL);
        return;
    }
    for (int i = 7; i >= 0; --i) {
        add_bit((value >> i) & 1);
    }
    static const int divisors[4] = {4, 16, 64, 128};
    int divisor = divisors[a->data[spcr] & 3];
    if (a->data[spsr] & 1) {
        divisor /= 2; /* SPI2X */
    }
    avr_core_watch_write(a, spsr, a->data[spsr] & 0x7F);
    avr_cycle_timer_register(a, (avr_cycle_count_t)(8 * divisor), spi_done, NULL);
}

static void on_pin(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    const int pin = (int)(intptr_t)param;
    if (pin == cs_bit) { /* CS, Arduino pin 10 */
        if (!cs && value) {
            latch();
        } else if (cs && !value) {
            nbits = 0;
        }
        cs = (int)value;
    } else if (pin == din_bit) { /* DIN, pin 11 */
        din = (int)value;
    } else if (pin == clk_bit) { /* CLK, pin 13: the chips sample DIN as it rises */
        if (!clk && value) {
            add_bit(din);
        }
        clk = (int)value;
    }
}

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        fprintf(stderr,
                "usage: max7219_harness ELF|FLASH.hex|FLASH.bin MODULES fc16|dip SIMULATED_MS "
                "[MCU]\n");
        return 2;
    }
    modules = atoi(argv[2]);
    fc16 = strcmp(argv[3], "fc16") == 0;
    const double ms = atof(argv[4]);
    if (modules < 1 || modules > most_modules) {
        return 2;
    }
    const char* mcu = argc == 6 ? argv[5] : "atmega328p";
    if (strcmp(mcu, "atmega2560") == 0) {
        cs_bit = 4;
        din_bit = 5;
        clk_bit = 7;
        mosi_bit = 2;
        sck_bit = 1;
    }
    avr = start_program(mcu, argv[1]);
    if (!avr) {
        return 2;
    }
    avr_register_io_write(avr, spdr, on_spdr, NULL);
    for (intptr_t pin = 0; pin <= 7; ++pin) {
        avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), (int)pin), on_pin,
                                (void*)pin);
    }
    const int status = run_program(avr, ms, NULL);
    printf("level");
    for (int m = 0; m < modules; ++m) {
        printf(" %d", reg[m][0x0A] & 15);
    }
    printf("\n");
    return status;
}
