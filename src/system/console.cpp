#include "system/console.h"

#include <cstring>

#include "core/machine.h"
#include "sound/host_audio.h"

namespace kestra {

namespace {

StderrMessages g_stderrMessages;
SteadyTicks g_steadyTicks;

// Initial values of the shade and monochrome palette ports 0x1C-0x3F.
constexpr uint8_t kInitialPalettePorts[kPortMonoPaletteLast - kPortShadeFirst + 1] = {
    0x99, 0xFD, 0xB7, 0xDF,                          // 0x1C-0x1F
    0x30, 0x57, 0x75, 0x76, 0x15, 0x73, 0x77, 0x77,  // 0x20-0x27
    0x20, 0x75, 0x50, 0x36, 0x70, 0x67, 0x50, 0x77,  // 0x28-0x2F
    0x57, 0x54, 0x75, 0x77, 0x75, 0x17, 0x37, 0x73,  // 0x30-0x37
    0x50, 0x57, 0x60, 0x77, 0x70, 0x77, 0x10, 0x73,  // 0x38-0x3F
};


}  // namespace

std::unique_ptr<Machine> CreateMachine() {
  auto m = std::make_unique<Machine>();
  m->host.messages = &g_stderrMessages;
  m->host.ticks = &g_steadyTicks;
  std::memset(m->io.IoPorts, 0, sizeof m->io.IoPorts);
  ClearMemoryMap(*m);
  m->mem.WaveTableBase = -1;
  CpuReset(*m);
  return m;
}

void ResetMachine(Machine& m) {
  SetUpLowBanks(m);
  m.eeprom.InternalEeprom = SerialEeprom{};
  TakeSpriteSnapshot(m);

  WritePort(m, kPortMapBase, 0x00);
  WritePort(m, kPortLcdControl, 0x01);
  for (uint32_t position = 0; position < kPaletteBytes; ++position) WritePaletteByte(m, position, 0);
  for (uint32_t port = kPortShadeFirst; port <= kPortMonoPaletteLast; ++port) {
    WritePort(m, port, kInitialPalettePorts[port - kPortShadeFirst]);
  }
  WritePort(m, kPortBackColour, 0x00);
  WritePort(m, kPortWaveTableBase, 0x03);
  WritePort(m, kPortSoundOutput, 0x80);
  WritePort(m, kPortSystemControl, 0x02);
  WritePort(m, kPortSerialStatus, 0x04);

  m.io.IoPorts[kPortBankRomHigh] = 0x0F;
  MapHighRomBanks(m, 0x0F);
  WritePort(m, kPortBankRom0, 0xFF);
  WritePort(m, kPortBankRom1, 0xFF);

  SetPeriod(m, kVoiceBuffer, 0);
  SetPeriod(m, kVoiceBuffer, 0x700);
  m.mem.WaveTableBase = -1;
  for (int buffer = 0; buffer < kHostBufferCount; ++buffer) ClearBuffer(m, buffer);

  m.sched.ButtonMask = 0;

  CpuReset(m);
  SetCpuRegister(m, kRegSp, 0x2000);
}


void RebuildDerived(Machine& m) {
  RebuildMemoryMap(m);
  m.code = CodeWindow{};
  const uint8_t bases = m.io.IoPorts[kPortMapBase];
  m.io.MapBaseLow = (bases & 0x0Fu) * 2048;
  m.io.MapBaseHigh = ((bases >> 4) & 0x0Fu) * 2048;
  ConvertAllColours(m);
}

}  // namespace kestra
