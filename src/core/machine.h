// One emulated console: all of its state as plain sections grouped by chip,
// plus the host services it talks to. A test builds a fresh one; the pointers
// inside (bank pages, EEPROM store) are derived from the port values and the
// cartridge and can be rebuilt.
#pragma once

#include <memory>

#include "core/cartridge.h"
#include "core/eeprom.h"
#include "core/host.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/scheduler.h"
#include "core/settings.h"
#include "cpu/cpu.h"
#include "sound/sound.h"
#include "video/display.h"
#include "video/palette.h"

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

struct Machine {
  MemoryState mem;
  PortState io;
  CartridgeState cart;
  EepromState eeprom;
  CpuState cpu;
  SchedulerState sched;
  PaletteState palette;
  DisplayState display;
  SoundState sound;
  Settings settings;
  HostServices host;
};

// A machine with no cartridge, stderr messages and a steady clock; the caller
// may replace any host service afterwards.
std::unique_ptr<Machine> CreateMachine();

inline uint8_t ReadMemory(const Machine& m, uint32_t address) {
  return m.mem.BankReadTable[(address >> 16) & 0xF][address & 0xFFFF];
}

inline void WriteMemory(Machine& m, uint32_t address, uint8_t value) {
  BankWriteTable[(address >> 16) & 0xF](m, address, value);
}

inline void ShowMessage(Machine& m, const char* caption, const std::string& text,
                        MessageIcon icon = MessageIcon::Warning) {
  m.host.messages->ShowMessage(caption, text, icon);
}

}  // namespace kestra
