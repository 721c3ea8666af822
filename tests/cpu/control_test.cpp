// Jumps, calls, returns, loops, software interrupts, BOUND and HLT.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

using ControlTest = CpuTest;

// Each condition against flag words where it holds and where it does not.
TEST_F(ControlTest, ConditionalJumps) {
  const struct {
    uint8_t op;
    uint16_t holds, fails;
  } cases[] = {
      {0x70, kOF, 0},       {0x71, 0, kOF},       {0x72, kCF, 0},       {0x73, 0, kCF},
      {0x74, kZF, 0},       {0x75, 0, kZF},       {0x76, kZF, 0},       {0x76, kCF, 0},
      {0x77, 0, kCF},       {0x77, 0, kZF},       {0x78, kSF, 0},       {0x79, 0, kSF},
      {0x7A, kPF, 0},       {0x7B, 0, kPF},       {0x7C, kSF, kSF | kOF},
      {0x7C, kOF, kSF | kZF}, {0x7D, kSF | kOF, kSF}, {0x7D, kSF | kZF, kOF},
      {0x7E, kSF, kSF | kOF}, {0x7E, kZF, 0},     {0x7E, kSF | kOF | kZF, kSF | kOF},
      {0x7F, kSF | kOF, kSF}, {0x7F, 0, kZF},
  };
  for (const auto& c : cases) {
    Set(IP, 0x100);
    SetFlags(c.holds);
    EXPECT_EQ(Exec({c.op, 0x10}), 3) << std::hex << int(c.op) << " flags " << c.holds;
    EXPECT_EQ(R(IP), 0x112);
    Set(IP, 0x100);
    SetFlags(c.fails);
    EXPECT_EQ(Exec({c.op, 0x10}), 1) << std::hex << int(c.op) << " flags " << c.fails;
    EXPECT_EQ(R(IP), 0x102);
  }
}

TEST_F(ControlTest, LessAndGreaterOrEqualLookAtZero) {
  Set(AX, 0x0080);
  Exec({0x04, 0x80});  // ADD AL, 0x80: zero with overflow
  EXPECT_EQ(Flags() & (kCF | kOF | kZF | kSF), kCF | kOF | kZF);
  const uint16_t flags = Flags();
  Set(IP, 0x20);
  EXPECT_EQ(Exec({0x7C, 0x10}), 1);  // JL not taken
  SetFlags(flags);
  Set(IP, 0x20);
  EXPECT_EQ(Exec({0x7D, 0x10}), 3);  // JGE taken
}

TEST_F(ControlTest, RelativeTargetsWrapAtSixteenBits) {
  Set(IP, 0xFFF0);
  Code({0xEB, 0x20});
  Step();
  EXPECT_EQ(R(IP), 0x0012);
  Set(IP, 0x0010);
  EXPECT_EQ(Exec({0xE9, 0x00, 0xFF}), 4);  // JMP -0x100
  EXPECT_EQ(R(IP), 0xFF13);
  Set(IP, 0x0040);
  EXPECT_EQ(Exec({0xEB, 0xF0}), 4);
  EXPECT_EQ(R(IP), 0x0032);
}

TEST_F(ControlTest, LoopsAndJcxz) {
  Set(CX, 2);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE2, 0xFE}), 5);  // LOOP $: taken
  EXPECT_EQ(R(IP), 0x10);
  EXPECT_EQ(Exec({0xE2, 0xFE}), 2);  // CX becomes 0: falls through
  EXPECT_EQ(R(IP), 0x12);
  EXPECT_EQ(R(CX), 0);

  Set(CX, 5);
  SetFlags(kZF);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE1, 0x20}), 6);  // LOOPZ taken
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE0, 0x20}), 3);  // LOOPNZ not taken with ZF
  SetFlags(0);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE1, 0x20}), 3);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE0, 0x20}), 6);
  EXPECT_EQ(R(CX), 1);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE0, 0x20}), 3);  // CX reaches 0
  EXPECT_EQ(R(CX), 0);

  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE3, 0x20}), 4);
  EXPECT_EQ(R(IP), 0x32);
  Set(CX, 1);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE3, 0x20}), 1);
  EXPECT_EQ(R(CX), 1);
}

