// One emulated console in three parts: MachineState, the emulated state as
// plain values grouped by chip (what a snapshot holds); what is derived from
// it and from the cartridge (bank pointers, the code window, host colours),
// rebuilt by RebuildDerived; and the host bindings (outputs, services,
// settings), which belong to the front end.
#pragma once

#include <cstring>
#include <memory>
#include <type_traits>

#include "core/cartridge.h"
#include "core/eeprom.h"
#include "base/host.h"
#include "core/memory.h"
#include "core/ports.h"
#include "system/scheduler.h"
#include "base/settings.h"
#include "cpu/cpu.h"
#include "sound/sound.h"
#include "video/display.h"
#include "video/palette.h"
#include "video/sprites.h"

namespace kestra {

class HostAudio;
class DisplayHost;

struct HostServices {
  MessageService* messages = nullptr;  // never null once CreateMachine returns
  TickSource* ticks = nullptr;         // never null once CreateMachine returns
  InputSource* input = nullptr;        // none: no keys held
  FrontEnd* frontEnd = nullptr;        // none: no window to lay out
  DisplayHost* display = nullptr;      // none: no picture
  HostAudio* audio = nullptr;          // none: no sound device
};

// No pointers and nothing the host decides: copying it into another machine
// with the same cartridge and rebuilding gives the same console. The save
// memory lives with the cartridge's pages and is saved beside it.
struct MachineState {
  CpuState cpu;
  MemoryState mem;
  PortState io;
  EepromState eeprom;
  SchedulerState sched;
  SpriteSnapshot sprites;
  PaletteState palette;
  SoundState sound;
};
static_assert(std::is_trivially_copyable_v<MachineState>);

struct Machine : MachineState {
  // Derived.
  MemoryMap map;
  CodeWindow code;
  HostColourTables colours;
  const NoisePatterns* noise = nullptr;  // set once the sound device is open
  // The loaded cartridge: its pages, save memory and identity.
  CartridgeState cart;
  // Host bindings.
  DisplayState display;
  Settings settings;
  HostServices host;
};

inline uint8_t ReadMemory(const Machine& m, uint32_t address) {
  return m.map.BankReadTable[(address >> 16) & 0xF][address & 0xFFFF];
}

// Writes to bank 0 outside the palette area and the wave table have no hook:
// they are stored without going through the table (WriteIram would do the
// same). True when that holds for every byte from first to last (linear
// addresses, last >= first), which must then also lie in one bank.
inline bool IsPlainIramRange(const MemoryState& mem, uint32_t first, uint32_t last) {
  const uint32_t aboveWave = (first - static_cast<uint32_t>(mem.WaveTableBase)) & 0xFFFF;
  return (first & 0xF0000) == 0 && (first & 0xFFFF) + (last - first) < 0xFE00 &&
         aboveWave >= 0x40 && aboveWave + (last - first) <= 0xFFFF;
}

inline bool IsPlainIramWrite(const MemoryState& mem, uint32_t address) {
  return IsPlainIramRange(mem, address, address);
}

inline void WriteMemory(Machine& m, uint32_t address, uint8_t value) {
  if (IsPlainIramWrite(m.mem, address)) {
    m.mem.Iram[address & 0xFFFF] = value;
    return;
  }
  BankWriteTable[(address >> 16) & 0xF](m, address, value);
}

// Words, low byte at the lower address. The high byte is at address + 1, so a
// word at offset 0xFFFF takes it from the next bank: only such a word goes
// byte by byte.
inline uint16_t ReadMemoryWord(const Machine& m, uint32_t address) {
  if ((address & 0xFFFF) == 0xFFFF) {
    return static_cast<uint16_t>(ReadMemory(m, address) | ReadMemory(m, address + 1) << 8);
  }
  uint16_t v;
  std::memcpy(&v, m.map.BankReadTable[(address >> 16) & 0xF] + (address & 0xFFFF), 2);
  return v;
}

// One store when both bytes are plain Iram writes.
inline void WriteMemoryWord(Machine& m, uint32_t address, uint16_t value) {
  if (IsPlainIramRange(m.mem, address, address + 1)) {
    std::memcpy(m.mem.Iram + (address & 0xFFFF), &value, 2);
    return;
  }
  WriteMemory(m, address, static_cast<uint8_t>(value));
  WriteMemory(m, address + 1, static_cast<uint8_t>(value >> 8));
}

inline void ShowMessage(Machine& m, const char* caption, const std::string& text,
                        MessageIcon icon = MessageIcon::Warning) {
  m.host.messages->ShowMessage(caption, text, icon);
}

}  // namespace kestra
