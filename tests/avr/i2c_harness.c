/* Runs a sketch on a simulated ATmega328P or ATmega2560 and plays the
 * I2C display it drives: an SSD1306 or SH1106 OLED, or a row of HT16K33 LED
 * backpacks. Each controller is modelled from its datasheet, down to what
 * its glass shows, and the bus is timed as a real one at the TWI's clock.
 *
 *     i2c_harness PROGRAM MCU DEVICE MODULES SIMULATED_MS [backpack|plain|ADDRESS [flipped]]
 *
 * PROGRAM is the sketch's ELF, or a flat flash image: FILE.hex (Intel HEX)
 * or FILE.bin (raw bytes from address 0), as uploaded or read off a board.
 * MCU atmega328p|atmega2560; DEVICE ssd1306|ssd1306x32|sh1106|ht16k33 (an
 * SSD1306 on a 128x32 glass); MODULES the
 * number of HT16K33s, at 0x70, 0x71, ... from the left (1 for an OLED). The
 * last arguments are the HT16K33 boards' wiring (backpack unless told) and
 * the leftmost one's address (0x70 unless told), or the OLED's address
 * (0x3c unless told) and "flipped" after it when the OLED module is mounted
 * upside down (its glass is then seen turned round). Lines:
 *     B T_START T_END BYTES   a burst of bus traffic (transactions less than
 *                             1 ms apart), BYTES counting addresses too
 *     F T IMAGE               the glass changed, printed once the bus has been
 *                             idle for 1 ms
 *     E T MESSAGE             the panel would not do what the sketch meant
 *     L LEVEL...              at the end: each HT16K33's dimming (0..15), or
 *                             the OLED's contrast (0..255)
 * Times are milliseconds of simulated time. An OLED's IMAGE is 1024 bytes in
 * hex (512 for 32 rows), page-major (page 0's columns 0..127, then page 1, ...), a byte per
 * column of 8 pixels, top pixel in bit 0; the HT16K33s' is each module's 8
 * column bytes, module 0x70 first. "off" when the panel is dark, "blink"
 * when the LEDs blink. */
#include <simavr/avr_twi.h>
#include <simavr/sim_avr.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bus_trace.h"
#include "flash_image.h"
#include "oled_model.h"

enum { ht16k33 = sh1106 + 1 };
enum { most_modules = 8 };

static avr_t* avr;
static int modules;
static int backpack = 1;
static int oled_address = 0x3C;
static int ht16k33_address = 0x70; /* the leftmost module's */

/* ---- the HT16K33s ---- */

static struct {
    unsigned char ram[16];
    int pointer, oscillator, on, blink;
    int dimming; /* the duty in sixteenths, less one: 15 at power-up */
} ht[most_modules];

static void ht_reset(void) {
    unsigned seed = 777;
    memset(ht, 0, sizeof ht);
    for (int m = 0; m < most_modules; ++m) {
        for (int i = 0; i < 16; ++i) {
            seed = seed * 1103515245u + 12345u;
            ht[m].ram[i] = (unsigned char)(seed >> 16);
        }
        ht[m].dimming = 15;
    }
}

/* The first byte of a write is a command; after the RAM address pointer
 * (0x00..0x0F), the bytes that follow are RAM data, the pointer wrapping
 * over the 16 bytes. */
static void ht_byte(int m, int first, int b) {
    if (!first) {
        if (ht[m].pointer < 0) {
            report("HT16K33: data after a command that takes none", 0);
            return;
        }
        ht[m].ram[ht[m].pointer] = (unsigned char)b;
        ht[m].pointer = (ht[m].pointer + 1) & 15;
        return;
    }
    ht[m].pointer = -1;
    switch (b & 0xF0) {
        case 0x00:
            ht[m].pointer = b & 15;
            break;
        case 0x20:
            ht[m].oscillator = b & 1;
            break;
        case 0x80:
            ht[m].on = b & 1;
            ht[m].blink = (b >> 1) & 3;
            break;
        case 0xE0:
            ht[m].dimming = b & 15;
            break;
        case 0xA0: /* ROW/INT pin */
            break;
        default:
            report("HT16K33: command 0x%02x not supported", b);
    }
}

static void ht_image(char* out) {
    for (int m = 0; m < modules; ++m) {
        if (!ht[m].oscillator || !ht[m].on) {
            strcpy(out, "off");
            return;
        }
    }
    for (int m = 0; m < modules; ++m) {
        if (ht[m].blink) {
            strcpy(out, "blink");
            return;
        }
    }
    for (int m = 0; m < modules; ++m) {
        for (int c = 0; c < 8; ++c) {
            /* COM n is row n, from the low byte at RAM address 2n. */
            const int bit = backpack ? (c + 7) & 7 : c;
            int column = 0;
            for (int row = 0; row < 8; ++row) {
                column |= ((ht[m].ram[2 * row] >> bit) & 1) << row;
            }
            out += sprintf(out, "%02x", column);
        }
    }
}

/* ---- the bus ---- */

static avr_irq_t* twi_input;
static avr_io_t* twi_io;
static int target = -1; /* the module addressed, -1 for none */
static int first_byte, expect_control, data_mode, stream;
static int scroll_reported, blink_reported;

static void current_image(char* out) {
    if (device == ht16k33) {
        ht_image(out);
    } else {
        oled_image(out);
    }
}

/* What a person would notice left on once the bus is quiet. */
static void when_quiet(const char* picture) {
    if (device != ht16k33 && oled.scrolling && oled.on && !scroll_reported) {
        report("scrolling left running", 0);
    }
    scroll_reported = device != ht16k33 && oled.scrolling;
    const int blinking = strcmp(picture, "blink") == 0;
    if (blinking && !blink_reported) {
        report("blinking left on", 0);
    }
    blink_reported = blinking;
}

