/* The SSD1306 and SH1106 OLED controllers, as their datasheets describe
 * them: the commands they take, their display RAM and how its bits reach the
 * glass of the usual modules. The harnesses that play these panels, on
 * whatever bus the module has, feed this model the command and data bytes
 * the controller took and print what oled_image says the glass shows. */
#ifndef GLYPH8_TESTS_AVR_OLED_MODEL_H
#define GLYPH8_TESTS_AVR_OLED_MODEL_H

enum { ssd1306, sh1106 };
enum { ram_columns = 132, glass_columns = 128 };

extern int device;     /* ssd1306 or sh1106 (an I2C harness's other devices after them) */
extern int flipped;    /* the module mounted upside down: the glass seen turned round */
extern int glass_rows; /* an SSD1306 module's: 64, or 32 on a 0.91" one */

struct oled_controller {
    unsigned char ram[8][ram_columns];
    int mode; /* 0 horizontal, 1 vertical, 2 page */
    int column, page, page_column;
    int column_start, column_end, page_start, page_end;
    int remap, com_reversed, start_line, offset, mux, com_pins;
    int inverted, entire_on, pump, on, scrolling;
    int contrast; /* how bright the lit pixels are, 0..255 */
    unsigned char command[8];
    int have, need;
    int overrun; /* data written past the last column, reported once a transaction */
};
extern struct oled_controller oled;

/* What the panel would not do is reported as bus_trace.h says (report()). */

/* Power-up: the RAM holds noise, the registers their reset values. */
void oled_reset(void);
/* What RES does: the registers back to their reset values, the RAM kept. */
void oled_reset_registers(void);
void oled_command(int b);
void oled_data(int b);
/* The glass as the harnesses print it: "off", or its bytes in hex,
 * page-major, top pixel in bit 0 (2 * 1024 + 1 bytes at most). */
void oled_image(char* out);

#endif
