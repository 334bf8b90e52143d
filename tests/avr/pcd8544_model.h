/* The PCD8544 LCD controller of the 84x48 Nokia 5110 module, as its
 * datasheet (Philips, 1999 Apr 12) describes it: the
 * commands it takes in each instruction set, its display RAM and what the
 * glass shows of it. The SPI panel harness feeds it the command and data
 * bytes the controller took and prints what pcd8544_image says. */
#ifndef GLYPH8_TESTS_AVR_PCD8544_MODEL_H
#define GLYPH8_TESTS_AVR_PCD8544_MODEL_H

/* The addressing: X 0 to 83, Y (the bank of 8 rows) 0 to 5. */
enum { pcd8544_columns = 84, pcd8544_banks = 6 };

/* Display control's bits D and E. */
enum { pcd8544_blank = 0, pcd8544_all_on = 1, pcd8544_normal = 2, pcd8544_inverse = 3 };

struct pcd8544_controller {
    unsigned char ram[pcd8544_banks][pcd8544_columns];
    int power_down, vertical, extended; /* the function set's PD, V and H */
    int display;                        /* D * 2 + E */
    int x, y;
    int temperature, bias, vop;
};
extern struct pcd8544_controller lcd;
/* The module mounted upside down: the glass seen turned round. */
extern int pcd8544_flipped;

/* What the panel would not do is reported as bus_trace.h says (report()). */

/* Power-up: the RAM holds noise, the registers are undefined until RES. */
void pcd8544_power_up(void);
/* What RES does: the registers to their reset values, the RAM undefined. */
void pcd8544_reset(void);
void pcd8544_command(int b);
void pcd8544_data(int b);
/* The glass as the harness prints it: "off", or its 6 x 84 bytes in hex,
 * bank-major, top pixel in bit 0 (2 * 504 + 1 bytes at most). */
void pcd8544_image(char* out);

#endif
