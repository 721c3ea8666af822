// CpuRun on a looping mix of ALU, moves, memory operands, jumps, a call and
// a short REP MOVSB in internal RAM, driven in 32-cycle slices like the
// scheduler does.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/machine.h"
#include "system/console.h"

namespace kestra {
namespace {

// CS = 0x0100 (linear 0x1000); DS = ES = SS = 0.
const std::vector<uint8_t> kLoop = {
    0xBB, 0x00, 0x30,        // 00 mov bx, 0x3000
    0x8B, 0x07,              // 03 mov ax, [bx]
    0x05, 0x34, 0x12,        // 05 add ax, 0x1234
    0x89, 0x47, 0x02,        // 08 mov [bx+2], ax
    0x00, 0x47, 0x04,        // 0B add [bx+4], al
    0x31, 0xC2,              // 0E xor dx, ax
    0xD1, 0xE2,              // 10 shl dx, 1
    0xFF, 0x47, 0x06,        // 12 inc word [bx+6]
    0xB9, 0x03, 0x00,        // 15 mov cx, 3
    0x01, 0xC8,              // 18 add ax, cx
    0xE2, 0xFC,              // 1A loop 0x18
    0xE8, 0x15, 0x00,        // 1C call 0x34
    0xBE, 0x00, 0x30,        // 1F mov si, 0x3000
    0xBF, 0x00, 0x31,        // 22 mov di, 0x3100
    0xB9, 0x10, 0x00,        // 25 mov cx, 16
    0xFC,                    // 28 cld
    0xF3, 0xA4,              // 29 rep movsb
    0x39, 0xC0,              // 2B cmp ax, ax
    0x74, 0x00,              // 2D je 0x2F
    0xE9, 0xCE, 0xFF,        // 2F jmp 0x00
    0x90,                    // 32 (unused)
    0x90,                    // 33 (unused)
    0x50,                    // 34 push ax
    0x8A, 0x47, 0x01,        // 35 mov al, [bx+1]
    0x58,                    // 38 pop ax
    0xC3,                    // 39 ret
};

std::unique_ptr<Machine> MachineWithCode(const std::vector<uint8_t>& code) {
  auto m = CreateMachine();
  std::memcpy(m->mem.Iram + 0x1000, code.data(), code.size());
  CpuReset(*m);
  m->cpu.regs.w[CS] = 0x0100;
  m->cpu.regs.w[SP] = 0x2000;
  return m;
}

// Slices of 32 cycles as the scheduler runs them, a job's worth.
int64_t RunJobOfSlices(Machine& m) {
  int64_t cycles = 0;
  for (int slice = 0; slice < 480; ++slice) cycles += CpuRun(m, 32);
  return cycles;
}

// Instructions and cycles of one pass through the loop, counted by stepping.
void MeasurePass(int& instructions, int& cycles) {
  auto m = MachineWithCode(kLoop);
  m->cpu.CycleBudget = 1 << 30;
  instructions = 0;
  do {
    CpuStep(*m);
    ++instructions;
  } while (m->cpu.regs.w[IP] != 0);
  cycles = (1 << 30) - m->cpu.CycleBudget;
}

void BM_CpuRunMixedLoop(benchmark::State& state) {
  int passInstructions = 0, passCycles = 0;
  MeasurePass(passInstructions, passCycles);
  auto m = MachineWithCode(kLoop);
  int64_t cycles = 0;
  for (auto _ : state) cycles += RunJobOfSlices(*m);
  benchmark::DoNotOptimize(m->cpu.regs.w[AX]);
  state.counters["emulated_cycles_per_s"] =
      benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
  state.counters["instructions_per_s"] = benchmark::Counter(
      static_cast<double>(cycles) * passInstructions / passCycles, benchmark::Counter::kIsRate);
  state.counters["cycles_per_pass"] = passCycles;
  state.counters["instructions_per_pass"] = passInstructions;
}
BENCHMARK(BM_CpuRunMixedLoop);

// Long repeated string instructions, each suspended at the end of every
// 32-cycle slice and taken up again in the next: REP MOVSW, REPE CMPSB over
// equal bytes, REPNE SCASB for a byte that is not there.
const std::vector<uint8_t> kStrings = {
    0xFC,                    // 00 cld
    0xBE, 0x00, 0x30,        // 01 mov si, 0x3000
    0xBF, 0x00, 0x40,        // 04 mov di, 0x4000
    0xB9, 0x00, 0x02,        // 07 mov cx, 512
    0xF3, 0xA5,              // 0A rep movsw
    0xBE, 0x00, 0x30,        // 0C mov si, 0x3000
    0xBF, 0x00, 0x40,        // 0F mov di, 0x4000
    0xB9, 0x00, 0x02,        // 12 mov cx, 512
    0xF3, 0xA6,              // 15 repe cmpsb
    0xBF, 0x00, 0x40,        // 17 mov di, 0x4000
    0xB9, 0x00, 0x02,        // 1A mov cx, 512
    0xB0, 0xFF,              // 1D mov al, 0xFF
    0xF2, 0xAE,              // 1F repne scasb
    0xEB, 0xDD,              // 21 jmp 0x00
};
constexpr int kStringElements = 512 + 512 + 512;

void BM_CpuRunRepeatAcrossSlices(benchmark::State& state) {
  auto m = MachineWithCode(kStrings);
  for (int i = 0; i < 0x400; ++i) m->mem.Iram[0x3000 + i] = static_cast<uint8_t>(i % 0xFF);
  int64_t cycles = 0;
  for (auto _ : state) cycles += RunJobOfSlices(*m);
  benchmark::DoNotOptimize(m->cpu.regs.w[CX]);
  state.counters["emulated_cycles_per_s"] =
      benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
  state.counters["elements_per_pass"] = kStringElements;
}
BENCHMARK(BM_CpuRunRepeatAcrossSlices);

}  // namespace
}  // namespace kestra
