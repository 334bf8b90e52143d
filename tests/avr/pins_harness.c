/* Runs a sketch on a simulated ATmega328P or ATmega2560 at 16 MHz and
 * reports what a person would see on the display wired to its pins.
 *
 *     pins_harness [--dump] PROGRAM MCU DISPLAY VARIANT MODULES SIMULATED_MS
 *
 * PROGRAM is the sketch's ELF, or a flat flash image: FILE.hex (Intel HEX)
 * or FILE.bin (raw bytes from address 0), as uploaded or read off a board.
 * MCU is atmega328p or atmega2560; DISPLAY matrix, hc595 or ws2812; VARIANT
 * row-anode or row-cathode (matrix, hc595), serpentine or progressive
 * (ws2812). The pins are read after every instruction, so every edge has
 * the exact cycle it happened on; a pin whose DDR bit is 0 drives nothing.
 *
 * matrix, hc595: one line per refresh, from one activation of column 0 to
 * the next:
 *     R <t_ms> <period_us> <image> <dimmest_us> <brightest_us> <ghosts> <ghost_max_us>
 * image is the 8 column bytes in hex, leftmost first, bit 0 the top row, of
 * the LEDs lit at least half as long as the brightest; dimmest and brightest
 * are lit times among those; ghosts counts the other LEDs that were lit at
 * all, even for one cycle, and ghost_max_us is the longest of them. --dump
 * adds each LED's lit time, a row a line.
 *
 * ws2812: two lines per frame, printed when the line has been low 50 us:
 *     F <t_ms> <image> <rrggbb of the lit LEDs, "mixed", or "-" if none>
 *     T <t_ms> <bits> <t0h_min_ns> <t0h_max_ns> <t1h_min_ns> <t1h_max_ns>
 *       <tlow_min_ns> <tlow_max_ns> <reset_low_us> <interrupts_enabled_while_sending>
 * image is the column bytes of each panel, left to right; an LED is lit when
 * its colour is not black; the panels keep their colours between frames as
 * the parts do. A high pulse of 600 ns or more is a one. tlow is the low
 * between two bits of the frame; reset_low the low before its first bit.
 *
 * Every display, at the end:
 *     I <longest_us_with_interrupts_off_outside_sending>
 * counted from the first time the sketch enables them (the C runtime runs
 * with them off from reset); for matrix and hc595 nothing is being sent.
 *
 * Wiring (Arduino pins): matrix rows D2..D9, columns D10..D13, A0..A3;
 * hc595 DS on MOSI, SH_CP on SCK (D11/D13, on the ATmega2560 D51/D52), ST_CP
 * on D10, the first 595's Q0..Q7 to ROW1..8, the second's to COL1..8, the
 * bytes taken from the SPI and from the pins (shiftOut); ws2812 DIN on D6. */
#include <simavr/avr_extint.h>
#include <simavr/avr_spi.h>
#include <simavr/sim_avr.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "flash_image.h"

enum { frequency = 16000000, most_modules = 16, most_leds = most_modules * 64 };
enum display_kind { matrix, hc595, ws2812 };

/* A port's DDR and PORT in data space, by letter A..H. */
static const uint16_t ddr_328p[8] = {0, 0x24, 0x27, 0x2A, 0, 0, 0, 0};
static const uint16_t ddr_2560[8] = {0x21, 0x24, 0x27, 0x2A, 0x2D, 0x30, 0x33, 0x101};

struct pin_place {
    int number; /* Arduino pin; A0..A3 are 14..17 on the Uno, 54..57 on the Mega */
    char port;
    int bit;
};
static const struct pin_place pins_328p[] = {
    {2, 'D', 2},  {3, 'D', 3},  {4, 'D', 4},  {5, 'D', 5},  {6, 'D', 6},  {7, 'D', 7},
    {8, 'B', 0},  {9, 'B', 1},  {10, 'B', 2}, {11, 'B', 3}, {12, 'B', 4}, {13, 'B', 5},
    {14, 'C', 0}, {15, 'C', 1}, {16, 'C', 2}, {17, 'C', 3}, {-1, 0, 0}};
