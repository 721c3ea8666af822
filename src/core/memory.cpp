#include "core/memory.h"

#include <cstring>

#include "core/machine.h"
#include "sound/sound.h"
#include "video/palette.h"

namespace kestra {

void WriteIram(Machine& m, uint32_t address, uint8_t value) {
  m.mem.Iram[address & 0xFFFF] = value;
  if ((address & 0xFE00) == 0xFE00) WritePaletteByte(m, address & 0x1FF, value);
  if (((address - static_cast<uint32_t>(m.mem.WaveTableBase)) & 0xFFC0) == 0) {
    WaveHook(m, address & 0x3F, value);
  }
}

void WriteSaveBank(Machine& m, uint32_t address, uint8_t value) {
  m.mem.BankReadTable[1][address & 0xFFFF] = value;
}

void IgnoreWrite(Machine&, uint32_t, uint8_t) {}

const BankWriter BankWriteTable[16] = {
    WriteIram,   WriteSaveBank, IgnoreWrite, IgnoreWrite, IgnoreWrite, IgnoreWrite,
    IgnoreWrite, IgnoreWrite,   IgnoreWrite, IgnoreWrite, IgnoreWrite, IgnoreWrite,
    IgnoreWrite, IgnoreWrite,   IgnoreWrite, IgnoreWrite,
};

void ClearMemoryMap(Machine& m) {
  MemoryState& mem = m.mem;
  for (auto& e : mem.RomBankTable) e = mem.FillPage;
  for (auto& e : mem.SaveBankTable) e = mem.FillPage;
  for (auto& e : mem.BankReadTable) e = mem.FillPage;
  mem.BankReadTable[0] = mem.Iram;
  std::memset(mem.Iram, 0, sizeof mem.Iram);
  std::memset(mem.FillPage, 0xFF, sizeof mem.FillPage);
}

void SetUpLowBanks(Machine& m) {
  MemoryState& mem = m.mem;
  mem.BankReadTable[0] = mem.Iram;
  if (m.cart.SaveIsEeprom) {
    mem.BankReadTable[1] = mem.FillPage;
    m.eeprom.CartEeprom.store = mem.SaveBankTable[0];
  } else {
    mem.BankReadTable[1] = mem.SaveBankTable[0];
    m.eeprom.CartEeprom.store = nullptr;
  }
  m.eeprom.CartEeprom.writeEnable = 0;
  mem.BankReadTable[15] = mem.RomBankTable[255];
}

void MapHighRomBanks(Machine& m, uint8_t value) {
  const int base = (value & 0x0F) * 16;
  for (int b = 4; b < 16; ++b) m.mem.BankReadTable[b] = m.mem.RomBankTable[base + b];
}

void SwitchBank(Machine& m, uint32_t port, uint8_t value) {
  switch (port) {
    case 0xC0:
      // The instruction after the OUT still runs under the old mapping when
      // the code lives in the switched area.
      if (GetCpuRegister(m, kRegCs) >= 0x4000) CpuStep(m);
      MapHighRomBanks(m, value);
      break;
    case 0xC1:
      if (value < m.cart.SaveBankCount) m.mem.BankReadTable[1] = m.mem.SaveBankTable[value];
      break;
    case 0xC2:
      m.mem.BankReadTable[2] = m.mem.RomBankTable[value];
      break;
    case 0xC3:
      m.mem.BankReadTable[3] = m.mem.RomBankTable[value];
      break;
    default:
      break;
  }
}

}  // namespace kestra
