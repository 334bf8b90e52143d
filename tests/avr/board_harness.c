/* A simulated Uno (or an ATmega168 board, or a Mega 2560) on a
 * pseudo-terminal: its bootloader runs from the top of flash, at the speed
 * of a real board, and its UART0 is the pseudo-terminal, whose name it
 * prints first:
 *     pty /dev/pts/N
 *
 *     board_harness BOOTLOADER.bin [--mcu atmega328p|atmega168|atmega2560]
 *                   [--corrupt ADDRESS] [--dump-flash FILE]
 *                   [--dump-application FILE.bin] [--load-application FILE.bin]
 *                   [--seconds N] [--trace 1]
 *
 * As on an Uno, whose USB chip pulls the reset line when a program opens the
 * port, opening the pseudo-terminal resets the MCU as an external reset: the
 * bootloader then waits for a programmer, and goes on to the sketch when it
 * is done or after a second of silence. A power-on or watchdog reset goes
 * straight to the sketch, as optiboot does (the Mega's bootloader waits
 * after a power-on too). What happens is told on standard error ("reset",
 * "sketch", "port closed"); --trace adds every byte, >in and <out.
 *
 * --corrupt flips the lowest bit of the byte at ADDRESS whenever the
 * bootloader writes it, as a worn flash cell would. --dump-flash writes the
 * whole flash to FILE at exit. --dump-application writes what an upload can
 * change, the flash below the bootloader, each time the port is closed and
 * again at exit: a display harness runs that file as the board would.
 * --load-application starts the board with such a file in its flash, as a
 * board that was uploaded to before. The
 * harness stops after --seconds (120 by default) or at SIGTERM or SIGINT. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <simavr/avr_uart.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_io.h>
#include <simavr/sim_irq.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static avr_t* avr;
static int master = -1;
static int port_open;
static int xon = 1;
static unsigned char pending[4096];
static size_t pending_size;
static volatile sig_atomic_t stopping;
static avr_flashaddr_t boot;
static int in_sketch;
static int trace;

static double wall_seconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void on_stop(int sig) {
    (void)sig;
    stopping = 1;
}

/* What the MCU sends goes to whoever has the port open; with nobody there,
 * it is lost, as on a board with nothing at the other end of its USB. */
static void on_uart_out(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    if (trace) {
        fprintf(stderr, "<%02x", (unsigned)value);
    }
    if (port_open) {
        const unsigned char byte = (unsigned char)value;
        if (write(master, &byte, 1) != 1 && errno != EAGAIN) {
            perror("board_harness: pty");
        }
    }
}

static void on_xon(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)value;
    (void)param;
    xon = 1;
}

static void on_xoff(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)value;
    (void)param;
    xon = 0;
}

/* The harness keeps its own time: a sleeping MCU must not sleep it. */
static void no_sleep(avr_t* a, avr_cycle_count_t how_long) {
    (void)a;
    (void)how_long;
}

/* Written whole to a new name, then renamed: whoever reads the file while
 * the board goes on never finds half of it. */
static int dump_application(const char* path) {
    char part[4096];
    if (snprintf(part, sizeof part, "%s.part", path) >= (int)sizeof part) {
        fprintf(stderr, "board_harness: %s: name too long\n", path);
        return 1;
    }
    FILE* d = fopen(part, "wb");
    const int written = d && fwrite(avr->flash, 1, boot, d) == boot;
    if (d && fclose(d) != 0) {
        perror(part);
        return 1;
    }
    if (!written || rename(part, path) != 0) {
        perror(path);
        return 1;
    }
    return 0;
}

static void external_reset(void) {
    avr_reset(avr);
    /* Only the reset pin's flag: optiboot stays for a programmer then. */
    const avr_regbit_t extrf = avr->reset_flags.extrf;
    if (extrf.reg) {
        avr->data[extrf.reg] = (uint8_t)(1u << extrf.bit);
    }
    pending_size = 0;
    xon = 1;
    in_sketch = 0;
    fprintf(stderr, "board_harness: reset at %.3f s\n", (double)avr->cycle / avr->frequency);
}

