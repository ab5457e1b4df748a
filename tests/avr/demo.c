/* A small ATmega328P program as avr-gcc users build them, for the tests of
 * ELF input: initialised data (placed in FLASH after .text and copied to RAM
 * at start-up), EEPROM data, fuses, lock bits and the signature. */
#include <avr/eeprom.h>
#include <avr/io.h>
#include <avr/lock.h>
#include <avr/signature.h>

FUSES = {.low = 0xE2, .high = 0xD9, .extended = 0xFD};
LOCKBITS = 0xFE;

uint8_t EEMEM calibration[8] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
char EEMEM greeting[] = "EEPROM greeting";

volatile char banner[] = "ORIOLE elf demo";
volatile uint16_t table[] = {0x1234, 0xABCD, 0x0F0F, 0x8001};

int main(void) {
    DDRB = 0xFF;
    for (;;) {
        uint8_t i = PINB & 7;
        PORTB = (uint8_t)(banner[i] ^ (uint8_t)table[i & 3] ^ eeprom_read_byte(&calibration[i]));
        eeprom_read_block((void*)banner, greeting, 4);
    }
}
