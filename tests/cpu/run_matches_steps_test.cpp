// Generated programs run in slices must end every slice exactly as the same
// slice taken one instruction at a time with CpuStep, which looks the code up
// afresh for each instruction. The programs run on from bank 14 into bank 15
// within their segment, jump far to their next instruction through other
// segments, write the bank ports, run prefixed and repeated string
// instructions, and halt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/machine.h"
#include "support/test_support.h"

namespace kestra::test {
namespace {

// The code starts 2 KB before the end of bank 14.
constexpr uint16_t kCodeSegment = 0xEF80;
constexpr uint32_t kCodeBase = kCodeSegment * 16u;
constexpr uint32_t kInBank14 = 0x10000 - (kCodeBase & 0xFFFF);

class ProgramWriter {
 public:
  explicit ProgramWriter(uint32_t seed) : rng_(seed) {}

  std::vector<uint8_t> Write() {
    Emit({0xFA, 0x31, 0xC0, 0x8E, 0xD8, 0x8E, 0xC0, 0x8E, 0xD0, 0xBC, 0x00, 0x20});
    const uint16_t loop = Here();
    for (int reg : {0, 1, 2, 3, 5, 6, 7}) EmitWord(0xB8 + reg, Random(0x10000));
    for (int n = 0; n < 600; ++n) Instruction();
    Emit({0xEA, uint8_t(loop), uint8_t(loop >> 8), uint8_t(kCodeSegment),
          uint8_t(kCodeSegment >> 8)});
    return code_;
  }

 private:
  uint32_t Random(uint32_t n) { return rng_() % n; }
  uint8_t Byte() { return static_cast<uint8_t>(rng_()); }
  int NotSp() {
    static const int regs[] = {AX, CX, DX, BX, BP, SI, DI};
    return regs[Random(7)];
  }
  uint16_t Here() const { return static_cast<uint16_t>(code_.size()); }
  // Byte by byte: GCC 12 sees a false overflow in vector::insert here.
  void Emit(std::initializer_list<uint8_t> bytes) {
    for (const uint8_t b : bytes) code_.push_back(b);
  }
  void EmitWord(uint8_t op, uint32_t v) { Emit({op, uint8_t(v), uint8_t(v >> 8)}); }

