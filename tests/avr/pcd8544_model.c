/* The PCD8544 controller, as the datasheet (Philips, 48 x 84 pixels matrix
 * LCD controller/driver, 1999 Apr 12) describes it. */
#include "pcd8544_model.h"

#include "bus_trace.h"

#include <stdio.h>
#include <string.h>

struct pcd8544_controller lcd;

/* After power-on the RAM is undefined, and RES leaves it so (the state
 * after reset lists "RAM contents undefined").
 * Each time it is a different noise, so that a sketch that shows the RAM
 * before writing it shows something else than it meant. */
static void scramble_ram(void) {
    static unsigned seed = 12345;
    for (int y = 0; y < pcd8544_banks; ++y) {
        for (int x = 0; x < pcd8544_columns; ++x) {
            seed = seed * 1103515245u + 12345u;
            lcd.ram[y][x] = (unsigned char)(seed >> 16);
        }
    }
}

/* The state after reset: power-down (PD = 1), horizontal
 * addressing (V = 0), the basic instruction set (H = 0), display blank
 * (D = E = 0), X = Y = 0, temperature coefficient TC = 0, bias system
 * BS = 0, and Vop = 0: VLCD 0 V with the high-voltage generator off. */
void pcd8544_reset(void) {
    memset(&lcd, 0, sizeof lcd);
    lcd.power_down = 1;
    lcd.display = pcd8544_blank;
    scramble_ram();
}

void pcd8544_power_up(void) {
    /* The registers are undefined too; the harness takes no byte before
     * the first RES, so their reset values stand for them. */
    pcd8544_reset();
}

/* The instruction set with H = 0: display control 0000 1D0E, set Y
 * 0100 0Y2Y1Y0, set X 1X6..X0; any other byte but NOP and function set is
 * reserved or no command. */
static int basic_command(int b) {
    if ((b & 0xFA) == 0x08) {
        lcd.display = ((b >> 2) & 1) * 2 + (b & 1);
        return 1;
    }
    if ((b & 0xF8) == 0x40) {
        /* The addressing: "Addresses outside these ranges are not allowed." */
        if ((b & 7) >= pcd8544_banks) {
            report("Y address %d is past the PCD8544's bank 5", b & 7);
        } else {
            lcd.y = b & 7;
        }
        return 1;
    }
    if (b & 0x80) {
        if ((b & 0x7F) >= pcd8544_columns) {
            report("X address %d is past the PCD8544's column 83", b & 0x7F);
        } else {
            lcd.x = b & 0x7F;
        }
        return 1;
    }
    return 0;
}

/* The instruction set with H = 1: temperature control 0000 01TC1TC0, bias
 * system 0001 0BS2BS1BS0, set Vop 1Vop6..Vop0. */
static int extended_command(int b) {
    if ((b & 0xFC) == 0x04) {
        lcd.temperature = b & 3;
        return 1;
    }
    if ((b & 0xF8) == 0x10) {
        lcd.bias = b & 7;
        return 1;
    }
    if (b & 0x80) {
        lcd.vop = b & 0x7F;
        return 1;
    }
    return 0;
}

void pcd8544_command(int b) {
    if (b == 0x00) {
        return; /* NOP, with either H */
    }
    if ((b & 0xF8) == 0x20) {
        /* Function set 0010 0PDVH: with either H. */
        lcd.power_down = (b >> 2) & 1;
        lcd.vertical = (b >> 1) & 1;
        lcd.extended = b & 1;
        return;
    }
    if (!(lcd.extended ? extended_command(b) : basic_command(b))) {
        /* Reserved ("do not use") or no command at all: what the chip does
         * with it is not said. */
        report(lcd.extended ? "command 0x%02x is not the PCD8544's with H = 1"
                            : "command 0x%02x is not the PCD8544's with H = 0",
               b);
    }
}

/* Horizontal addressing (V = 0) steps X, and after X = 83
 * goes to X = 0 on the next bank; vertical addressing (V = 1) steps Y, and
 * after Y = 5 goes to Y = 0 on the next column. After X = 83, Y = 5 both
 * go back to X = 0, Y = 0. Data is taken in power-down too ("RAM data can
 * be written"). */
void pcd8544_data(int b) {
    lcd.ram[lcd.y][lcd.x] = (unsigned char)b;
    if (lcd.vertical) {
        if (++lcd.y == pcd8544_banks) {
            lcd.y = 0;
            lcd.x = (lcd.x + 1) % pcd8544_columns;
        }
    } else if (++lcd.x == pcd8544_columns) {
        lcd.x = 0;
        lcd.y = (lcd.y + 1) % pcd8544_banks;
    }
}

/* Nothing shows in power-down (all LCD outputs at VSS), with display blank,
 * or with Vop = 0, where the high-voltage generator is off and the glass has
 * no contrast. Each RAM byte is a column of 8 pixels with bit 0 on top (the
 * LSB at the top of the bank). */
int pcd8544_flipped;

void pcd8544_image(char* out) {
    if (lcd.power_down || lcd.display == pcd8544_blank || lcd.vop == 0) {
        strcpy(out, "off");
        return;
    }
    for (int y = 0; y < pcd8544_banks; ++y) {
        for (int x = 0; x < pcd8544_columns; ++x) {
            /* Turned round, the glass shows the last bank's last column at
             * the top left, its bits from the bottom up. */
            int column = lcd.ram[y][x];
            if (pcd8544_flipped) {
                const int ram = lcd.ram[pcd8544_banks - 1 - y][pcd8544_columns - 1 - x];
                column = 0;
                for (int bit = 0; bit < 8; ++bit) {
                    column |= ((ram >> bit) & 1) << (7 - bit);
                }
            }
            if (lcd.display == pcd8544_all_on) {
                column = 0xFF;
            } else if (lcd.display == pcd8544_inverse) {
                column ^= 0xFF;
            }
            out += sprintf(out, "%02x", column);
        }
    }
}
