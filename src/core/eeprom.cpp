#include "core/eeprom.h"

#include <bit>

#include "core/machine.h"

namespace kestra {

namespace {

uint16_t ReadWord(const uint8_t* store, uint32_t index) {
  return static_cast<uint16_t>(store[2 * index] | store[2 * index + 1] << 8);
}

void WriteWord(uint8_t* store, uint32_t index, uint16_t word) {
  store[2 * index] = word & 0xFF;
  store[2 * index + 1] = word >> 8;
}

void Fill(uint8_t* store, uint32_t count, uint16_t word) {
  for (uint32_t i = 0; i < count; ++i) WriteWord(store, i, word);
}

}  // namespace

void EepromCommand(Machine& m, SerialEeprom& device, uint8_t* store, uint32_t commandPort,
                   uint32_t dataPort) {
  if (!store) return;
  uint8_t* io = m.io.IoPorts;
  const uint32_t command = io[commandPort] | io[commandPort + 1] << 8;
  const uint16_t data = static_cast<uint16_t>(io[dataPort] | io[dataPort + 1] << 8);
  auto clearData = [&] { io[dataPort] = io[dataPort + 1] = 0; };

  // Without a start bit there is no command.
  if (command == 0) {
    clearData();
    return;
  }

  // The start bit at n fixes an address of n - 2 bits; the widest (n = 15)
  // reaches 8192 words, well inside the 64 KB page.
  const int n = std::bit_width(command) - 1;
  uint32_t op = 0, sub = 0, address = 0, count = 0;
  if (n >= 4) {
    op = (command >> (n - 2)) & 3;
    sub = (command >> (n - 4)) & 3;
    count = 1u << (n - 2);
    address = command & (count - 1);
  }

  switch (op) {
    case 1:  // write
      if (device.writeEnable) WriteWord(store, address, data);
      clearData();
      break;
    case 2: {  // read
      const uint16_t word = ReadWord(store, address);
      io[dataPort] = word & 0xFF;
      io[dataPort + 1] = word >> 8;
      break;
    }
    case 3:  // erase
      if (device.writeEnable) WriteWord(store, address, 0xFFFF);
      clearData();
      break;
    default:
      switch (sub) {
        case 0:
          device.writeEnable = 0;
          break;
        case 1:
          if (device.writeEnable) Fill(store, count, data);
          break;
        case 2:
          if (device.writeEnable) Fill(store, count, 0xFFFF);
          break;
        default:
          device.writeEnable = 1;
          break;
      }
      clearData();
      break;
  }
}

}  // namespace kestra