int main(int argc, char** argv) {
    const char* mcu = "atmega328p";
    const char* dump = NULL;
    const char* application = NULL;
    const char* held = NULL;
    long corrupt = -1;
    double seconds = 120;
    if (argc < 2) {
        fprintf(stderr,
                "usage: board_harness BOOTLOADER.bin [--mcu NAME] [--corrupt ADDRESS] "
                "[--dump-flash FILE] [--dump-application FILE.bin] [--load-application FILE.bin] "
                "[--seconds N]\n");
        return 2;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--mcu") == 0) {
            mcu = argv[i + 1];
        } else if (strcmp(argv[i], "--corrupt") == 0) {
            corrupt = strtol(argv[i + 1], NULL, 0);
        } else if (strcmp(argv[i], "--dump-flash") == 0) {
            dump = argv[i + 1];
        } else if (strcmp(argv[i], "--dump-application") == 0) {
            application = argv[i + 1];
        } else if (strcmp(argv[i], "--load-application") == 0) {
            held = argv[i + 1];
        } else if (strcmp(argv[i], "--trace") == 0) {
            trace = atoi(argv[i + 1]);
        } else if (strcmp(argv[i], "--seconds") == 0) {
            seconds = atof(argv[i + 1]);
        } else {
            fprintf(stderr, "board_harness: unknown option %s\n", argv[i]);
            return 2;
        }
    }

    avr = avr_make_mcu_by_name(mcu);
    if (!avr) {
        fprintf(stderr, "board_harness: no MCU %s\n", mcu);
        return 2;
    }
    avr_init(avr);
    avr->frequency = 16000000;
    avr->sleep = no_sleep;
    avr->log = LOG_WARNING;

    /* The bootloader as flat flash at the top, where BOOTRST starts the MCU
     * with the boot section the board's fuses choose. */
    FILE* f = fopen(argv[1], "rb");
    if (!f) {
        perror(argv[1]);
        return 2;
    }
    unsigned char image[8192];
    const size_t size = fread(image, 1, sizeof image, f);
    fclose(f);
    /* The smallest boot section that holds it, as the fuses would choose:
     * 512 bytes for optiboot, 8 KiB for the Mega's bootloader. */
    unsigned boot_size = 512;
    while (boot_size < size && boot_size < sizeof image) {
        boot_size *= 2;
    }
    if (size == 0 || size > boot_size) {
        fprintf(stderr, "board_harness: %s is %zu bytes, too big for a boot section\n", argv[1],
                size);
        return 2;
    }
    boot = avr->flashend + 1 - boot_size;
    memcpy(avr->flash + boot, image, size);
    /* What an earlier upload left, for a board that is used again. */
    if (held) {
        FILE* h = fopen(held, "rb");
        if (!h) {
            perror(held);
            return 2;
        }
        const size_t got = fread(avr->flash, 1, boot, h);
        fclose(h);
        fprintf(stderr, "board_harness: %zu bytes of application flash from %s\n", got, held);
    }
    avr->codeend = avr->flashend;
    avr->reset_pc = boot;
    avr->pc = boot;
    int corrupt_seen = corrupt >= 0 ? avr->flash[corrupt] : 0;

    avr_irq_t* out = avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT);
    avr_irq_t* in = avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_register_notify(out, on_uart_out, NULL);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON),
                            on_xon, NULL);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF),
                            on_xoff, NULL);
    /* The UART's own stdio echo would print the bootloader's bytes, and
     * its nap at each poll of an empty UART would keep the MCU far behind
     * real time while the bootloader waits for a byte. */
    uint32_t flags = 0;
    avr_ioctl(avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~(uint32_t)(AVR_UART_FLAG_STDIO | AVR_UART_FLAG_POLL_SLEEP);
    avr_ioctl(avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);

    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        perror("board_harness: pty");
        return 1;
    }
    const char* name = ptsname(master);
    struct termios tio;
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    /* The master shows a hang-up only once the other side has been opened
     * and closed: do that once, so that a close is seen from the first. */
    const int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        close(slave);
    }
    /* Each open of the port is a reset, however soon it follows a close:
     * the hang-up alone could be missed between two looks. */
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens < 0 || inotify_add_watch(opens, name, IN_OPEN) < 0) {
        perror("board_harness: inotify");
        return 1;
    }
    printf("pty %s\n", name);
    fflush(stdout);

    signal(SIGTERM, on_stop);
    signal(SIGINT, on_stop);

    /* Power-on: optiboot goes straight on to the sketch. */
    const double start = wall_seconds();
    double base_wall = start;
    avr_cycle_count_t base_cycle = avr->cycle;
    int running = 1;
    while (!stopping && wall_seconds() - start < seconds) {
        struct pollfd p = {master, POLLIN, 0};
        poll(&p, 1, 0);
        const int open_now = !(p.revents & POLLHUP);
        char events[4096];
        const int opened = read(opens, events, sizeof events) > 0;
        if (opened) {
            port_open = 1;
            external_reset();
            running = 1;
            base_wall = wall_seconds();
            base_cycle = avr->cycle;
        } else if (!open_now && port_open) {
            port_open = 0;
            fprintf(stderr, "board_harness: port closed\n");
            if (application && dump_application(application) != 0) {
                return 1;
            }
        }
        if (port_open && (p.revents & POLLIN) && pending_size < sizeof pending) {
            const ssize_t n = read(master, pending + pending_size, sizeof pending - pending_size);
            if (n > 0) {
                pending_size += (size_t)n;
            }
        }
        size_t fed = 0;
        while (fed < pending_size && xon) {
            if (trace) {
                fprintf(stderr, ">%02x", pending[fed]);
            }
            avr_raise_irq(in, pending[fed++]);
        }
        memmove(pending, pending + fed, pending_size - fed);
        pending_size -= fed;

        /* Real time, a millisecond at a time: the bootloader's watchdog and
         * the uploader's timeouts must agree on what a second is. */
        const double now = wall_seconds();
        const avr_cycle_count_t target =
            base_cycle + (avr_cycle_count_t)((now - base_wall) * avr->frequency);
        if (target > avr->cycle + avr->frequency / 20) {
            /* Too far behind to catch up: let the lag go. */
            base_wall = now;
            base_cycle = avr->cycle;
        }
        while (running && avr->cycle < target) {
            const int state = avr_run(avr);
            if (state == cpu_Done || state == cpu_Crashed) {
                fprintf(stderr, "board_harness: the MCU stopped at 0x%04x\n", avr->pc);
                running = 0;
            }
            if (!in_sketch && avr->pc < boot) {
                in_sketch = 1;
                fprintf(stderr, "board_harness: sketch at %.3f s\n",
                        (double)avr->cycle / avr->frequency);
            }
        }
        if (corrupt >= 0 && avr->flash[corrupt] != corrupt_seen && avr->flash[corrupt] != 0xFF) {
            avr->flash[corrupt] ^= 0x01;
            corrupt_seen = avr->flash[corrupt];
            fprintf(stderr, "board_harness: flash at 0x%04lx now %02x\n", corrupt,
                    avr->flash[corrupt]);
        }
        if (!running) {
            base_cycle = avr->cycle;
            base_wall = wall_seconds();
        }
        usleep(500);
    }
    if (application && dump_application(application) != 0) {
        return 1;
    }
    if (dump) {
        FILE* d = fopen(dump, "wb");
        if (!d || fwrite(avr->flash, 1, avr->flashend + 1, d) != avr->flashend + 1) {
            perror(dump);
            return 1;
        }
        fclose(d);
    }
    return 0;
}
