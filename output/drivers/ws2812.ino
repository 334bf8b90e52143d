// ---- Display: WS2812B 8x8 panels, chained, on one data pin ----
#ifndef LED_PIN
#define LED_PIN 6
#endif
#ifndef SERPENTINE
#define SERPENTINE 1
#endif
#ifndef COLOR_R
#define COLOR_R 32
#endif
#ifndef COLOR_G
#define COLOR_G 0
#endif
#ifndef COLOR_B
#define COLOR_B 0
#endif
// Wiring: DIN of the leftmost panel to LED_PIN through a 330 ohm resistor,
// each panel's DOUT to the DIN of the panel on its right; 5 V and GND to every
// panel, from a supply that can give 60 mA per lit LED at full colour.
// LED 0 of a panel is its top left. SERPENTINE 1: row 0 runs left to right,
// row 1 right to left, and so on; SERPENTINE 0: every row left to right.
// The colours go out green, red, blue, 800 kHz.
#if !defined(__AVR__) || (F_CPU != 16000000L && F_CPU != 8000000L)
#error "WS2812 panels need an AVR board at 8 or 16 MHz: the bits are timed by counting its cycles"
#endif

#define PANEL_LEDS (MODULES * 64)
byte panelBytes[MOST_MODULES * 64 * 3 + 1];  // green, red, blue per LED; one spare for the look-ahead
unsigned long panelSentAt;            // when the line last went low after a frame

// Free cycles in each bit: before the test of the bit, after it, after the
// fall of a one. A bit is 20 (16 MHz) or 10 (8 MHz) cycles for a zero, a
// cycle less for a one:
//   16 MHz: zero 375 ns high, 875 ns low; one 750 ns high, 437 ns low.
//    8 MHz: zero 375 ns high, 875 ns low; one 750 ns high, 375 ns low.
// (WS2812B: zero 400 +-150 ns high, 850 +-150 low; one 800 +-150, 450 +-150.)
#if F_CPU == 16000000L
#define PANEL_PAD_RISE 3
#define PANEL_PAD_BIT 5
#define PANEL_PAD_FALL 5
// The unrolled byte is too long for a conditional branch to reach back.
#define PANEL_NEXT_BYTE \
  ".rept %[bit] - 3\n nop\n .endr\n breq 3f\n rjmp 1b\n3:\n nop\n"
#else
#define PANEL_PAD_RISE 0
#define PANEL_PAD_BIT 2
#define PANEL_PAD_FALL 1
#define PANEL_NEXT_BYTE ".rept %[bit] - 2\n nop\n .endr\n brne 1b\n nop\n"
#endif
#define PANEL_BIT(n, work)                 \
  "st Z, %[high]\n"                        \
  ".rept %[rise]\n nop\n .endr\n"          \
  "sbrs %[current], " #n "\n"              \
  "st Z, %[low]\n" work "st Z, %[low]\n"   \
  ".rept %[fall]\n nop\n .endr\n"

// Sends count bytes, most significant bit first. A bit starts with the line
// going high; for a zero the test lets the early fall through, for a one it
// skips it (so a one is a cycle shorter), and the late fall is written either
// way. The next byte is fetched during bit 7 and the count taken during bit
// 6, so the bytes follow each other with no gap; bit 0's late fall is the
// first thing of the next byte. Interrupts are off for the whole frame, 1.9 ms
// a panel, and millis() misses the ticks of that time: each frame sets it
// back by up to 2 ms a panel.
void panelSend(const byte* bytes, uint16_t count) {
#if defined(__AVR__)  // fast path: the bits are timed by counting cycles
  volatile uint8_t* port = portOutputRegister(digitalPinToPort(LED_PIN));
  const byte mask = digitalPinToBitMask(LED_PIN);
  byte current, next;
  const byte saved = SREG;
  noInterrupts();
  const byte high = *port | mask;
  const byte low = *port & ~mask;
  asm volatile(
      "ld %[next], X+\n"
      "1:\n"
      "st Z, %[low]\n"
      "mov %[current], %[next]\n"
      ".rept %[fall] - 1\n nop\n .endr\n"
      PANEL_BIT(7, "ld %[next], X+\n .rept %[bit] - 2\n nop\n .endr\n")
      PANEL_BIT(6, "sbiw %[count], 1\n .rept %[bit] - 2\n nop\n .endr\n")
      PANEL_BIT(5, ".rept %[bit]\n nop\n .endr\n")
      PANEL_BIT(4, ".rept %[bit]\n nop\n .endr\n")
      PANEL_BIT(3, ".rept %[bit]\n nop\n .endr\n")
      PANEL_BIT(2, ".rept %[bit]\n nop\n .endr\n")
      PANEL_BIT(1, ".rept %[bit]\n nop\n .endr\n")
      "st Z, %[high]\n"
      ".rept %[rise]\n nop\n .endr\n"
      "sbrs %[current], 0\n"
      "st Z, %[low]\n"
      PANEL_NEXT_BYTE
      "st Z, %[low]\n"
      : [current] "=&r"(current), [next] "=&r"(next), [count] "+w"(count), "+x"(bytes)
      : [high] "r"(high), [low] "r"(low), "z"(port), [rise] "i"(PANEL_PAD_RISE),
        [bit] "i"(PANEL_PAD_BIT), [fall] "i"(PANEL_PAD_FALL)
      : "memory");
  SREG = saved;
  panelSentAt = micros();
#else
  (void)bytes;
  (void)count;
#endif
}

void displayBegin() {
  digitalWrite(LED_PIN, LOW);
  pinMode(LED_PIN, OUTPUT);
  panelSentAt = micros();
  displayShow();  // frame is all dark before the first image
}

void displayShow() {
  for (uint16_t led = 0; led < PANEL_LEDS; ++led) {
    const byte module = led / 64;
    const byte row = (led / 8) % 8;
    byte column = led % 8;
    if (SERPENTINE && (row & 1)) {
      column = 7 - column;
    }
    const bool lit = (frame[module * 8 + column] >> row) & 1;
    panelBytes[led * 3] = lit ? COLOR_G : 0;
    panelBytes[led * 3 + 1] = lit ? COLOR_R : 0;
    panelBytes[led * 3 + 2] = lit ? COLOR_B : 0;
  }
  // The panels take a frame once the line has stayed low 280 us (older
  // parts: 50 us); 320 us by micros(), which counts in steps of 4.
  while (micros() - panelSentAt < 320) {
  }
  panelSend(panelBytes, PANEL_LEDS * 3);
}

void displayRefresh() {
}
// ---- end of display ----
