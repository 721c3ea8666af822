#include "core/memory.h"

#include <cstring>

#include "core/machine.h"
#include "base/port_names.h"
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
  m.map.BankReadTable[1][address & 0xFFFF] = value;
}

void IgnoreWrite(Machine&, uint32_t, uint8_t) {}

const BankWriter BankWriteTable[16] = {
    WriteIram,   WriteSaveBank, IgnoreWrite, IgnoreWrite, IgnoreWrite, IgnoreWrite,
    IgnoreWrite, IgnoreWrite,   IgnoreWrite, IgnoreWrite, IgnoreWrite, IgnoreWrite,
    IgnoreWrite, IgnoreWrite,   IgnoreWrite, IgnoreWrite,
};

void ClearMemoryMap(Machine& m) {
  MemoryMap& map = m.map;
  for (auto& e : map.RomBankTable) e = m.mem.FillPage;
  for (auto& e : map.SaveBankTable) e = m.mem.FillPage;
  for (auto& e : map.BankReadTable) e = m.mem.FillPage;
  map.BankReadTable[0] = m.mem.Iram;
  map.CartEepromStore = nullptr;
  m.mem.SaveBankMapped = -1;
  std::memset(m.mem.Iram, 0, sizeof m.mem.Iram);
  std::memset(m.mem.FillPage, 0xFF, sizeof m.mem.FillPage);
}

namespace {

void MapSaveBank(Machine& m, int bank) {
  m.mem.SaveBankMapped = bank;
  m.map.BankReadTable[1] = bank < 0 ? m.mem.FillPage : m.map.SaveBankTable[bank];
}

}  // namespace

void SetUpLowBanks(Machine& m) {
  MemoryMap& map = m.map;
  map.BankReadTable[0] = m.mem.Iram;
  MapSaveBank(m, m.cart.SaveIsEeprom ? -1 : 0);
  map.CartEepromStore = m.cart.SaveIsEeprom ? map.SaveBankTable[0] : nullptr;
  m.eeprom.CartEeprom.writeEnable = 0;
  map.BankReadTable[15] = map.RomBankTable[255];
}

void MapHighRomBanks(Machine& m, uint8_t value) {
  const int base = (value & 0x0F) * 16;
  for (int b = 4; b < 16; ++b) m.map.BankReadTable[b] = m.map.RomBankTable[base + b];
}

void SwitchBank(Machine& m, uint32_t port, uint8_t value) {
  switch (port) {
    case kPortBankRomHigh:
      MapHighRomBanks(m, value);  // the CPU's OUT steps once more first
      break;
    case kPortBankSave:
      if (value < m.cart.SaveBankCount) MapSaveBank(m, value);
      break;
    case kPortBankRom0:
      m.map.BankReadTable[2] = m.map.RomBankTable[value];
      break;
    case kPortBankRom1:
      m.map.BankReadTable[3] = m.map.RomBankTable[value];
      break;
    default:
      break;
  }
}

void RebuildMemoryMap(Machine& m) {
  MemoryMap& map = m.map;
  const CartridgeState& cart = m.cart;
  for (auto& e : map.RomBankTable) e = m.mem.FillPage;
  for (auto& e : map.SaveBankTable) e = m.mem.FillPage;
  const int loaded = cart.LoadedRomBanks;
  for (int i = 0; i < loaded; ++i) {
    map.RomBankTable[256 - loaded + i] = cart.romPages.get() + static_cast<size_t>(i) * kPageSize;
  }
  for (int i = 0; i < cart.SaveBankCount; ++i) {
    map.SaveBankTable[i] = cart.savePages.get() + static_cast<size_t>(i) * kPageSize;
  }
  map.CartEepromStore = cart.SaveIsEeprom && cart.savePages ? map.SaveBankTable[0] : nullptr;
  const uint8_t* io = m.io.IoPorts;
  map.BankReadTable[0] = m.mem.Iram;
  map.BankReadTable[1] =
      m.mem.SaveBankMapped < 0 ? m.mem.FillPage : map.SaveBankTable[m.mem.SaveBankMapped];
  map.BankReadTable[2] = map.RomBankTable[io[kPortBankRom0]];
  map.BankReadTable[3] = map.RomBankTable[io[kPortBankRom1]];
  MapHighRomBanks(m, io[kPortBankRomHigh]);
}

}  // namespace kestra
