#include "core/eeprom.h"

#include "core/machine.h"

namespace kestra {

void EepromCommand(Machine&, SerialEeprom&, uint32_t, uint32_t) {}

}  // namespace kestra