static const struct pin_place pins_2560[] = {{2, 'E', 4},  {3, 'E', 5},  {4, 'G', 5},  {5, 'E', 3},
                                             {6, 'H', 3},  {7, 'H', 4},  {8, 'H', 5},  {9, 'H', 6},
                                             {10, 'B', 4}, {11, 'B', 5}, {12, 'B', 6}, {13, 'B', 7},
                                             {51, 'B', 2}, {52, 'B', 1}, {54, 'F', 0}, {55, 'F', 1},
                                             {56, 'F', 2}, {57, 'F', 3}, {-1, 0, 0}};

struct line {
    uint16_t ddr; /* PORT is at ddr + 1 */
    uint8_t mask;
};

static avr_t* avr;
static enum display_kind kind;
static int mega;
static int anode = 1;
static int serpentine = 1;
static int modules = 1;
static int dump;

/* The data-space bytes that the watched lines live in, read after every
 * instruction and compared with the last reading. */
static uint16_t watched[16];
static int nwatched;
static uint8_t seen[16];

static struct line place(int number) {
    const struct pin_place* table = mega ? pins_2560 : pins_328p;
    const uint16_t* ddr = mega ? ddr_2560 : ddr_328p;
    for (; table->number >= 0; ++table) {
        if (table->number == number) {
            struct line l = {ddr[table->port - 'A'], (uint8_t)(1u << table->bit)};
            for (int a = 0; a < 2; ++a) {
                const uint16_t address = (uint16_t)(l.ddr + a);
                int known = 0;
                for (int i = 0; i < nwatched; ++i) {
                    known = known || watched[i] == address;
                }
                if (!known) {
                    watched[nwatched++] = address;
                }
            }
            return l;
        }
    }
    fprintf(stderr, "harness: no pin %d\n", number);
    exit(2);
}

/* 1 driven high, 0 driven low, -1 an input, driving nothing. */
static int level(struct line l) {
    if (!(avr->data[l.ddr] & l.mask)) {
        return -1;
    }
    return (avr->data[l.ddr + 1] & l.mask) ? 1 : 0;
}

static double us(avr_cycle_count_t cycles) {
    return (double)cycles * 1e6 / frequency;
}

/* ---- matrix and hc595: what each LED shows ---- */

static struct line rows[8], columns[8];
static struct line ds, shcp, stcp;
static int shcp_level, stcp_level;
static uint8_t shift_rows, shift_columns;     /* the two 595s' shift registers */
static uint8_t latched_rows, latched_columns; /* and their outputs */
static uint64_t lit;                          /* bit r * 8 + c */
static int column0_on;
static avr_cycle_count_t lit_since, refresh_start;
static int refreshing;
static avr_cycle_count_t lit_cycles[64];

static void shift_in(int bit) {
    shift_columns = (uint8_t)((shift_columns << 1) | (shift_rows >> 7));
    shift_rows = (uint8_t)((shift_rows << 1) | (bit & 1));
}

static void on_spi(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    const int lsb_first = (avr->data[0x4C] >> 5) & 1; /* SPCR's DORD */
    for (int i = 0; i < 8; ++i) {
        shift_in((int)(value >> (lsb_first ? i : 7 - i)));
    }
}

static void account(avr_cycle_count_t now) {
    for (uint64_t bits = lit; bits; bits &= bits - 1) {
        lit_cycles[__builtin_ctzll(bits)] += now - lit_since;
    }
    lit_since = now;
}

