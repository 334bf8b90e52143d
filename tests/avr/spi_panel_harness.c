/* Runs a sketch on a simulated ATmega328P or ATmega2560 and plays the SPI
 * display module it drives: a 7-pin OLED module, with an SSD1306 (128x64
 * or 128x32 glass) or an SH1106, or the 84x48 Nokia 5110 LCD module with a
 * PCD8544, each on 4-wire SPI with its chip select, D/C and RES from the
 * MCU's pins. The OLED controllers are the ones the I2C harness plays
 * (oled_model.c), the LCD's is pcd8544_model.c; this harness is their
 * serial interface and their RES pin, from the datasheets.
 *
 *     spi_panel_harness PROGRAM MCU DEVICE SIMULATED_MS [flipped]
 *
 * PROGRAM is the sketch's ELF, or a flat flash image: FILE.hex (Intel HEX)
 * or FILE.bin (raw bytes from address 0). MCU atmega328p|atmega2560; DEVICE
 * ssd1306|ssd1306x32|sh1106|pcd8544; "flipped" when the module is mounted
 * upside down. The modules are wired as the sketches wire them (the
 * LCD module's CE, DC, RST, DIN and CLK where the OLED's CS, DC, RES, D1 and
 * D0 are):
 *     Uno:  SCK (D0) 13 = PB5, MOSI (D1) 11 = PB3, CS 10 = PB2, DC 9 = PB1,
 *           RES 8 = PB0
 *     Mega: SCK 52 = PB1, MOSI 51 = PB2, CS 10 = PB4, DC 9 = PH6, RES 8 = PH5
 * Bytes are taken from the MCU's SPI and from the pins themselves, so a
 * sketch that clocks them out with shiftOut() is played too. Lines, as
 * i2c_harness prints them:
 *     B T_START T_END BYTES   a burst of bytes on SCK/MOSI (less than 1 ms
 *                             apart)
 *     F T IMAGE               the glass changed, printed once the bus has been
 *                             idle for 1 ms
 *     E T MESSAGE             the panel would not do what the sketch meant
 *     L LEVEL                 at the end: the OLED's contrast (0..255), or the
 *                             LCD's Vop (0..127)
 * Times are milliseconds of simulated time; IMAGE as i2c_harness prints an
 * OLED's, and for the LCD its 6 banks of 84 columns the same way. */
#include <simavr/avr_spi.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_cycle_timers.h>
#include <simavr/sim_io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bus_trace.h"
#include "flash_image.h"
#include "oled_model.h"
#include "pcd8544_model.h"

enum { spcr = 0x4C, spsr = 0x4D, spdr = 0x4E };
enum { ddrb = 0x24, ddrh = 0x101 }; /* each PORT register is the byte after its DDR */

static avr_t* avr;

/* ---- what the datasheets ask of the serial interface and RES ---- */

/* The shortest SCLK period and RES low pulse each controller takes, and
 * the model that plays it.
 * SSD1306 (Solomon Systech, Advance Information): a serial clock cycle of
 * 100 ns at least and RES# low for 3 us at least, which puts the registers
 * to their reset state and leaves the GDDRAM alone. These two are the
 * figures the chip is known by; the copy of the datasheet we could search
 * did not show its timing tables, so they are not checked against it.
 * SH1106 (Sino Wealth V2.6): serial interface timing in the AC
 * characteristics, serial clock cycle tSCYC 250 ns at VDD1 = 2.4 - 3.5 V (500 ns
 * below; the modules run its logic at 3.3 V); reset timing, RES low pulse
 * width tRW 10 us at least.
 * PCD8544 (Philips, 1999 Apr 12): AC characteristics, SCLK clock frequency
 * 0 to 4.0 MHz, cycle time Tcy 250 ns at least (the serial interface: 0.0 to
 * 4.0 Mbits/s); RES LOW pulse width tWL(RES) 100 ns at least, which puts the
 * registers to their state after reset. */
struct panel {
    const char* name;
    int shortest_clock_ns;
    int shortest_reset_ns;
    void (*power_up)(void);
    void (*reset)(void);
    void (*command)(int b);
    void (*data)(int b);
    void (*image)(char* out);
    int scrolls; /* an OLED's scrolling is reported when left running */
};
enum { pcd8544 = sh1106 + 1 };
static const struct panel panels[3] = {
    [ssd1306] = {"SSD1306", 100, 3000, oled_reset, oled_reset_registers, oled_command, oled_data,
                 oled_image, 1},
    [sh1106] = {"SH1106", 250, 10000, oled_reset, oled_reset_registers, oled_command, oled_data,
                oled_image, 1},
    [pcd8544] = {"PCD8544", 250, 100, pcd8544_power_up, pcd8544_reset, pcd8544_command,
                 pcd8544_data, pcd8544_image, 0},
};
static const struct panel* panel;