  void Instruction() {
    const uint32_t kind = Random(100);
    if (kind < 25) {  // ALU and MOV between a register and a register or memory
      static const uint8_t ops[] = {0x00, 0x01, 0x02, 0x03, 0x10, 0x13, 0x20, 0x29,
                                    0x30, 0x33, 0x38, 0x3B, 0x84, 0x86, 0x88, 0x8A};
      const int mod = static_cast<int>(Random(3));  // memory forms; the register ones below
      Emit({ops[Random(16)], uint8_t(mod << 6 | Random(8) << 3 | Random(6))});
      if (mod == 1) Emit({Byte()});
      if (mod == 2) Emit({Byte(), Byte()});
    } else if (kind < 40) {  // word registers other than SP
      static const uint8_t ops[] = {0x01, 0x09, 0x11, 0x19, 0x21, 0x29, 0x31, 0x89, 0x8B, 0x85};
      Emit({ops[Random(10)], uint8_t(0xC0 | NotSp() << 3 | NotSp())});
    } else if (kind < 48) {  // groups on registers other than SP
      static const uint8_t groups[] = {0x83, 0xD1, 0xD3, 0xC1, 0xD0, 0x80};
      const uint8_t g = groups[Random(6)];
      Emit({g, uint8_t(0xC0 | Random(8) << 3 | NotSp())});
      if (g == 0x83 || g == 0xC1 || g == 0x80) Emit({Byte()});
    } else if (kind < 60) {  // a repeated string instruction with prefixes
      if (Random(2)) Emit({Random(2) ? uint8_t(0xFC) : uint8_t(0xFD)});
      EmitWord(0xB9, Random(40));  // MOV CX, n
      if (Random(3) == 0) Emit({SegmentPrefix()});
      static const uint8_t repeats[] = {0xF3, 0xF3, 0xF2, 0x64, 0x65};
      Emit({repeats[Random(5)]});
      if (Random(3) == 0) Emit({SegmentPrefix()});
      static const uint8_t strings[] = {0xA4, 0xA5, 0xA6, 0xA7, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
      Emit({strings[Random(10)]});
    } else if (kind < 70) {  // JMP far to the next instruction through a lower CS
      const uint32_t next = Here() + 5u;
      const uint32_t lower = Random((0x10000 - next) / 16);
      const uint16_t cs = static_cast<uint16_t>(kCodeSegment - lower);
      const uint16_t ip = static_cast<uint16_t>(kCodeBase + next - cs * 16u);
      Emit({0xEA, uint8_t(ip), uint8_t(ip >> 8), uint8_t(cs), uint8_t(cs >> 8)});
    } else if (kind < 75) {  // bank ports; 0xC0 maps the code's own bank again
      static const uint8_t ports[] = {0xC0, 0xC1, 0xC2, 0xC3};
      const uint8_t port = ports[Random(4)];
      Emit({0xB0, port == 0xC0 ? uint8_t(0xFF) : Byte(), 0xE6, port});
    } else if (kind < 80) {  // CALL to the next instruction, the return address dropped
      Emit({0xE8, 0x00, 0x00, 0x83, 0xC4, 0x02});
    } else if (kind < 85) {  // a conditional jump over a NOP
      Emit({uint8_t(0x70 + Random(16)), 0x01, 0x90});
    } else if (kind < 88) {
      Emit({0xF4});  // HLT
    } else if (kind < 92) {  // a segment-prefixed read
      Emit({SegmentPrefix(), 0x8A, uint8_t(0x40 | Random(8) << 3 | Random(8)), Byte()});
    } else {
      EmitWord(0xB8 + NotSp(), Random(0x10000));
    }
  }

  uint8_t SegmentPrefix() {
    static const uint8_t prefixes[] = {0x26, 0x2E, 0x36, 0x3E};
    return prefixes[Random(4)];
  }

  std::mt19937 rng_;
  std::vector<uint8_t> code_;
};

struct ProgramMachine {
  explicit ProgramMachine(const std::vector<uint8_t>& code)
      : bank14(0x10000, 0x90), bank15(0x10000, 0x90) {
    const size_t first = std::min<size_t>(code.size(), kInBank14);
    std::memcpy(bank14.data() + (kCodeBase & 0xFFFF), code.data(), first);
    std::memcpy(bank15.data(), code.data() + first, code.size() - first);
    MemoryMap& map = m->map;
    // Port 0xC0 = 0xFF maps the same pages again.
    map.BankReadTable[14] = map.RomBankTable[0xFE] = bank14.data();
    map.BankReadTable[15] = map.RomBankTable[0xFF] = bank15.data();
    CpuReset(*m);
    SetCpuRegister(*m, kRegCs, kCodeSegment);
  }
  TestMachine m;
  std::vector<uint8_t> bank14, bank15;
};

TEST(RunMatchesSteps, GeneratedPrograms) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const std::vector<uint8_t> code = ProgramWriter(seed).Write();
    ASSERT_GT(code.size(), kInBank14);
    ProgramMachine run(code), step(code);
    int32_t runBalance = 32, stepBalance = 32;
    for (int slice = 0; slice < 4000; ++slice) {
      runBalance += 32 - CpuRun(*run.m, runBalance);
      CpuState& c = step.m->cpu;
      c.CycleBudget = stepBalance;
      c.freeSteps = 0;
      while (c.CycleBudget > 0) CpuStep(*step.m);
      stepBalance += 32 - (stepBalance - c.CycleBudget);

      SCOPED_TRACE(testing::Message() << "seed " << seed << ", slice " << slice);
      ASSERT_EQ(runBalance, stepBalance);
      for (int r = 1; r <= 14; ++r) {
        ASSERT_EQ(GetCpuRegister(*run.m, r), GetCpuRegister(*step.m, r)) << "register " << r;
      }
      ASSERT_EQ(0, std::memcmp(run.m->mem.Iram, step.m->mem.Iram, kPageSize));
      ASSERT_EQ(0, std::memcmp(run.m->io.IoPorts, step.m->io.IoPorts, 0x100));
    }
  }
}

}  // namespace
}  // namespace kestra::test
