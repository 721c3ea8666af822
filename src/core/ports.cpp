#include "core/ports.h"

#include "core/machine.h"

namespace kestra {

void WritePort(Machine& m, uint32_t port, uint8_t value) {
  if (port >= 0xC0 && port <= 0xC3) SwitchBank(m, port, value);
  if (port < 0x100) m.io.IoPorts[port] = value;
}

void WarnUnknownPort(Machine&, const char*) {}

void ResetMachine(Machine& m) {
  SetUpLowBanks(m);
  m.io.IoPorts[0xC0] = 0x0F;
  MapHighRomBanks(m, 0x0F);
  WritePort(m, 0xC2, 0xFF);
  WritePort(m, 0xC3, 0xFF);
  m.mem.WaveTableBase = -1;
  CpuReset(m);
  SetCpuRegister(m, 6, 0x2000);
}

}  // namespace kestra
