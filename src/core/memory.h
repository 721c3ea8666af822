// Memory map: internal RAM, cartridge ROM and save pages, and the bank tables
// through which every byte the CPU, the DMA engines and interrupts touch is
// routed.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

constexpr uint32_t kPageSize = 0x10000;

using BankWriter = void (*)(Machine&, uint32_t address, uint8_t value);

// Saved with the machine. FillPage is state too: bank 1 shows it when no
// save bank is mapped there, and writes to bank 1 land in it.
struct MemoryState {
  alignas(64) uint8_t Iram[kPageSize];
  alignas(64) uint8_t FillPage[kPageSize];
  int32_t WaveTableBase;   // Iram offset of the 64-byte wave table, or -1
  int32_t SaveBankMapped;  // save bank shown in bank 1, or -1 for FillPage
};

// Derived from the cartridge's pages and the bank ports: rebuilt by
// RebuildMemoryMap after a state is restored.
struct MemoryMap {
  uint8_t* RomBankTable[256];   // by ROM bank number; FillPage where the image has none
  uint8_t* SaveBankTable[256];  // by save bank number; FillPage beyond SaveBankCount
  uint8_t* BankReadTable[16];   // by linear bank (address bits 16-19)
  uint8_t* CartEepromStore;     // the EEPROM's words (the first save page), or none
};

// Writers of the three kinds of bank; BankWriteTable holds them by bank.
void WriteIram(Machine& m, uint32_t address, uint8_t value);
void WriteSaveBank(Machine& m, uint32_t address, uint8_t value);
void IgnoreWrite(Machine& m, uint32_t address, uint8_t value);

extern const BankWriter BankWriteTable[16];

// Points every ROM and save entry at FillPage and fills FillPage with 0xFF,
// clears Iram; done at the start of every load.
void ClearMemoryMap(Machine& m);

// Reset of the low banks: entry 0 = Iram; entry 1 = the first save bank, or
// FillPage for an EEPROM cartridge, whose word store that page becomes;
// entry 15 = ROM bank 255.
void SetUpLowBanks(Machine& m);

// Banks 4-15 from the 16 ROM banks that port 0xC0 value selects (no CPU step).
void MapHighRomBanks(Machine& m, uint8_t value);

// Side effect of a write to the bank ports 0xC0-0xC3, before the value is stored.
void SwitchBank(Machine& m, uint32_t port, uint8_t value);

// Points the ROM and save tables at the cartridge's pages and the bank table
// at what the bank ports and SaveBankMapped select.
void RebuildMemoryMap(Machine& m);

}  // namespace kestra
