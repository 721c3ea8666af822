// Placeholder until the instruction set lands: resets the registers and
// executes nothing.
#include "cpu/cpu.h"

#include "core/machine.h"

namespace kestra {

void CpuReset(Machine& m) {
  m.cpu = CpuState{};
  for (auto& b : m.cpu.regs.bytes) b = 0;
  m.cpu.regs.bytes[CS * 2] = 0xFF;
  m.cpu.regs.bytes[CS * 2 + 1] = 0xFF;
}

int32_t CpuRun(Machine& m, int32_t budget) { return budget > 0 ? budget : 0; }
void CpuStep(Machine&) {}
uint16_t GetCpuRegister(const Machine& m, int index) {
  static constexpr int kMap[15] = {-1, IP, AX, CX, DX, BX, SP, BP, SI, DI, -1, ES, CS, SS, DS};
  if (index < 0 || index > 14 || kMap[index] < 0) return 0;
  int r = kMap[index];
  return static_cast<uint16_t>(m.cpu.regs.bytes[r * 2] | m.cpu.regs.bytes[r * 2 + 1] << 8);
}
void SetCpuRegister(Machine& m, int index, uint16_t value) {
  static constexpr int kMap[15] = {-1, IP, AX, CX, DX, BX, SP, BP, SI, DI, -1, ES, CS, SS, DS};
  if (index < 0 || index > 14 || kMap[index] < 0) return;
  int r = kMap[index];
  m.cpu.regs.bytes[r * 2] = value & 0xFF;
  m.cpu.regs.bytes[r * 2 + 1] = value >> 8;
}
void EnterTrap(Machine&, int) {}
void PushFlags(Machine&) {}

}  // namespace kestra
