// Arduino's documented API and nothing else: a sketch that compiles against
// this header (outside its AVR fast paths) runs on any board with an Arduino
// core. What the language reference documents, as declarations.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string.h>

typedef uint8_t byte;
typedef bool boolean;
typedef uint16_t word;

#define HIGH 0x1
#define LOW 0x0
#define INPUT 0x0
#define OUTPUT 0x1
#define INPUT_PULLUP 0x2
#define LSBFIRST 0
#define MSBFIRST 1
enum analog_pins : uint8_t { A0 = 14, A1, A2, A3, A4, A5 };

void pinMode(uint8_t pin, uint8_t mode);
void digitalWrite(uint8_t pin, uint8_t value);
int digitalRead(uint8_t pin);
int analogRead(uint8_t pin);
void analogWrite(uint8_t pin, int value);
unsigned long millis();
unsigned long micros();
void delay(unsigned long ms);
void delayMicroseconds(unsigned int us);
void shiftOut(uint8_t data_pin, uint8_t clock_pin, uint8_t bit_order, uint8_t value);
uint8_t shiftIn(uint8_t data_pin, uint8_t clock_pin, uint8_t bit_order);
void noInterrupts();
void interrupts();
