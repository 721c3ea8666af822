#include "core/ports.h"

#include <array>
#include <cstdio>

#include "core/machine.h"
#include "sound/sound.h"
#include "video/palette.h"

namespace kestra {

namespace {

uint8_t* Ports(Machine& m) { return m.io.IoPorts; }

void StorePort(Machine& m, uint32_t port, uint8_t value) { Ports(m)[port] = value; }

void UnknownPort(Machine& m, uint32_t port, uint8_t value) {
  WarnUnknownPort(m, kMsgUnknownPort);
  if (port < 0x100) Ports(m)[port] = value;
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
    uint32_t source = io[0x42] << 16 | io[0x41] << 8 | io[0x40];
    uint32_t destination = io[0x45] << 8 | io[0x44];
    const uint32_t length = io[0x47] << 8 | io[0x46];
    for (uint32_t i = 0; i < length; ++i) {
      WriteMemory(m, destination, ReadMemory(m, source));
      ++source;
      ++destination;
    }
    io[0x40] = source & 0xFF;
    io[0x41] = (source >> 8) & 0xFF;
    io[0x42] = (source >> 16) & 0xFF;
    io[0x44] = destination & 0xFF;
    io[0x45] = (destination >> 8) & 0xFF;
    io[0x43] = (destination >> 16) & 0xFF;
    io[0x46] = 0;
    io[0x47] = 0;
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

void ConstantA0Port(Machine& m, uint32_t port, uint8_t) { Ports(m)[port] = 0x02; }

void TimerControlPort(Machine& m, uint32_t port, uint8_t value) {
  uint8_t* io = Ports(m);
  io[0xA8] = (value & 0x01) ? io[0xA4] : 0;
  io[0xA9] = (value & 0x01) ? io[0xA5] : 0;
  io[0xAA] = (value & 0x04) ? io[0xA6] : 0;
  io[0xAB] = (value & 0x04) ? io[0xA7] : 0;
  io[port] = value;
}

// A reload byte also sets the matching counter byte.
void TimerReloadPort(Machine& m, uint32_t port, uint8_t value) {
  Ports(m)[port + 4] = value;
  Ports(m)[port] = value;
}

void B3Port(Machine& m, uint32_t port, uint8_t value) {
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
  EepromCommand(m, m.eeprom.InternalEeprom, 0xBC, 0xBA);
  Ports(m)[port] = value >> 4;
}

void CartEepromControlPort(Machine& m, uint32_t port, uint8_t value) {
  EepromCommand(m, m.eeprom.CartEeprom, 0xC6, 0xC4);
  if (value & 0x10) value >>= 4;
  if (value & 0x20) value >>= 4;
  if (value & 0x40) value >>= 5;
  Ports(m)[port] = value;
}

void BankPort(Machine& m, uint32_t port, uint8_t value) {
  SwitchBank(m, port, value);
  Ports(m)[port] = value;
}

void CAPort(Machine& m, uint32_t port, uint8_t value) { Ports(m)[port] = value | 0x80; }

constexpr std::array<PortWriter, kPortTableSize> MakePortTable() {
  std::array<PortWriter, kPortTableSize> t{};
  for (auto& e : t) e = StorePort;
  auto set = [&t](uint32_t first, uint32_t last, PortWriter w) {
    for (uint32_t p = first; p <= last; ++p) t[p] = w;
  };
  // Ports without meaning.
  set(0x18, 0x1B, UnknownPort);
  set(0x54, 0x5F, UnknownPort);
  set(0x61, 0x61, UnknownPort);
  set(0x63, 0x63, UnknownPort);
  set(0x6C, 0x7F, UnknownPort);
  set(0x95, 0x9F, UnknownPort);
  set(0xA1, 0xA1, UnknownPort);
  set(0xA3, 0xA3, UnknownPort);
  set(0xAC, 0xAF, UnknownPort);
  set(0xB8, 0xB9, UnknownPort);
  set(0xBF, 0xBF, UnknownPort);
  set(0xC9, 0xC9, UnknownPort);
  set(0xD0, 0xD0, UnknownPort);
  set(0xD2, 0xD2, UnknownPort);
  set(0xD4, 0xD4, UnknownPort);
  // Ports with a side effect.
  set(0x07, 0x07, MapBasePort);
  set(0x1C, 0x1F, ShadePort);
  set(0x20, 0x3F, MonoPalettePort);
  set(0x48, 0x48, DmaControlPort);
  set(0x80, 0x94, SoundPort);
  set(0x90, 0x90, SoundControlPort);
  set(0x91, 0x91, SoundMasterPort);
  set(0xA0, 0xA0, ConstantA0Port);
  set(0xA2, 0xA2, TimerControlPort);
  set(0xA4, 0xA7, TimerReloadPort);
  set(0xB3, 0xB3, B3Port);
  set(0xB5, 0xB5, KeypadPort);
  set(0xB6, 0xB6, InterruptAckPort);
  set(0xBE, 0xBE, InternalEepromControlPort);
  set(0xC0, 0xC3, BankPort);
  set(0xC8, 0xC8, CartEepromControlPort);
  set(0xCA, 0xCA, CAPort);
  return t;
}

constexpr std::array<PortWriter, kPortTableSize> kPortTable = MakePortTable();

// Initial values of the shade and monochrome palette ports 0x1C-0x3F.
constexpr uint8_t kInitialPalettePorts[0x24] = {
    0x99, 0xFD, 0xB7, 0xDF,                          // 0x1C-0x1F
    0x30, 0x57, 0x75, 0x76, 0x15, 0x73, 0x77, 0x77,  // 0x20-0x27
    0x20, 0x75, 0x50, 0x36, 0x70, 0x67, 0x50, 0x77,  // 0x28-0x2F
    0x57, 0x54, 0x75, 0x77, 0x75, 0x17, 0x37, 0x73,  // 0x30-0x37
    0x50, 0x57, 0x60, 0x77, 0x70, 0x77, 0x10, 0x73,  // 0x38-0x3F
};

}  // namespace

uint8_t KeypadValue(uint8_t select, uint16_t buttons) {
  uint8_t value = select & 0xF0;
  if (select & 0x40) value |= (buttons >> 8) & 0x0F;
  if (select & 0x20) value |= (buttons >> 4) & 0x0F;
  if (select & 0x10) value |= buttons & 0x0F;
  return value;
}

void WritePort(Machine& m, uint32_t port, uint8_t value) {
  if (port < kPortTableSize) {
    kPortTable[port](m, port, value);
  } else {
    UnknownPort(m, port, value);
  }
}

void WarnUnknownPort(Machine& m, const char* message) {
  if (!m.settings.verbose()) return;
  const uint32_t address = GetCpuRegister(m, kRegCs) * 16u + GetCpuRegister(m, kRegIp);
  char text[128];
  std::snprintf(text, sizeof text, "%s %06X", message, address);
  ShowMessage(m, kCaptionWarning, text, MessageIcon::None);
}

void ResetMachine(Machine& m) {
  SetUpLowBanks(m);
  m.eeprom.InternalEeprom = SerialEeprom{};
  TakeSpriteSnapshot(m);

  WritePort(m, 0x07, 0x00);
  WritePort(m, 0x14, 0x01);
  for (uint32_t position = 0; position < 0x210; ++position) WritePaletteByte(m, position, 0);
  for (uint32_t port = 0x1C; port <= 0x3F; ++port) {
    WritePort(m, port, kInitialPalettePorts[port - 0x1C]);
  }
  WritePort(m, 0x01, 0x00);
  WritePort(m, 0x8F, 0x03);
  WritePort(m, 0x91, 0x80);
  WritePort(m, 0xA0, 0x02);
  WritePort(m, 0xB3, 0x04);

  m.io.IoPorts[0xC0] = 0x0F;
  MapHighRomBanks(m, 0x0F);
  WritePort(m, 0xC2, 0xFF);
  WritePort(m, 0xC3, 0xFF);

  SetPeriod(m, 4, 0);
  SetPeriod(m, 4, 0x700);
  m.mem.WaveTableBase = -1;
  for (int buffer = 0; buffer < 6; ++buffer) ClearBuffer(m, buffer);

  m.sched.ButtonMask = 0;

  CpuReset(m);
  SetCpuRegister(m, kRegSp, 0x2000);
}

}  // namespace kestra
