// Code that would never give the host back: memory full of instructions that
// cost nothing, of prefixes, or of OUTs that switch banks. Every run ends,
// and in ordinary code those instructions still cost what they cost.
#include "cpu_harness.h"

namespace kestra {
namespace {

struct RunawayTest : test::CpuTest {
  // The whole code segment filled with `pattern`, repeated.
  void FillSegment(const std::vector<uint8_t>& pattern) {
    for (uint32_t i = 0; i < 0x10000; ++i) Byte(kCode + i) = pattern[i % pattern.size()];
  }
};

TEST_F(RunawayTest, SegmentOfFreeInstructionsEndsTheRun) {
  // 0xFF 0xFF (group 0xFF, reg 7), WAIT, 0x0F 0xFF x, group 0xFE reg 7,
  // groups 0xF6/0xF7 reg 1 (register and memory operand), and HLT with a
  // free instruction after it: the run ends all the same.
  for (auto pattern : {std::vector<uint8_t>{0xFF}, {0x9B}, {0x0F, 0xFF}, {0xFE, 0xFF},
                       {0xF6, 0xC8}, {0xF7, 0x0F}, {0xF4}, {0xF4, 0x9B}}) {
    Reset();
    FillSegment(pattern);
    EXPECT_GE(Run(32), 32) << int(pattern[0]);
  }
}

TEST_F(RunawayTest, FreeInstructionsInOrdinaryCodeStayFree) {
  // Four of each, then NOP: only the NOP's cycle is charged, and it runs.
  Code({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x9B, 0x9B, 0x9B, 0x9B, 0xFE, 0xF8,
        0xF6, 0xC8, 0xF6, 0xC8, 0xF7, 0xC8, 0xF7, 0xC8, 0x90});
  EXPECT_EQ(Run(1), 1);
  EXPECT_EQ(R(IP), 23);
  // HLT leaves one instruction to run.
  Reset();
  Code({0xF4, 0x40, 0x40});
  EXPECT_EQ(Run(100), 100);
  EXPECT_EQ(R(AX), 1);
}

TEST_F(RunawayTest, PrefixChainsDoNotNestWithoutEnd) {
  for (auto pattern : {std::vector<uint8_t>{0x26}, {0xF3}, {0xF3, 0x26}, {0x64, 0x2E, 0xF2}}) {
    Reset();
    FillSegment(pattern);
    EXPECT_GE(Run(32), 32) << int(pattern[0]);
  }
  // A short chain is still one step: the last prefix wins.
  Reset();
  Set(BX, 0x10);
  Poke16(kExtra + 0x10, 0xBEEF);
  Code({0x2E, 0x36, 0x3E, 0x26, 0x8B, 0x07});  // CS: SS: DS: ES: mov ax, [bx]
  EXPECT_EQ(Step(), 5);
  EXPECT_EQ(R(AX), 0xBEEF);
}

// OUT to port 0xC0 from CS >= 0x4000 runs the next instruction inside itself;
// a segment full of such OUTs must not nest until the stack runs out.
TEST_F(RunawayTest, BankSwitchChainEnds) {
  Set(CS, 0x4000);
  for (uint32_t i = 0; i < 0x10000; i += 2) Poke(0x40000 + i, {0xE6, 0xC0});
  EXPECT_GE(Run(32), 32);
}

}  // namespace
}  // namespace kestra