/* simavr's TWI takes the same few microseconds for a byte whatever the
 * clock. A byte and its ACK are 9 SCL periods on a real bus; SCL is
 * F_CPU / (16 + 2 * TWBR * 4^TWPS). The TWI arms its timer for the byte
 * just started after telling us of it (with no delay at all for an address);
 * a timer of ours due at once runs first of those due and moves it to where
 * the real bus would end the byte. */
static avr_cycle_count_t byte_started;

static avr_cycle_count_t retime(avr_t* a, avr_cycle_count_t when, void* param) {
    (void)when;
    (void)param;
    const int twbr = a->data[0xB8];
    const int twps = a->data[0xB9] & 3;
    const avr_cycle_count_t period = 16 + 2 * (avr_cycle_count_t)twbr * (1u << (2 * twps));
    const avr_cycle_count_t done = byte_started + 9 * period;
    for (avr_cycle_timer_slot_p s = a->cycle_timers.timer; s; s = s->next) {
        if (s->param == twi_io) {
            avr_cycle_timer_t fn = s->timer;
            avr_cycle_timer_cancel(a, fn, twi_io);
            avr_cycle_timer_register(a, done > a->cycle ? done - a->cycle : 1, fn, twi_io);
            break;
        }
    }
    return 0;
}

static void byte_on_bus(void) {
    byte_started = avr->cycle;
    avr_cycle_timer_register(avr, 0, retime, NULL);
}

static void answer(int ack) {
    avr_raise_irq(twi_input, avr_twi_irq_msg(TWI_COND_ACK, 0, ack));
}

static void on_twi(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    avr_twi_msg_irq_t m;
    m.u.v = value;
    const int msg = m.u.twi.msg;
    if (msg & TWI_COND_STOP) {
        trace_traffic(0);
        target = -1;
        oled.overrun = 0;
        return;
    }
    if (msg & TWI_COND_START) {
        trace_traffic(1);
        byte_on_bus();
        const int address = m.u.twi.addr >> 1;
        target = -1;
        if (device == ht16k33) {
            if (address >= ht16k33_address && address < ht16k33_address + modules) {
                target = address - ht16k33_address;
            }
        } else if (address == oled_address) {
            target = 0;
        }
        if (target >= 0 && (m.u.twi.addr & 1)) {
            report("read from 0x%02x: this panel is only written", address);
            target = -1;
        }
        if (target < 0) {
            report("no device at 0x%02x: NACK", address);
            answer(0);
            return;
        }
        first_byte = 1;
        expect_control = 1;
        answer(1);
        return;
    }
    if (msg & TWI_COND_WRITE) {
        trace_traffic(1);
        byte_on_bus();
        if (target < 0) {
            answer(0);
            return;
        }
        const int b = m.u.twi.data;
        if (device == ht16k33) {
            ht_byte(target, first_byte, b);
        } else if (expect_control) {
            /* Co = 1: one byte, then another control byte; Co = 0: the rest
             * of the transaction. D/C# picks data or commands. */
            stream = !(b & 0x80);
            data_mode = (b & 0x40) != 0;
            expect_control = 0;
            if (b & 0x3F) {
                report("control byte 0x%02x has its low bits set", b);
            }
        } else {
            if (data_mode) {
                oled_data(b);
            } else {
                oled_command(b);
            }
            expect_control = !stream;
        }
        first_byte = 0;
        answer(1);
    }
}

int main(int argc, char** argv) {
    simavr_messages_to_stderr(LOG_WARNING);
    if (argc < 6 || argc > 8) {
        fprintf(stderr,
                "usage: i2c_harness ELF|FLASH.hex|FLASH.bin atmega328p|atmega2560 "
                "ssd1306|ssd1306x32|sh1106|ht16k33 MODULES "
                "SIMULATED_MS [backpack|plain [ADDRESS]|ADDRESS [flipped]]\n");
        return 2;
    }
    glass_rows = strcmp(argv[3], "ssd1306x32") == 0 ? 32 : 64;
    device = strcmp(argv[3], "ssd1306") == 0 || glass_rows == 32 ? ssd1306
             : strcmp(argv[3], "sh1106") == 0                    ? sh1106
             : strcmp(argv[3], "ht16k33") == 0                   ? ht16k33
                                                                 : -1;
    modules = atoi(argv[4]);
    const double ms = atof(argv[5]);
    if (argc >= 7 && device == ht16k33) {
        backpack = strcmp(argv[6], "plain") != 0;
        if (argc == 8) {
            ht16k33_address = (int)strtol(argv[7], NULL, 16);
        }
    } else if (argc >= 7) {
        oled_address = (int)strtol(argv[6], NULL, 16);
        flipped = argc == 8 && strcmp(argv[7], "flipped") == 0;
    }
    if (device < 0 || modules < 1 || modules > most_modules) {
        fprintf(stderr, "harness: bad device or module count\n");
        return 2;
    }
    avr = start_program(argv[2], argv[1]);
    if (!avr) {
        return 2;
    }
    twi_io = find_peripheral(avr, "twi");
    if (!twi_io) {
        fprintf(stderr, "harness: %s has no TWI\n", argv[2]);
        return 2;
    }
    oled_reset();
    ht_reset();
    trace_begin(avr, current_image, when_quiet);
    twi_input = avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_OUTPUT), on_twi,
                            NULL);
    if (run_program(avr, ms, NULL) != 0) {
        return 1;
    }
    trace_settle();
    if (device == ht16k33) {
        printf("L");
        for (int m = 0; m < modules; ++m) {
            printf(" %d", ht[m].dimming);
        }
        printf("\n");
    } else {
        printf("L %d\n", oled.contrast);
    }
    return 0;
}