TEST_F(ControlTest, NearCallsAndReturns) {
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xE8, 0x00, 0x01}), 5);  // CALL +0x100
  EXPECT_EQ(R(IP), 0x113);
  EXPECT_EQ(Peek16(0x1FFE), 0x13);
  EXPECT_EQ(Exec({0xC3}), 6);
  EXPECT_EQ(R(IP), 0x13);
  EXPECT_EQ(R(SP), 0x2000);

  Exec({0xE8, 0x00, 0x00});
  EXPECT_EQ(Exec({0xC2, 0x04, 0x00}), 6);  // RET 4
  EXPECT_EQ(R(IP), 0x16);
  EXPECT_EQ(R(SP), 0x2004);

  Set(SP, 0x2000);
  Set(BX, 0x0200);
  EXPECT_EQ(Exec({0xFF, 0xD3}), 5);  // CALL BX
  EXPECT_EQ(R(IP), 0x200);
  EXPECT_EQ(Peek16(0x1FFE), 0x18);
  Poke16(kData + 0x40, 0x0300);
  Set(SI, 0x40);
  EXPECT_EQ(Exec({0xFF, 0x14}), 6);  // CALL [SI]
  EXPECT_EQ(R(IP), 0x300);
  EXPECT_EQ(Peek16(0x1FFC), 0x202);
  EXPECT_EQ(Exec({0xFF, 0xE3}), 4);  // JMP BX
  EXPECT_EQ(R(IP), 0x200);
  EXPECT_EQ(Exec({0xFF, 0x24}), 5);  // JMP [SI]
  EXPECT_EQ(R(IP), 0x300);
}

TEST_F(ControlTest, FarCallsJumpsAndReturns) {
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0x9A, 0x34, 0x12, 0x00, 0x02}), 10);  // CALL 0200:1234
  EXPECT_EQ(R(CS), 0x0200);
  EXPECT_EQ(R(IP), 0x1234);
  EXPECT_EQ(Peek16(0x1FFE), kCodeSegment);
  EXPECT_EQ(Peek16(0x1FFC), 0x15);
  EXPECT_EQ(Exec({0xCB}), 8);  // RETF
  EXPECT_EQ(R(CS), kCodeSegment);
  EXPECT_EQ(R(IP), 0x15);

  Exec({0x9A, 0x00, 0x00, 0x00, 0x02});
  EXPECT_EQ(Exec({0xCA, 0x06, 0x00}), 9);  // RETF 6
  EXPECT_EQ(R(IP), 0x1A);
  EXPECT_EQ(R(SP), 0x2006);

  EXPECT_EQ(Exec({0xEA, 0x78, 0x56, 0x00, 0x03}), 7);  // JMP 0300:5678
  EXPECT_EQ(R(CS), 0x0300);
  EXPECT_EQ(R(IP), 0x5678);
}

TEST_F(ControlTest, IndirectFarTransfersReadTheSecondWordInsideTheBank) {
  // Operand at DS:0xFFFE with DS = 0x1000: the segment word is at 0x10000.
  m->map.BankReadTable[2] = bank2.data();
  Set(DS, 0x1000);
  Set(BX, 0xFFFE);
  Poke16(0x1FFFE, 0x0444);
  Poke16(0x10000, 0x0555);
  Poke16(0x20000, 0x0666);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xFF, 0x1F}), 12);  // CALL FAR [BX]
  EXPECT_EQ(R(CS), 0x0555);
  EXPECT_EQ(R(IP), 0x0444);
  EXPECT_EQ(Peek16(0x1FFE), kCodeSegment);
  EXPECT_EQ(Peek16(0x1FFC), 0x12);
  Set(CS, kCodeSegment);
  Set(IP, 0x20);
  EXPECT_EQ(Exec({0xFF, 0x2F}), 10);  // JMP FAR [BX]
  EXPECT_EQ(R(CS), 0x0555);
  EXPECT_EQ(R(IP), 0x0444);
  // Register operands: the register, then the word beside the last
  // memory operand decoded.
  Set(CS, kCodeSegment);
  Set(IP, 0x30);
  Set(AX, 0x0777);
  EXPECT_EQ(Exec({0xFF, 0xE8}), 1);  // JMP FAR AX
  EXPECT_EQ(R(IP), 0x0777);
  EXPECT_EQ(R(CS), 0x0555);
  Set(CS, kCodeSegment);
  Set(IP, 0x40);
  EXPECT_EQ(Exec({0xFF, 0xD8}), 1);  // CALL FAR AX
  EXPECT_EQ(R(IP), 0x0777);
  EXPECT_EQ(R(CS), 0x0555);
}