/* ---- the module's pins ---- */

struct line {
    uint16_t ddr; /* PORT is at ddr + 1 */
    uint8_t mask;
};
static struct line sck, mosi, cs, dc, res;

/* 1 driven high, 0 driven low, -1 an input, driving nothing. */
static int level(struct line l) {
    if (!(avr->data[l.ddr] & l.mask)) {
        return -1;
    }
    return (avr->data[l.ddr + 1] & l.mask) ? 1 : 0;
}

/* ---- bursts and the glass ---- */

static int scroll_reported;

/* An OLED's scrolling left running, once the bus is quiet. */
static void when_quiet(const char* picture) {
    (void)picture;
    if (oled.scrolling && oled.on && !scroll_reported) {
        report("scrolling left running", 0);
    }
    scroll_reported = oled.scrolling;
}

static void picture(char* out) {
    panel->image(out);
}

/* ---- the controller's serial interface ---- */

static int was_reset; /* a RES pulse long enough since power-up */
static int res_low;   /* RES held low now */
static avr_cycle_count_t res_fell;
static int lost_unreset_reported, lost_in_reset_reported;

/* A byte went out on SCK/MOSI. The datasheets: the serial interface is held
 * initialised while CS is high and the clock does nothing then; D/C is read
 * with the byte's eighth clock (SSD1306 and SH1106 "4-wire Serial
 * Interface", PCD8544 serial bus protocol). */
static void byte_on_wires(int b) {
    trace_traffic(1);
    if (level(cs) != 0) {
        return;
    }
    if (res_low) {
        if (!lost_in_reset_reported) {
            report("byte 0x%02x sent while RES is low: lost", b);
        }
        lost_in_reset_reported = 1;
        return;
    }
    if (!was_reset) {
        /* RES floats on these modules: until the sketch pulses it, the
         * controller's registers and interface are in no known state
         * (PCD8544: "A RES pulse must be applied"). */
        if (!lost_unreset_reported) {
            report("byte 0x%02x sent before RES was held low long enough to reset: lost", b);
        }
        lost_unreset_reported = 1;
        return;
    }
    if (level(dc) == 1) {
        panel->data(b);
    } else {
        panel->command(b);
    }
}

/* ---- the MCU's SPI ---- */

/* simavr's SPI takes 100 us a byte whatever the clock. It arms its timer for
 * the byte in its SPDR write handler, before this one runs; a timer of ours
 * due at once then moves it to where the real byte ends, 8 SCK periods
 * after it started. The byte reaches the module (SPI_IRQ_OUTPUT) then. */
static avr_io_t* spi_io;
static avr_cycle_count_t spi_byte_ends;
static int spi_pins_driven; /* MOSI and SCK outputs when the byte started */
static int clock_reported, pins_reported;

static int spi_divisor(void) {
    static const int divisors[4] = {4, 16, 64, 128};
    const int divisor = divisors[avr->data[spcr] & 3];
    return (avr->data[spsr] & 1) ? divisor / 2 : divisor; /* SPI2X */
}

static avr_cycle_count_t retime(avr_t* a, avr_cycle_count_t when, void* param) {
    (void)when;
    (void)param;
    for (avr_cycle_timer_slot_p s = a->cycle_timers.timer; s; s = s->next) {
        if (s->param == spi_io) {
            avr_cycle_timer_t fn = s->timer;
            avr_cycle_timer_cancel(a, fn, spi_io);
            avr_cycle_timer_register(a, spi_byte_ends > a->cycle ? spi_byte_ends - a->cycle : 1, fn,
                                     spi_io);
            break;
        }
    }
    return 0;
}

static void on_spdr(struct avr_t* a, avr_io_addr_t addr, uint8_t value, void* param) {
    (void)addr;
    (void)value;
    (void)param;
    if (!(a->data[spcr] & 0x40)) {
        return; /* SPI off: simavr sends nothing either */
    }
    const int divisor = spi_divisor();
    spi_byte_ends = a->cycle + 8 * (avr_cycle_count_t)divisor;
    avr_cycle_timer_register(a, 0, retime, NULL);
    /* The SPI drives MOSI and SCK only when they are outputs. */
    spi_pins_driven = level(mosi) >= 0 && level(sck) >= 0;
    if (!spi_pins_driven && !pins_reported) {
        report("SPI byte 0x%02x sent while MOSI or SCK is not an output: the module sees nothing",
               value);
        pins_reported = 1;
    }
    const int limit = panel->shortest_clock_ns;
    const long period_ns = (long)divisor * 1000000000L / (long)a->frequency;
    if (spi_pins_driven && level(cs) == 0 && period_ns < limit && !clock_reported) {
        /* The controller may take any bit wrong: the datasheet promises
         * nothing past its shortest clock period. */
        char message[96];
        snprintf(message, sizeof message, "SPI clock of %%d kHz is past the %s's %d kHz",
                 panel->name, 1000000 / limit);
        report(message, (int)(a->frequency / 1000 / (unsigned)divisor));
        clock_reported = 1;
    }
}