static void end_refresh(avr_cycle_count_t now) {
    account(now);
    if (refreshing) {
        avr_cycle_count_t brightest = 0;
        for (int i = 0; i < 64; ++i) {
            brightest = lit_cycles[i] > brightest ? lit_cycles[i] : brightest;
        }
        avr_cycle_count_t dimmest = brightest, ghost_max = 0;
        int ghosts = 0;
        uint8_t image[8] = {0};
        for (int i = 0; i < 64; ++i) {
            if (brightest > 0 && 2 * lit_cycles[i] >= brightest) {
                image[i % 8] |= (uint8_t)(1u << (i / 8));
                dimmest = lit_cycles[i] < dimmest ? lit_cycles[i] : dimmest;
            } else if (lit_cycles[i] > 0) {
                ++ghosts;
                ghost_max = lit_cycles[i] > ghost_max ? lit_cycles[i] : ghost_max;
            }
        }
        printf("R %.3f %.1f ", us(refresh_start) / 1000.0, us(now - refresh_start));
        for (int c = 0; c < 8; ++c) {
            printf("%02x", image[c]);
        }
        printf(" %.1f %.1f %d %.4f\n", us(dimmest), us(brightest), ghosts, us(ghost_max));
        if (dump) {
            for (int r = 0; r < 8; ++r) {
                printf("D");
                for (int c = 0; c < 8; ++c) {
                    printf(" %7.1f", us(lit_cycles[r * 8 + c]));
                }
                printf("\n");
            }
        }
    }
    memset(lit_cycles, 0, sizeof lit_cycles);
    refresh_start = now;
    refreshing = 1;
}

/* The rows and columns at the levels that light an LED between them. */
static void lines_changed(avr_cycle_count_t now) {
    unsigned rows_on = 0, columns_on = 0;
    if (kind == matrix) {
        for (int i = 0; i < 8; ++i) {
            rows_on |= (unsigned)(level(rows[i]) == (anode ? 1 : 0)) << i;
            columns_on |= (unsigned)(level(columns[i]) == (anode ? 0 : 1)) << i;
        }
    } else {
        const int sh = level(shcp) == 1, st = level(stcp) == 1;
        if (sh && !shcp_level) {
            shift_in(level(ds) == 1);
        }
        if (st && !stcp_level) {
            latched_rows = shift_rows;
            latched_columns = shift_columns;
        }
        shcp_level = sh;
        stcp_level = st;
        rows_on = anode ? latched_rows : (uint8_t)~latched_rows;
        columns_on = anode ? (uint8_t)~latched_columns : latched_columns;
    }
    uint64_t now_lit = 0;
    for (int r = 0; r < 8; ++r) {
        if (rows_on & (1u << r)) {
            now_lit |= (uint64_t)(columns_on & 0xFF) << (r * 8);
        }
    }
    const int column0 = columns_on & 1;
    if (column0 && !column0_on && now > 0) {
        end_refresh(now);
    }
    column0_on = column0;
    if (now_lit != lit) {
        account(now);
        lit = now_lit;
    }
}

/* ---- ws2812: the pulses on the data line ---- */

static struct line din;
static int din_level;
static avr_cycle_count_t din_rise, din_fall;
static int frame_open;
static avr_cycle_count_t frame_start, reset_low, first_ie;
static int seen_ie;
static unsigned char bits[most_leds * 24 + 256];
static int nbits;
static avr_cycle_count_t t0h_min, t0h_max, t1h_min, t1h_max, tlow_min, tlow_max;
static uint32_t colours[most_leds];

/* Interrupts off outside sending: the current run and the longest. */
static int ie_off_run;
static avr_cycle_count_t ie_off_since, ie_off_longest, ie_after_fall;
static int ie_after_fall_seen;

static void off_piece(avr_cycle_count_t from, avr_cycle_count_t to) {
    if (to > from && to - from > ie_off_longest) {
        ie_off_longest = to - from;
    }
}

static void stretch(avr_cycle_count_t* lo, avr_cycle_count_t* hi, avr_cycle_count_t v) {
    if (*hi == 0 || v < *lo) {
        *lo = v;
    }
    if (v > *hi) {
        *hi = v;
    }
}

/* Panel LED i in chain order, as (column of the strip, row). */
static void led_place(int i, int* column, int* row) {
    const int m = i / 64, p = i % 64;
    *row = p / 8;
    int c = p % 8;
    if (serpentine && (*row & 1)) {
        c = 7 - c;
    }
    *column = m * 8 + c;
}