TEST_F(ControlTest, SoftwareInterruptsAndIret) {
  Vector(3, 0x0700, 0x0010);
  Vector(4, 0x0700, 0x0020);
  Vector(0x80, 0x0700, 0x0030);
  SetFlags(kIF | kCF);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xCC}), 11);
  EXPECT_EQ(R(CS), 0x0700);
  EXPECT_EQ(R(IP), 0x0010);
  EXPECT_EQ(Peek16(0x1FFA), 0x11);
  EXPECT_FALSE(Has(kIF));
  EXPECT_EQ(Exec({0xCF}), 13);  // IRET restores CS, IP and flags
  EXPECT_EQ(R(CS), kCodeSegment);
  EXPECT_EQ(R(IP), 0x11);
  EXPECT_EQ(Flags(), kIF | kCF);
  EXPECT_EQ(R(SP), 0x2000);

  EXPECT_EQ(Exec({0xCD, 0x80}), 12);
  EXPECT_EQ(R(IP), 0x0030);
  EXPECT_EQ(Peek16(0x1FFA), 0x13);
  Exec({0xCF});

  EXPECT_EQ(Exec({0xCE}), 6);  // INTO without overflow
  EXPECT_EQ(R(IP), 0x14);
  SetFlags(kOF);
  EXPECT_EQ(Exec({0xCE}), 15);
  EXPECT_EQ(R(IP), 0x0020);
  EXPECT_EQ(Peek16(0x1FFA), 0x15);
}

TEST_F(ControlTest, BoundComparesUnsignedAndTrapsToVectorFive) {
  Vector(5, 0x0800, 0x0000);
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x0010);
  Poke16(kData + 0x12, 0x0020);
  Set(AX, 0x0010);
  EXPECT_EQ(Exec({0x62, 0x07}), 13);
  Set(AX, 0x0020);
  EXPECT_EQ(Exec({0x62, 0x07}), 13);
  EXPECT_EQ(R(CS), kCodeSegment);
  Set(AX, 0x0021);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0x62, 0x07}), 22);
  EXPECT_EQ(R(CS), 0x0800);
  EXPECT_EQ(Peek16(0x1FFA), 0x12);
  // 5 < 0xFFF0 unsigned: out of bounds even though signed it would fit.
  Set(CS, kCodeSegment);
  Set(SP, 0x2000);
  Poke16(kData + 0x10, 0xFFF0);
  Poke16(kData + 0x12, 0x0010);
  Set(AX, 5);
  EXPECT_EQ(Exec({0x62, 0x07}), 22);
  EXPECT_EQ(R(CS), 0x0800);
}

TEST_F(ControlTest, HaltLetsExactlyOneMoreInstructionRun) {
  Code({0xF4, 0x40, 0x40, 0x40});
  EXPECT_EQ(Run(100), 100);
  EXPECT_EQ(R(AX), 1);
  EXPECT_EQ(R(IP), 2);
  // The next run carries on after it.
  EXPECT_EQ(Run(2), 2);
  EXPECT_EQ(R(AX), 3);
}

TEST_F(ControlTest, UndefinedGroupMembersDoNothing) {
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x1234);
  const auto before = m->cpu.regs;
  for (uint8_t rm : {0xD7, 0xDF, 0xE7, 0xEF, 0xF7, 0xFF}) {
    Set(IP, 0);
    EXPECT_EQ(Exec({0xFE, uint8_t(rm - 0xC0)}), 0);  // FE /2../7 [BX]
  }
  Set(IP, 0);
  EXPECT_EQ(Exec({0xFF, 0x3F}), 0);  // FF /7 [BX]
  Set(IP, 0);
  EXPECT_EQ(Exec({0xF6, 0xC8}), 0);  // F6 /1: no immediate fetched
  EXPECT_EQ(R(IP), 2);
  Set(IP, 0);
  EXPECT_EQ(Exec({0xD8, 0x06}), 3);  // escape: one byte after, whatever the mod
  EXPECT_EQ(R(IP), 2);
  m->cpu.regs.w[IP] = before.w[IP];
  EXPECT_EQ(std::memcmp(&before, &m->cpu.regs, sizeof before), 0);
  EXPECT_EQ(Peek16(kData + 0x10), 0x1234);
}

}  // namespace
}  // namespace kestra::test
