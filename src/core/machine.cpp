#include "core/machine.h"

#include <cstring>

namespace kestra {

namespace {
StderrMessages g_stderrMessages;
SteadyTicks g_steadyTicks;
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

}  // namespace kestra
