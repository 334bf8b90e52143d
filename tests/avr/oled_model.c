/* The SSD1306 and SH1106 controllers, shared by the harnesses that play
 * them on the I2C bus and on SPI. */
#include "oled_model.h"

#include "bus_trace.h"

#include <stdio.h>
#include <string.h>

int device;
int flipped;
int glass_rows = 64;

struct oled_controller oled;

void oled_reset_registers(void) {
    unsigned char ram[8][ram_columns];
    memcpy(ram, oled.ram, sizeof ram);
    memset(&oled, 0, sizeof oled);
    memcpy(oled.ram, ram, sizeof ram);
    oled.mode = 2;
    oled.column_end = 127;
    oled.page_end = 7;
    oled.mux = 64;
    oled.com_pins = 0x12;
    oled.pump = device == sh1106; /* the SH1106's DC-DC is on at reset, the SSD1306's pump off */
    oled.contrast = device == sh1106 ? 0x80 : 0x7F;
}

void oled_reset(void) {
    /* The RAM holds noise at power-up. */
    unsigned seed = 12345;
    for (int p = 0; p < 8; ++p) {
        for (int c = 0; c < ram_columns; ++c) {
            seed = seed * 1103515245u + 12345u;
            oled.ram[p][c] = (unsigned char)(seed >> 16);
        }
    }
    oled_reset_registers();
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
            case 0x81:
                oled.contrast = a[1];
                break;
            default:
                break; /* clock, precharge, VCOM, scroll set-up, NOP */
        }
    }
}

void oled_command(int b) {
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

void oled_data(int b) {
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

void oled_image(char* out) {
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
