// Serial EEPROM: a command word, a data word and a control port; each write
// to the control port executes the command at once.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

struct SerialEeprom {
  int32_t writeEnable = 0;  // 0: writes, erases and fills are refused
};

struct EepromState {
  SerialEeprom CartEeprom;      // ports 0xC4-0xC8, words in the save page (MemoryMap)
  SerialEeprom InternalEeprom;  // ports 0xBA-0xBE, no storage
};

// Executes the command in ports commandPort/commandPort+1 (low, high) with the
// data word in dataPort/dataPort+1 on `store`, 16-bit little-endian words. A
// device without store (null) does nothing.
void EepromCommand(Machine& m, SerialEeprom& device, uint8_t* store, uint32_t commandPort,
                   uint32_t dataPort);

}  // namespace kestra
