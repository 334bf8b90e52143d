#include "flash_image.h"

#include <simavr/sim_elf.h>
#include <simavr/sim_hex.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

static int ends_with(const char* s, const char* tail) {
    const size_t n = strlen(s);
    const size_t k = strlen(tail);
    return n >= k && strcasecmp(s + n - k, tail) == 0;
}

/* avr_loadcode() aborts on an image too big for the part: say so instead. */
static int put(avr_t* avr, const char* path, uint8_t* bytes, uint32_t size, uint32_t at) {
    const uint32_t flash = avr->flashend + 1;
    if (at > flash || size > flash - at) {
        fprintf(stderr, "harness: %s has %u bytes at 0x%05x, past the end of %s's %u of flash\n",
                path, (unsigned)size, (unsigned)at, avr->mmcu, (unsigned)flash);
        return 1;
    }
    avr_loadcode(avr, bytes, size, at);
    return 0;
}

static int load_binary(avr_t* avr, const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        perror(path);
        return 1;
    }
    const uint32_t room = avr->flashend + 1;
    /* One byte more than fits, to tell a full flash from too much. */
    uint8_t* bytes = malloc((size_t)room + 1);
    const size_t size = bytes ? fread(bytes, 1, (size_t)room + 1, f) : 0;
    const int failed = ferror(f);
    fclose(f);
    int status = 1;
    if (!bytes || failed) {
        fprintf(stderr, "harness: cannot read %s\n", path);
    } else if (size == 0) {
        fprintf(stderr, "harness: %s is empty\n", path);
    } else if (size > room) {
        fprintf(stderr, "harness: %s is more than the %u bytes of %s's flash\n", path,
                (unsigned)room, avr->mmcu);
    } else {
        status = put(avr, path, bytes, (uint32_t)size, 0);
    }
    free(bytes);
    return status;
}

static int load_intel_hex(avr_t* avr, const char* path) {
    ihex_chunk_p chunks = NULL;
    const int count = read_ihex_chunks(path, &chunks);
    if (count <= 0) {
        fprintf(stderr, "harness: no flash in the Intel HEX file %s\n", path);
        return 1;
    }
    int status = 0;
    for (int i = 0; i < count && status == 0; ++i) {
        status = put(avr, path, chunks[i].data, chunks[i].size, chunks[i].baseaddr);
    }
    free_ihex_chunks(chunks);
    return status;
}

static int load_elf(avr_t* avr, const char* path) {
    elf_firmware_t firmware;
    memset(&firmware, 0, sizeof firmware);
    if (elf_read_firmware(path, &firmware) != 0) {
        fprintf(stderr, "harness: cannot read %s\n", path);
        return 1;
    }
    /* An ELF that names no clock keeps the harness's. */
    const uint32_t frequency = avr->frequency;
    avr_load_firmware(avr, &firmware);
    if (avr->frequency == 0) {
        avr->frequency = frequency;
    }
    return 0;
}

int load_program(avr_t* avr, const char* path) {
    const int flat = ends_with(path, ".hex") || ends_with(path, ".bin");
    if (!flat) {
        return load_elf(avr, path);
    }
    /* What the image leaves out is erased flash, as on a board, and any of
     * the flash may hold code. */
    memset(avr->flash, 0xFF, (size_t)avr->flashend + 1);
    avr->codeend = avr->flashend;
    return ends_with(path, ".hex") ? load_intel_hex(avr, path) : load_binary(avr, path);
}

avr_t* start_program(const char* mcu, const char* path) {
    avr_t* avr = avr_make_mcu_by_name(mcu);
    if (!avr) {
        fprintf(stderr, "harness: no MCU %s\n", mcu);
        return NULL;
    }
    avr_init(avr);
    avr->frequency = 16000000;
    avr->log = 0;
    return load_program(avr, path) == 0 ? avr : NULL;
}

int run_program(avr_t* avr, double ms, void (*each)(void)) {
    const avr_cycle_count_t end = avr->cycle + (avr_cycle_count_t)(ms * avr->frequency / 1000.0);
    while (avr->cycle < end) {
        const int state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed) {
            fprintf(stderr, "harness: the sketch stopped (state %d)\n", state);
            return 1;
        }
        if (each) {
            each();
        }
    }
    return 0;
}

static int most_told = 0;

static void told_to_stderr(avr_t* avr, const int level, const char* format, va_list ap) {
    (void)avr;
    if (level <= most_told) {
        vfprintf(stderr, format, ap);
    }
}

void simavr_messages_to_stderr(int level) {
    most_told = level;
    avr_global_logger_set(told_to_stderr);
}

avr_io_t* find_peripheral(avr_t* avr, const char* kind) {
    for (avr_io_t* io = avr->io_port; io; io = io->next) {
        if (strcmp(io->kind, kind) == 0) {
            return io;
        }
    }
    return NULL;
}