static void on_spi_byte(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    if (spi_pins_driven) {
        byte_on_wires((int)(value & 0xFF));
    }
}

/* ---- the pins, read after every instruction ---- */

static int last_sck = -1, last_cs = -1, last_res = -1;
static int shift, shift_bits;

static void on_res(int now) {
    if (now == 0 && last_res != 0) {
        res_low = 1;
        res_fell = avr->cycle;
        trace_change();
        return;
    }
    if (now != 0 && last_res == 0) {
        res_low = 0;
        const avr_cycle_count_t ns = (avr->cycle - res_fell) * 1000000000u / avr->frequency;
        /* A shorter pulse is no reset, and is not reported: pinMode() makes
         * one as it turns RES into an output before the sketch drives it
         * high. Bytes sent before a real one are. */
        if (ns >= (avr_cycle_count_t)panel->shortest_reset_ns) {
            panel->reset();
            was_reset = 1;
            shift_bits = 0;
        }
        trace_change();
    }
}

static void watch_pins(void) {
    const int now_res = level(res);
    if (now_res != last_res) {
        on_res(now_res);
        last_res = now_res;
    }
    const int now_cs = level(cs);
    if (now_cs != last_cs) {
        if (now_cs != 0) {
            shift_bits = 0; /* CS high initialises the serial interface */
            oled.overrun = 0;
        }
        last_cs = now_cs;
    }
    const int now_sck = level(sck);
    if (now_sck != last_sck) {
        /* With the SPI on, its own bytes drive SCK and MOSI, not PORTB: those
         * come through SPI_IRQ_OUTPUT, so the port's bits are not read then. */
        if (now_sck == 1 && last_sck == 0 && !(avr->data[spcr] & 0x40)) {
            shift = (shift << 1) | (level(mosi) == 1);
            if (++shift_bits == 8) {
                shift_bits = 0;
                byte_on_wires(shift & 0xFF);
            }
        }
        last_sck = now_sck;
    }
}

int main(int argc, char** argv) {
    simavr_messages_to_stderr(LOG_WARNING);
    flipped = argc == 6 && strcmp(argv[5], "flipped") == 0;
    if (argc != 5 && !flipped) {
        fprintf(stderr,
                "usage: spi_panel_harness ELF|FLASH.hex|FLASH.bin atmega328p|atmega2560 "
                "ssd1306|ssd1306x32|sh1106|pcd8544 SIMULATED_MS [flipped]\n");
        return 2;
    }
    glass_rows = strcmp(argv[3], "ssd1306x32") == 0 ? 32 : 64;
    device = strcmp(argv[3], "ssd1306") == 0 || glass_rows == 32 ? ssd1306
             : strcmp(argv[3], "sh1106") == 0                    ? sh1106
             : strcmp(argv[3], "pcd8544") == 0                   ? pcd8544
                                                                 : -1;
    if (device < 0) {
        fprintf(stderr, "harness: no device %s\n", argv[3]);
        return 2;
    }
    pcd8544_flipped = flipped;
    panel = &panels[device];
    const double ms = atof(argv[4]);
    const int mega = strcmp(argv[2], "atmega2560") == 0;
    if (mega) {
        sck = (struct line){ddrb, 1u << 1};
        mosi = (struct line){ddrb, 1u << 2};
        cs = (struct line){ddrb, 1u << 4};
        dc = (struct line){ddrh, 1u << 6};
        res = (struct line){ddrh, 1u << 5};
    } else {
        sck = (struct line){ddrb, 1u << 5};
        mosi = (struct line){ddrb, 1u << 3};
        cs = (struct line){ddrb, 1u << 2};
        dc = (struct line){ddrb, 1u << 1};
        res = (struct line){ddrb, 1u << 0};
    }
    avr = start_program(argv[2], argv[1]);
    if (!avr) {
        return 2;
    }
    spi_io = find_peripheral(avr, "spi");
    if (!spi_io) {
        fprintf(stderr, "harness: %s has no SPI\n", argv[2]);
        return 2;
    }
    panel->power_up();
    trace_begin(avr, picture, panel->scrolls ? when_quiet : NULL);
    avr_register_io_write(avr, spdr, on_spdr, NULL);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_SPI_GETIRQ(0), SPI_IRQ_OUTPUT),
                            on_spi_byte, NULL);
    if (run_program(avr, ms, watch_pins) != 0) {
        return 1;
    }
    trace_settle();
    printf("L %d\n", panel == &panels[pcd8544] ? lcd.vop : oled.contrast);
    return 0;
}
