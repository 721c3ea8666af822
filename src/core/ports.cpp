#include "core/ports.h"

#include <array>
#include <cstdio>

#include "core/interrupts.h"
#include "core/keypad.h"
#include "core/machine.h"
#include "sound/sound.h"
#include "video/palette.h"

namespace kestra {

namespace {

uint8_t* Ports(Machine& m) { return m.io.IoPorts; }

void StorePort(Machine& m, uint32_t port, uint8_t value) { Ports(m)[port] = value; }

void UnknownPort(Machine& m, uint32_t port, uint8_t value) {
  WarnUnknownPort(m, kMsgUnknownPort);
  if (port < kPortCount) Ports(m)[port] = value;
}

void MapBasePort(Machine& m, uint32_t port, uint8_t value) {
  m.io.MapBaseLow = (value & 0x0Fu) * 2048;
  m.io.MapBaseHigh = ((value >> 4) & 0x0Fu) * 2048;
  Ports(m)[port] = value;
}

// The display side looks at the colour-mode bit itself.
void ShadePort(Machine& m, uint32_t port, uint8_t value) {
  WriteShadePort(m, port, value);
  Ports(m)[port] = value;
}

void MonoPalettePort(Machine& m, uint32_t port, uint8_t value) {
  WriteMonoPalettePort(m, port, value);
  Ports(m)[port] = value;
}

// General DMA: done at once inside the write, no CPU cycles charged. Neither
// address wraps at 16 bits: a destination past 0xFFFF continues in bank 1.
void DmaControlPort(Machine& m, uint32_t port, uint8_t value) {
  uint8_t* io = Ports(m);
  if (value & 0x80) {
    uint32_t source = io[kPortDmaSource + 2] << 16 | io[kPortDmaSource + 1] << 8 | io[kPortDmaSource];
    uint32_t destination = io[kPortDmaDestination + 1] << 8 | io[kPortDmaDestination];
    const uint32_t length = io[kPortDmaLength + 1] << 8 | io[kPortDmaLength];
    for (uint32_t i = 0; i < length; ++i) {
      WriteMemory(m, destination, ReadMemory(m, source));
      ++source;
      ++destination;
    }
    io[kPortDmaSource] = source & 0xFF;
    io[kPortDmaSource + 1] = (source >> 8) & 0xFF;
    io[kPortDmaSource + 2] = (source >> 16) & 0xFF;
    io[kPortDmaDestination] = destination & 0xFF;
    io[kPortDmaDestination + 1] = (destination >> 8) & 0xFF;
    io[kPortDmaDestinationBank] = (destination >> 16) & 0xFF;
    io[kPortDmaLength] = 0;
    io[kPortDmaLength + 1] = 0;
  }
  io[port] = value & 0x7F;
}

void SoundPort(Machine& m, uint32_t port, uint8_t value) {
  WriteSoundPort(m, port, value);
  Ports(m)[port] = value;
}

// The UI thread reads the sound control port while the emulation runs.
void SoundControlPort(Machine& m, uint32_t port, uint8_t value) {
  WriteSoundPort(m, port, value);
  StoreSoundControl(m, value);
}

void SoundMasterPort(Machine& m, uint32_t port, uint8_t value) {
  WriteSoundPort(m, port, value);
  Ports(m)[port] = value | 0x80;
}

void SystemControlPort(Machine& m, uint32_t port, uint8_t) { Ports(m)[port] = 0x02; }

void TimerControlPort(Machine& m, uint32_t port, uint8_t value) {
  StartTimers(m, value);
  Ports(m)[port] = value;
}

void TimerReloadPort(Machine& m, uint32_t port, uint8_t value) {
  ReloadTimer(m, port, value);
  Ports(m)[port] = value;
}

void SerialStatusPort(Machine& m, uint32_t port, uint8_t value) {
  Ports(m)[port] = static_cast<uint8_t>((value & ~0x20) | 0x04);
}

void KeypadPort(Machine& m, uint32_t port, uint8_t value) {
  Ports(m)[port] = KeypadValue(value, m.sched.ButtonMask);
}

// Writing 1 bits acknowledges those causes.
void InterruptAckPort(Machine& m, uint32_t port, uint8_t value) {
  Ports(m)[port] = static_cast<uint8_t>(Ports(m)[port] & ~value);
}

void InternalEepromControlPort(Machine& m, uint32_t port, uint8_t value) {
  EepromCommand(m, m.eeprom.InternalEeprom, nullptr, kPortInternalEepromCommand,
                kPortInternalEepromData);
  Ports(m)[port] = value >> 4;
}

void CartEepromControlPort(Machine& m, uint32_t port, uint8_t value) {
  EepromCommand(m, m.eeprom.CartEeprom, m.map.CartEepromStore, kPortCartEepromCommand,
                kPortCartEepromData);
  if (value & 0x10) value >>= 4;
  if (value & 0x20) value >>= 4;
  if (value & 0x40) value >>= 5;
  Ports(m)[port] = value;
}

void BankPort(Machine& m, uint32_t port, uint8_t value) {
  SwitchBank(m, port, value);
  Ports(m)[port] = value;
}

void CartridgeCAPort(Machine& m, uint32_t port, uint8_t value) { Ports(m)[port] = value | 0x80; }

constexpr std::array<PortWriter, kPortTableSize> MakePortTable() {
  std::array<PortWriter, kPortTableSize> t{};
  for (auto& e : t) e = StorePort;
  auto set = [&t](uint32_t first, uint32_t last, PortWriter w) {
    for (uint32_t p = first; p <= last; ++p) t[p] = w;
  };
  for (const PortRange& r : kPortsWithoutMeaning) set(r.first, r.last, UnknownPort);
  // Ports with a side effect.
  set(kPortMapBase, kPortMapBase, MapBasePort);
  set(kPortShadeFirst, kPortShadeLast, ShadePort);
  set(kPortMonoPaletteFirst, kPortMonoPaletteLast, MonoPalettePort);
  set(kPortDmaControl, kPortDmaControl, DmaControlPort);
  set(kPortSoundPeriodFirst, kPortSoundLast, SoundPort);
  set(kPortSoundControl, kPortSoundControl, SoundControlPort);
  set(kPortSoundOutput, kPortSoundOutput, SoundMasterPort);
  set(kPortSystemControl, kPortSystemControl, SystemControlPort);
  set(kPortTimerControl, kPortTimerControl, TimerControlPort);
  set(kPortHBlankReload, kPortVBlankReload + 1, TimerReloadPort);
  set(kPortSerialStatus, kPortSerialStatus, SerialStatusPort);
  set(kPortKeypad, kPortKeypad, KeypadPort);
  set(kPortInterruptStatus, kPortInterruptStatus, InterruptAckPort);
  set(kPortInternalEepromControl, kPortInternalEepromControl, InternalEepromControlPort);
  set(kPortBankRomHigh, kPortBankRom1, BankPort);
  set(kPortCartEepromControl, kPortCartEepromControl, CartEepromControlPort);
  set(kPortCartridgeCA, kPortCartridgeCA, CartridgeCAPort);
  return t;
}

constexpr std::array<PortWriter, kPortTableSize> kPortTable = MakePortTable();

}  // namespace

void WritePort(Machine& m, uint32_t port, uint8_t value) {
  if (port < kPortTableSize) {
    kPortTable[port](m, port, value);
  } else {
    UnknownPort(m, port, value);
  }
}

void WarnUnknownPort(Machine& m, const char* message) {
  if (!m.settings.verbose()) return;
  const uint32_t address = m.cpu.regs.w[CS] * 16u + m.cpu.regs.w[IP];
  char text[128];
  std::snprintf(text, sizeof text, "%s %06X", message, address);
  ShowMessage(m, kCaptionWarning, text, MessageIcon::None);
}

}  // namespace kestra
