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
 * last argument is the HT16K33 boards' wiring (backpack unless told), or the
 * OLED's address (0x3c unless told), and "flipped" after it when the OLED
 * module is mounted upside down (its glass is then seen turned round). Lines:
 *     B T_START T_END BYTES   a burst of bus traffic (transactions less than
 *                             1 ms apart), BYTES counting addresses too
 *     F T IMAGE               the glass changed, printed once the bus has been
 *                             idle for 1 ms
 *     E T MESSAGE             the panel would not do what the sketch meant
 * Times are milliseconds of simulated time. An OLED's IMAGE is 1024 bytes in
 * hex (512 for 32 rows), page-major (page 0's columns 0..127, then page 1, ...), a byte per
 * column of 8 pixels, top pixel in bit 0; the HT16K33s' is each module's 8
 * column bytes, module 0x70 first. "off" when the panel is dark, "blink"
 * when the LEDs blink. */
#include <simavr/avr_twi.h>
#include <simavr/sim_avr.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "flash_image.h"

enum { ssd1306, sh1106, ht16k33 };
enum { most_modules = 8, ram_columns = 132, glass_columns = 128 };

static avr_t* avr;
static int device;
static int flipped;   /* the module mounted upside down: the glass seen turned round */
static int glass_rows = 64; /* an SSD1306 module's: 64, or 32 on a 0.91" one */
static int modules;
static int backpack = 1;
static int oled_address = 0x3C;

static double now_ms(void) {
    return (double)avr->cycle * 1000.0 / avr->frequency;
}

static void report(const char* message, int value) {
    printf("E %.3f ", now_ms());
    printf(message, value);
    printf("\n");
}

/* ---- the OLED controllers ---- */

static struct {
    unsigned char ram[8][ram_columns];
    int mode; /* 0 horizontal, 1 vertical, 2 page */
    int column, page, page_column;
    int column_start, column_end, page_start, page_end;
    int remap, com_reversed, start_line, offset, mux, com_pins;
    int inverted, entire_on, pump, on, scrolling;
    unsigned char command[8];
    int have, need;
    int overrun; /* data written past the last column, reported once a transaction */
} oled;

static void oled_reset(void) {
    memset(&oled, 0, sizeof oled);
    /* The RAM holds noise at power-up. */
    unsigned seed = 12345;
    for (int p = 0; p < 8; ++p) {
        for (int c = 0; c < ram_columns; ++c) {
            seed = seed * 1103515245u + 12345u;
            oled.ram[p][c] = (unsigned char)(seed >> 16);
        }
    }
    oled.mode = 2;
    oled.column_end = 127;
    oled.page_end = 7;
    oled.mux = 64;
    oled.com_pins = 0x12;
    oled.pump = device == sh1106; /* the SH1106's DC-DC is on at reset, the SSD1306's pump off */
}

/* How many argument bytes follow a command, or -1 if the controller has no
 * such command. */
static int oled_arguments(int c) {
    if (c <= 0x1F || (c >= 0x40 && c <= 0x7F) || (c >= 0xA0 && c <= 0xA7) || c == 0xAE ||
        c == 0xAF || (c >= 0xB0 && c <= 0xB7) || (c >= 0xC0 && c <= 0xCF) || c == 0xE3) {
        return 0;
    }
    if (c == 0x81 || c == 0xA8 || c == 0xD3 || c == 0xD5 || c == 0xD9 || c == 0xDA || c == 0xDB) {
        return 1;
    }
    if (device == sh1106) {
        if (c >= 0x30 && c <= 0x33) {
            return 0; /* pump voltage */
        }
        if (c == 0xE0 || c == 0xEE) {
            return 0; /* read-modify-write and its end */
        }
        return c == 0xAD ? 1 : -1;
    }
    switch (c) {
        case 0x20:
        case 0x8D:
            return 1;
        case 0x21:
        case 0x22:
        case 0xA3:
            return 2;
        case 0x26:
        case 0x27:
            return 6;
        case 0x29:
        case 0x2A:
            return 5;
        case 0x2E:
        case 0x2F:
            return 0;
        default:
            return -1;
    }
}

static void oled_execute(const unsigned char* a) {
    const int c = a[0];
    if (c <= 0x0F) {
        oled.page_column = (oled.page_column & 0xF0) | c;
        oled.column = oled.page_column;
    } else if (c <= 0x1F) {
        oled.page_column = (oled.page_column & 0x0F) | ((c & 0x0F) << 4);
        oled.column = oled.page_column;
    } else if (c >= 0x40 && c <= 0x7F) {
        oled.start_line = c & 0x3F;
    } else if (c >= 0xB0 && c <= 0xB7) {
        oled.page = c & 7;
    } else if (c >= 0xC0 && c <= 0xCF) {
        oled.com_reversed = (c & 0x08) != 0;
    } else {
        switch (c) {
            case 0x20:
                oled.mode = a[1] & 3;
                if (oled.mode == 3) {
                    report("invalid addressing mode 3", 0);
                }
                break;
            case 0x21:
                oled.column_start = oled.column = a[1] & 0x7F;
                oled.column_end = a[2] & 0x7F;
                break;
            case 0x22:
                oled.page_start = oled.page = a[1] & 7;
                oled.page_end = a[2] & 7;
                break;
            case 0x2E:
                oled.scrolling = 0;
                break;
            case 0x2F:
                oled.scrolling = 1;
                break;
            case 0x8D:
                oled.pump = (a[1] & 0x04) != 0;
                break;
            case 0xAD:
                if ((a[1] & 0xFE) != 0x8A) {
                    report("DC-DC control byte 0x%02x is not 0x8A or 0x8B", a[1]);
                }
                oled.pump = a[1] & 1;
                break;
            case 0xA0:
            case 0xA1:
                oled.remap = c & 1;
                break;
            case 0xA4:
            case 0xA5:
                oled.entire_on = c & 1;
                break;
            case 0xA6:
            case 0xA7:
                oled.inverted = c & 1;
                break;
            case 0xA8:
                oled.mux = (a[1] & 0x3F) + 1;
                if (oled.mux < 16) {
                    report("invalid multiplex ratio %d", oled.mux);
                }
                break;
            case 0xAE:
            case 0xAF:
                oled.on = c & 1;
                break;
            case 0xD3:
                oled.offset = a[1] & 0x3F;
                break;
            case 0xDA:
                oled.com_pins = a[1];
                break;
            default:
                break; /* clock, contrast, precharge, VCOM, scroll set-up, NOP */
        }
    }
}

static void oled_command(int b) {
    oled.command[oled.have++] = (unsigned char)b;
    if (oled.have == 1) {
        oled.need = oled_arguments(b);
        if (oled.need < 0) {
            /* The controller ignores it; what the sketch meant as its
             * arguments is read as commands. */
            report(device == sh1106 ? "command 0x%02x is not the SH1106's"
                                    : "command 0x%02x is not the SSD1306's",
                   b);
            oled.have = 0;
            return;
        }
    }
    if (oled.have > oled.need) {
        oled_execute(oled.command);
        oled.have = 0;
    }
}

static void oled_data(int b) {
    if (device == sh1106) {
        if (oled.column >= ram_columns) {
            if (!oled.overrun) {
                report("data past the SH1106's column 131", 0);
            }
            oled.overrun = 1;
            return;
        }
        oled.ram[oled.page][oled.column++] = (unsigned char)b;
        return;
    }
    oled.ram[oled.page][oled.column] = (unsigned char)b;
    if (oled.mode == 2) {
        /* Page addressing wraps within the page. */
        oled.column = oled.column == 127 ? oled.page_column & 0x7F : oled.column + 1;
    } else if (oled.mode == 0) {
        if (oled.column++ >= oled.column_end) {
            oled.column = oled.column_start;
            oled.page = oled.page >= oled.page_end ? oled.page_start : oled.page + 1;
        }
    } else {
        if (oled.page++ >= oled.page_end) {
            oled.page = oled.page_start;
            oled.column = oled.column >= oled.column_end ? oled.column_start : oled.column + 1;
        }
    }
}

/* Glass pixel (x, y), y = 0 at the top. The usual modules are wired so that
 * segment remap (A1) and COM scan from the top (C8) show the RAM upright:
 * glass column x is on the segment counted from the right, glass row y on
 * COM 63 - y. The SH1106's 128 glass columns are on SEG2..SEG129. */
static int oled_pixel(int x, int y) {
    const int width = device == sh1106 ? ram_columns : glass_columns;
    const int segment = device == sh1106 ? 129 - x : 127 - x;
    const int column = oled.remap ? width - 1 - segment : segment;
    /* A 64-row panel is wired for the alternative COM pin configuration
     * (row y on pin 63 - y); the sequential one interleaves its rows. A
     * 32-row module has its rows on every other pin, for the sequential
     * configuration (row y on pin 62 - 2y); the alternative one shows every
     * other row of the RAM. */
    const int pin = glass_rows == 64 ? 63 - y : 62 - 2 * y;
    int com = (oled.com_pins & 0x10) ? pin : (pin & 1 ? 32 + pin / 2 : pin / 2);
    if (oled.com_pins & 0x20) {
        com ^= 32;
    }
    if (com >= oled.mux) {
        return 0;
    }
    const int scan = oled.com_reversed ? oled.mux - 1 - com : com;
    const int row = (scan + oled.start_line + oled.offset) & 63;
    int lit = oled.entire_on || ((oled.ram[row >> 3][column] >> (row & 7)) & 1);
    return oled.inverted && !oled.entire_on ? !lit : lit;
}

static void oled_image(char* out) {
    if (!oled.on || !oled.pump) {
        strcpy(out, "off");
        return;
    }
    for (int page = 0; page < glass_rows / 8; ++page) {
        for (int x = 0; x < glass_columns; ++x) {
            int column = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int y = page * 8 + bit;
                column |= (flipped ? oled_pixel(glass_columns - 1 - x, glass_rows - 1 - y)
                                   : oled_pixel(x, y))
                          << bit;
            }
            out += sprintf(out, "%02x", column);
        }
    }
}