static void ns_pair(avr_cycle_count_t lo, avr_cycle_count_t hi) {
    printf(" %.0f %.0f", us(lo) * 1000.0, us(hi) * 1000.0);
}

static void latch_frame(void) {
    const int leds = modules * 64;
    for (int i = 0; i < leds && (i + 1) * 24 <= nbits; ++i) {
        uint32_t grb = 0;
        for (int b = 0; b < 24; ++b) {
            grb = (grb << 1) | bits[i * 24 + b];
        }
        colours[i] = ((grb >> 8) & 0xFF) << 16 | ((grb >> 16) & 0xFF) << 8 | (grb & 0xFF);
    }
    uint8_t image[most_modules * 8] = {0};
    uint32_t colour = 0;
    int lit_count = 0, mixed = 0;
    for (int i = 0; i < leds; ++i) {
        if (colours[i]) {
            int c, r;
            led_place(i, &c, &r);
            image[c] |= (uint8_t)(1u << r);
            mixed = mixed || (lit_count > 0 && colours[i] != colour);
            colour = colours[i];
            ++lit_count;
        }
    }
    const double t = us(frame_start) / 1000.0;
    printf("F %.3f ", t);
    for (int c = 0; c < modules * 8; ++c) {
        printf("%02x", image[c]);
    }
    if (mixed) {
        printf(" mixed\n");
    } else if (lit_count == 0) {
        printf(" -\n");
    } else {
        printf(" %06x\n", (unsigned)colour);
    }
    printf("T %.3f %d", t, nbits);
    ns_pair(t0h_min, t0h_max);
    ns_pair(t1h_min, t1h_max);
    ns_pair(tlow_min, tlow_max);
    printf(" %.1f %d\n", us(reset_low), seen_ie && first_ie < din_fall);
    frame_open = 0;
    /* Interrupts still off after the last bit: outside sending from there. */
    if (ie_after_fall_seen) {
        off_piece(din_fall, ie_after_fall);
    } else if (!avr->sreg[S_I]) {
        ie_off_run = 1;
        ie_off_since = din_fall;
    }
}

static void din_changed(avr_cycle_count_t now) {
    const int high = level(din) == 1;
    if (high == din_level) {
        return;
    }
    din_level = high;
    if (high) {
        if (!frame_open) {
            frame_open = 1;
            frame_start = now;
            reset_low = now - din_fall;
            nbits = 0;
            t0h_min = t0h_max = t1h_min = t1h_max = tlow_min = tlow_max = 0;
            seen_ie = 0;
            if (ie_off_run) {
                off_piece(ie_off_since, now);
                ie_off_run = 0;
            }
        } else {
            stretch(&tlow_min, &tlow_max, now - din_fall);
        }
        din_rise = now;
    } else {
        const avr_cycle_count_t h = now - din_rise;
        const int one = h * 1000000000ull >= 600ull * frequency;
        if (one) {
            stretch(&t1h_min, &t1h_max, h);
        } else {
            stretch(&t0h_min, &t0h_max, h);
        }
        if (nbits < (int)sizeof bits) {
            bits[nbits++] = (unsigned char)one;
        }
        din_fall = now;
        ie_after_fall_seen = 0;
    }
}

