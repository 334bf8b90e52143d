/* What the bus harnesses (i2c_harness, spi_panel_harness) print as a sketch
 * drives its display: the bursts of traffic on the bus, the glass each time
 * the bus has been quiet for 1 ms, and what the panel would not do. Each
 * harness gives the picture of its glass and the checks of its own to make
 * once the bus is quiet; the lines are the same whatever the bus:
 *     B T_START T_END BYTES   a burst (bytes less than 1 ms apart)
 *     F T IMAGE               the glass changed
 *     E T MESSAGE             the panel would not do what the sketch meant
 * in milliseconds of simulated time. */
#ifndef GLYPH8_TESTS_AVR_BUS_TRACE_H
#define GLYPH8_TESTS_AVR_BUS_TRACE_H

#include <simavr/sim_avr.h>

/* The largest picture: a 128x64 OLED's 1024 bytes in hex. */
enum { most_picture = 2 * 1024 + 1 };

/* Starts the trace of `avr` and prints the glass at power-up. `picture`
 * writes the glass as the lines show it; `when_quiet`, if not NULL, makes
 * the harness's own checks on it once the bus is quiet. */
void trace_begin(avr_t* avr, void (*picture)(char* out), void (*when_quiet)(const char* picture));
double trace_now_ms(void);
/* An E line: MESSAGE is a printf format of one int. */
void report(const char* message, int value);
/* `bytes` bytes (0 for a start or a stop) are on the bus now: the burst
 * goes on, and the glass is looked at once the bus has been quiet for 1 ms. */
void trace_traffic(int bytes);
/* Something besides traffic changed (a reset line): the glass is looked at
 * 1 ms after it, as after traffic. */
void trace_change(void);
/* The bus is quiet, or the run ends: prints the burst, and the glass if it
 * changed. */
void trace_settle(void);

#endif
