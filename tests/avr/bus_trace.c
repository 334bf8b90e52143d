#include "bus_trace.h"

#include <simavr/sim_cycle_timers.h>
#include <stdio.h>
#include <string.h>

static avr_t* avr;
static void (*picture_of)(char* out);
static void (*checks)(const char* picture);
static avr_cycle_count_t burst_start, burst_end;
static int burst_bytes, in_burst;
static char picture[most_picture], shown[most_picture];

double trace_now_ms(void) {
    return (double)avr->cycle * 1000.0 / avr->frequency;
}

void report(const char* message, int value) {
    printf("E %.3f ", trace_now_ms());
    printf(message, value);
    printf("\n");
}

void trace_begin(avr_t* a, void (*picture_fn)(char* out), void (*when_quiet)(const char* picture)) {
    avr = a;
    picture_of = picture_fn;
    checks = when_quiet;
    picture_of(shown);
    printf("F 0.000 %s\n", shown);
}

void trace_settle(void) {
    if (in_burst) {
        printf("B %.3f %.3f %d\n", (double)burst_start * 1000.0 / avr->frequency,
               (double)burst_end * 1000.0 / avr->frequency, burst_bytes);
        in_burst = 0;
    }
    picture_of(picture);
    if (strcmp(picture, shown) != 0) {
        printf("F %.3f %s\n", trace_now_ms(), picture);
        strcpy(shown, picture);
    }
    if (checks) {
        checks(picture);
    }
    fflush(stdout);
}

static avr_cycle_count_t on_quiet(avr_t* a, avr_cycle_count_t when, void* param) {
    (void)a;
    (void)when;
    (void)param;
    trace_settle();
    return 0;
}

void trace_change(void) {
    avr_cycle_timer_cancel(avr, on_quiet, NULL);
    avr_cycle_timer_register(avr, avr->frequency / 1000, on_quiet, NULL);
}

void trace_traffic(int bytes) {
    if (!in_burst) {
        in_burst = 1;
        burst_start = avr->cycle;
        burst_bytes = 0;
    }
    burst_end = avr->cycle;
    burst_bytes += bytes;
    trace_change();
}
