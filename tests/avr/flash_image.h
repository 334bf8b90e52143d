/* Puts a program into a simulated MCU's flash for the display harnesses.
 *
 * A sketch's ELF, as arduino-builder leaves it, is loaded the way simavr
 * loads one: its .text and .data, nothing else. What an uploader writes, or
 * what a board holds, is a flat image instead: every byte of it goes to
 * flash from address 0 (or, for Intel HEX, at the addresses its records
 * give), so a program that keeps data at a fixed address after its code
 * runs with that data there. The kind is told by the name: .hex is Intel
 * HEX, .bin raw bytes, anything else an ELF. A flat image says nothing of
 * the MCU or its clock: the harness's own choice stands. */
#ifndef GLYPH8_TESTS_AVR_FLASH_IMAGE_H
#define GLYPH8_TESTS_AVR_FLASH_IMAGE_H

#include <simavr/sim_avr.h>

/* Loads PATH into AVR, made and initialised, its frequency set. Returns 0,
 * or says why on standard error and returns nonzero. */
int load_program(avr_t* avr, const char* path);

/* A simulated MCU (atmega328p, atmega2560) at 16 MHz running the program
 * at PATH, with simavr's own logging off; NULL, said on standard error, when
 * either cannot be had. */
avr_t* start_program(const char* mcu, const char* path);

/* Runs AVR's program for MS simulated milliseconds from where it stands,
 * calling EACH (unless NULL) after every step. Returns 0, or 1 with a word
 * on standard error when the program stopped or crashed before then. */
int run_program(avr_t* avr, double ms, void (*each)(void));

/* simavr's own messages (the firmware's sizes, its warnings) at LEVEL or
 * more serious to standard error, the rest dropped: standard output is the
 * harness's report. */
void simavr_messages_to_stderr(int level);

/* The MCU's peripheral of that kind ("spi", "twi"), or NULL. */
avr_io_t* find_peripheral(avr_t* avr, const char* kind);

#endif
