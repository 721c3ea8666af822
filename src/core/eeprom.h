// Serial EEPROM: a command word, a data word and a control port; each write
// to the control port executes the command at once.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

struct SerialEeprom {
  uint8_t* store = nullptr;  // 16-bit little-endian words, or none
  int writeEnable = 0;       // 0: writes, erases and fills are refused
};

struct EepromState {
  SerialEeprom CartEeprom;      // ports 0xC4-0xC8, words in the save page
  SerialEeprom InternalEeprom;  // ports 0xBA-0xBE, no storage
};

// Executes the command in ports commandPort/commandPort+1 (low, high) with the
// data word in dataPort/dataPort+1. A device without store does nothing.
void EepromCommand(Machine& m, SerialEeprom& device, uint32_t commandPort, uint32_t dataPort);

}  // namespace kestra