static void check_interrupts(avr_cycle_count_t now) {
    const int ie = avr->sreg[S_I];
    /* From reset to the sketch's first sei the C runtime runs with them off. */
    static int started;
    if (!started) {
        started = ie;
        return;
    }
    if (frame_open) {
        if (ie && !seen_ie) {
            seen_ie = 1;
            first_ie = now;
        }
        if (ie && !din_level && !ie_after_fall_seen) {
            ie_after_fall_seen = 1;
            ie_after_fall = now;
        }
        return;
    }
    if (!ie && !ie_off_run) {
        ie_off_run = 1;
        ie_off_since = now;
    } else if (ie && ie_off_run) {
        off_piece(ie_off_since, now);
        ie_off_run = 0;
    }
}

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "--dump") == 0) {
        dump = 1;
        --argc;
        ++argv;
    }
    if (argc != 7) {
        fprintf(stderr,
                "usage: pins_harness [--dump] ELF|FLASH.hex|FLASH.bin atmega328p|atmega2560 "
                "matrix|hc595|ws2812\n"
                "       row-anode|row-cathode|serpentine|progressive MODULES SIMULATED_MS\n");
        return 2;
    }
    mega = strcmp(argv[2], "atmega2560") == 0;
    if (!mega && strcmp(argv[2], "atmega328p") != 0) {
        fprintf(stderr, "harness: unknown MCU %s\n", argv[2]);
        return 2;
    }
    if (strcmp(argv[3], "matrix") == 0) {
        kind = matrix;
    } else if (strcmp(argv[3], "hc595") == 0) {
        kind = hc595;
    } else if (strcmp(argv[3], "ws2812") == 0) {
        kind = ws2812;
    } else {
        fprintf(stderr, "harness: unknown display %s\n", argv[3]);
        return 2;
    }
    const char* variant = argv[4];
    if (kind == ws2812 ? strcmp(variant, "serpentine") != 0 && strcmp(variant, "progressive") != 0
                       : strcmp(variant, "row-anode") != 0 && strcmp(variant, "row-cathode") != 0) {
        fprintf(stderr, "harness: variant %s is not one of %s\n", variant, argv[3]);
        return 2;
    }
    anode = strcmp(variant, "row-anode") == 0;
    serpentine = strcmp(variant, "serpentine") == 0;
    modules = atoi(argv[5]);
    const double ms = atof(argv[6]);
    if (modules < 1 || modules > most_modules || (kind != ws2812 && modules != 1)) {
        fprintf(stderr, "harness: %d modules\n", modules);
        return 2;
    }

    simavr_messages_to_stderr(LOG_ERROR);
    avr = start_program(argv[2], argv[1]);
    if (!avr) {
        return 2;
    }
    /* A matrix row on an INT pin sits low for most of a refresh; simavr's
     * strict low-level mode would poll it every cycle, five times slower,
     * for an interrupt these sketches never enable. */
    for (uint8_t i = 0; i < 8; ++i) {
        avr_extint_set_strict_lvl_trig(avr, i, 0);
    }

    if (kind == matrix) {
        for (int i = 0; i < 8; ++i) {
            rows[i] = place(2 + i);
            columns[i] = place(i < 4 ? 10 + i : (mega ? 54 : 14) + i - 4);
        }
    } else if (kind == hc595) {
        ds = place(mega ? 51 : 11);
        shcp = place(mega ? 52 : 13);
        stcp = place(10);
        avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_SPI_GETIRQ(0), SPI_IRQ_OUTPUT), on_spi,
                                NULL);
    } else {
        din = place(6);
    }

    if (kind != ws2812) {
        lines_changed(0); /* the 595s' outputs at power-up are no activation */
    }
    const avr_cycle_count_t end = (avr_cycle_count_t)(ms * frequency / 1000.0);
    const avr_cycle_count_t latch_cycles = 50 * (frequency / 1000000);
    while (avr->cycle < end) {
        const int state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed) {
            fprintf(stderr, "harness: the sketch stopped (state %d)\n", state);
            return 1;
        }
        const avr_cycle_count_t now = avr->cycle;
        int changed = 0;
        for (int i = 0; i < nwatched; ++i) {
            const uint8_t v = avr->data[watched[i]];
            changed |= v != seen[i];
            seen[i] = v;
        }
        if (kind == ws2812) {
            if (changed) {
                din_changed(now);
            }
            if (frame_open && !din_level && now - din_fall >= latch_cycles) {
                latch_frame();
            }
        } else if (changed) {
            lines_changed(now);
        }
        check_interrupts(now);
    }
    if (ie_off_run) {
        off_piece(ie_off_since, avr->cycle);
    }
    printf("I %.1f\n", us(ie_off_longest));
    return 0;
}