/* ---- the HT16K33s ---- */

static struct {
    unsigned char ram[16];
    int pointer, oscillator, on, blink;
} ht[most_modules];

static void ht_reset(void) {
    unsigned seed = 777;
    memset(ht, 0, sizeof ht);
    for (int m = 0; m < most_modules; ++m) {
        for (int i = 0; i < 16; ++i) {
            seed = seed * 1103515245u + 12345u;
            ht[m].ram[i] = (unsigned char)(seed >> 16);
        }
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
        case 0xA0: /* ROW/INT pin */
        case 0xE0: /* dimming */
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
static avr_cycle_count_t burst_start, burst_end, last_activity;
static int burst_bytes, in_burst;
static char image[2 * 1024 + 1], shown[2 * 1024 + 1];
static int scroll_reported, blink_reported;

static void current_image(char* out) {
    if (device == ht16k33) {
        ht_image(out);
    } else {
        oled_image(out);
    }
}

static void settle(void) {
    if (in_burst) {
        printf("B %.3f %.3f %d\n", (double)burst_start * 1000.0 / avr->frequency,
               (double)burst_end * 1000.0 / avr->frequency, burst_bytes);
        in_burst = 0;
    }
    current_image(image);
    if (strcmp(image, shown) != 0) {
        printf("F %.3f %s\n", now_ms(), image);
        strcpy(shown, image);
    }
    if (device != ht16k33 && oled.scrolling && oled.on && !scroll_reported) {
        report("scrolling left running", 0);
    }
    scroll_reported = device != ht16k33 && oled.scrolling;
    const int blinking = strcmp(image, "blink") == 0;
    if (blinking && !blink_reported) {
        report("blinking left on", 0);
    }
    blink_reported = blinking;
    fflush(stdout);
}

static avr_cycle_count_t on_idle(avr_t* a, avr_cycle_count_t when, void* param) {
    (void)a;
    (void)when;
    (void)param;
    settle();
    return 0;
}

static void activity(void) {
    last_activity = avr->cycle;
    if (!in_burst) {
        in_burst = 1;
        burst_start = avr->cycle;
        burst_bytes = 0;
    }
    burst_end = avr->cycle;
    avr_cycle_timer_cancel(avr, on_idle, NULL);
    avr_cycle_timer_register(avr, avr->frequency / 1000, on_idle, NULL);
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
    ++burst_bytes;
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
        activity();
        target = -1;
        oled.overrun = 0;
        return;
    }
    if (msg & TWI_COND_START) {
        activity();
        byte_on_bus();
        const int address = m.u.twi.addr >> 1;
        target = -1;
        if (device == ht16k33) {
            if (address >= 0x70 && address < 0x70 + modules) {
                target = address - 0x70;
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
        activity();
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

/* simavr's own messages (the firmware's sizes, its warnings) go to stderr:
 * stdout holds only the panel's lines. */
static void to_stderr(avr_t* a, const int level, const char* format, va_list ap) {
    (void)a;
    if (level <= LOG_WARNING) {
        vfprintf(stderr, format, ap);
    }
}

int main(int argc, char** argv) {
    avr_global_logger_set(to_stderr);
    flipped = argc == 8 && strcmp(argv[7], "flipped") == 0;
    if (argc != 6 && argc != 7 && !flipped) {
        fprintf(stderr,
                "usage: i2c_harness ELF|FLASH.hex|FLASH.bin atmega328p|atmega2560 "
                "ssd1306|ssd1306x32|sh1106|ht16k33 MODULES "
                "SIMULATED_MS [backpack|plain|ADDRESS [flipped]]\n");
        return 2;
    }
    glass_rows = strcmp(argv[3], "ssd1306x32") == 0 ? 32 : 64;
    device = strcmp(argv[3], "ssd1306") == 0 || glass_rows == 32 ? ssd1306
             : strcmp(argv[3], "sh1106") == 0  ? sh1106
             : strcmp(argv[3], "ht16k33") == 0 ? ht16k33
                                               : -1;
    modules = atoi(argv[4]);
    const double ms = atof(argv[5]);
    if (argc >= 7 && device == ht16k33) {
        backpack = strcmp(argv[6], "plain") != 0;
    } else if (argc >= 7) {
        oled_address = (int)strtol(argv[6], NULL, 16);
    }
    if (device < 0 || modules < 1 || modules > most_modules) {
        fprintf(stderr, "harness: bad device or module count\n");
        return 2;
    }
    avr = avr_make_mcu_by_name(argv[2]);
    if (!avr) {
        fprintf(stderr, "harness: no MCU %s\n", argv[2]);
        return 2;
    }
    avr_init(avr);
    avr->frequency = 16000000;
    avr->log = 0;
    if (load_program(avr, argv[1]) != 0) {
        return 2;
    }
    for (avr_io_t* io = avr->io_port; io; io = io->next) {
        if (strcmp(io->kind, "twi") == 0) {
            twi_io = io;
        }
    }
    if (!twi_io) {
        fprintf(stderr, "harness: %s has no TWI\n", argv[2]);
        return 2;
    }
    oled_reset();
    ht_reset();
    current_image(shown);
    printf("F 0.000 %s\n", shown);
    twi_input = avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_OUTPUT), on_twi,
                            NULL);
    const avr_cycle_count_t end = (avr_cycle_count_t)(ms * avr->frequency / 1000.0);
    while (avr->cycle < end) {
        const int state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed) {
            fprintf(stderr, "harness: the sketch stopped (state %d)\n", state);
            return 1;
        }
    }
    settle();
    return 0;
}
