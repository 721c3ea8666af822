// Run loop, budget, fetch and operand wraps, prefixes, flags word, register
// access and idle-loop skipping.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

using DispatchTest = CpuTest;

TEST_F(DispatchTest, NoInstructionRunsWithoutBudget) {
  Code({0x40});  // INC AX
  EXPECT_EQ(Run(0), 0);
  EXPECT_EQ(Run(-7), 0);
  EXPECT_EQ(R(IP), 0);
  EXPECT_EQ(R(AX), 0);
}

TEST_F(DispatchTest, RunReturnsBudgetPlusOverrun) {
  for (int i = 0; i < 31; ++i) Byte(kCode + i) = 0x40;  // INC AX, 1 cycle
  Byte(kCode + 31) = 0xCF;                             // IRET, 13 cycles
  EXPECT_EQ(Run(32), 44);
  EXPECT_EQ(R(AX), 31);
  EXPECT_EQ(m->cpu.CycleBudget, -12);
}

TEST_F(DispatchTest, ResetStartsAtTheTopOfMemoryWithFlagsClear) {
  Set(AX, 0x1234);
  SetFlags(0x0FD5);
  CpuReset(*m);
  EXPECT_EQ(GetCpuRegister(*m, 10), 0);
  EXPECT_EQ(GetCpuRegister(*m, 12), 0xFFFF);
  for (int index : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 13, 14}) {
    EXPECT_EQ(GetCpuRegister(*m, index), 0) << index;
  }
  m->map.BankReadTable[15] = bank2.data();
  bank2[0xFFF0] = 0xB0;  // MOV AL, 0x42
  bank2[0xFFF1] = 0x42;
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(AL(), 0x42);
  EXPECT_EQ(R(IP), 2);
}

TEST_F(DispatchTest, RegisterIndexes) {
  const Reg order[] = {IP, AX, CX, DX, BX, SP, BP, SI, DI};
  for (int i = 0; i < 9; ++i) {
    SetCpuRegister(*m, i + 1, uint16_t(0x1100 + i));
    EXPECT_EQ(R(order[i]), 0x1100 + i);
    EXPECT_EQ(GetCpuRegister(*m, i + 1), 0x1100 + i);
  }
  const Reg segments[] = {ES, CS, SS, DS};
  for (int i = 0; i < 4; ++i) {
    SetCpuRegister(*m, i + 11, uint16_t(0x2200 + i));
    EXPECT_EQ(R(segments[i]), 0x2200 + i);
  }
  const auto before = m->cpu.regs;
  for (int index : {-1, 0, 15, 99}) {
    SetCpuRegister(*m, index, 0xBEEF);
    EXPECT_EQ(GetCpuRegister(*m, index), 0);
  }
  EXPECT_EQ(std::memcmp(&before, &m->cpu.regs, sizeof before), 0);
}

TEST_F(DispatchTest, FlagsWordKeepsUndefinedBitsClear) {
  SetFlags(0xFFFF);
  EXPECT_EQ(Flags(), 0x0FD5);
  EXPECT_EQ(Exec({0x9C}), 2);  // PUSHF
  EXPECT_EQ(Peek16(0x1FFE), 0x0FD5);
}

TEST_F(DispatchTest, ZeroAndSignCanBeSetTogether) {
  SetFlags(0x00C0);
  EXPECT_EQ(Flags(), 0x00C0);
  Exec({0x9C});
  EXPECT_EQ(Peek16(0x1FFE), 0x00C0);
  EXPECT_EQ(Exec({0x74, 0x10}), 3);  // JZ taken
  Set(IP, 0);
  EXPECT_EQ(Exec({0x78, 0x10}), 3);  // JS taken
}

TEST_F(DispatchTest, EachFlagLoadsFromItsOwnBit) {
  const uint16_t bits[] = {kCF, kPF, kAF, kZF, kSF, kTF, kIF, kDF, kOF};
  for (uint16_t bit : bits) {
    SetFlags(bit);
    EXPECT_EQ(Flags(), bit);
  }
}

TEST_F(DispatchTest, FetchWrapsInsideTheSegmentAndAtOneMegabyte) {
  // IP 0xFFFF: the immediate comes from IP 0 of the same segment.
  Set(IP, 0xFFFF);
  Byte(Linear(CS, 0xFFFF)) = 0xB0;  // MOV AL, imm8
  Byte(Linear(CS, 0)) = 0x55;
  Step();
  EXPECT_EQ(AL(), 0x55);
  EXPECT_EQ(R(IP), 1);
  // CS:IP = FFFF:0010 is linear 0x100000, which the map reads as 0x00000.
  Set(CS, 0xFFFF);
  Set(IP, 0x0010);
  Poke(0x00000, {0xB4, 0x66});  // MOV AH, 0x66
  Step();
  EXPECT_EQ(AH(), 0x66);
}

TEST_F(DispatchTest, WordOperandCarriesIntoTheNextLinearByte) {
  // DS = 0x0200, offset 0xFFFF: bytes at 0x11FFF and 0x12000, not 0x2000.
  Set(DS, 0x0200);
  Set(BX, 0xFFFF);
  Set(AX, 0xBEEF);
  Exec({0x89, 0x07});  // MOV [BX], AX
  EXPECT_EQ(bank1[0x1FFF], 0xEF);
  EXPECT_EQ(bank1[0x2000], 0xBE);
  EXPECT_EQ(m->mem.Iram[0x2000], 0);
  // DS = 0x1000: bytes at 0x1FFFF and 0x20000 (bank 2).
  m->map.BankReadTable[2] = bank2.data();
  Set(DS, 0x1000);
  bank1[0xFFFF] = 0x34;
  bank2[0x0000] = 0x12;
  Exec({0x8B, 0x07});  // MOV AX, [BX]
  EXPECT_EQ(R(AX), 0x1234);
  // Segment 0xFFFF, offset 0xFFFF is linear 0x10FFEF: bank 0, 0xFFEF.
  Set(DS, 0xFFFF);
  m->mem.Iram[0xFFEF] = 0x5A;
  Exec({0x8A, 0x07});  // MOV AL, [BX]
  EXPECT_EQ(AL(), 0x5A);
}

TEST_F(DispatchTest, LastSegmentPrefixWinsAndTheChainIsIndivisible) {
  Set(BX, 0x0200);
  Poke16(Linear(CS, 0x0200), 0xCAFE);
  Poke16(Linear(ES, 0x0200), 0x1111);
  Poke16(Linear(DS, 0x0200), 0x2222);
  Code({0x26, 0x2E, 0x8B, 0x07});  // ES: CS: MOV AX, [BX]
  EXPECT_EQ(Run(1), 3);
  EXPECT_EQ(R(AX), 0xCAFE);
  EXPECT_EQ(R(IP), 4);
  EXPECT_FALSE(m->cpu.segOverride.active);
}

TEST_F(DispatchTest, BpFormsDefaultToStackSegmentUnlessOverridden) {
  Set(SS, 0x0500);
  Set(BP, 0x0100);
  Set(AX, 0x4321);
  EXPECT_EQ(Exec({0x89, 0x46, 0x02}), 1);  // MOV [BP+2], AX
  EXPECT_EQ(Peek16(0x5102), 0x4321);
  EXPECT_EQ(Peek16(kData + 0x102), 0);
  Set(AX, 0x9876);
  Exec({0x3E, 0x89, 0x46, 0x02});  // DS: MOV [BP+2], AX
  EXPECT_EQ(Peek16(kData + 0x102), 0x9876);
  // An override also replaces DS in the other forms, and the next
  // instruction is back to its default.
  Set(SI, 0x10);
  Poke(Linear(ES, 0x10), {0x77});
  Poke(Linear(DS, 0x10), {0x33});
  Exec({0x26, 0x8A, 0x04});  // ES: MOV AL, [SI]
  EXPECT_EQ(AL(), 0x77);
  Exec({0x8A, 0x04});
  EXPECT_EQ(AL(), 0x33);
}

TEST_F(DispatchTest, EffectiveAddressForms) {
  Set(BX, 0x0100);
  Set(BP, 0x0200);
  Set(SI, 0x0010);
  Set(DI, 0x0020);
  Set(SS, 0x0500);
  constexpr uint32_t kStack = 0x5000;
  struct Form {
    uint8_t modrm;
    std::vector<uint8_t> displacement;
    uint16_t offset;
    uint32_t base;
  };
  const Form forms[] = {
      {0x00, {}, 0x110, kData},           {0x01, {}, 0x120, kData},
      {0x02, {}, 0x210, kStack},          {0x03, {}, 0x220, kStack},
      {0x04, {}, 0x010, kData},           {0x05, {}, 0x020, kData},
      {0x06, {0x34, 0x12}, 0x1234, kData}, {0x07, {}, 0x100, kData},
      {0x40, {0xFF}, 0x10F, kData},       {0x42, {0x80}, 0x190, kStack},
      {0x46, {0x04}, 0x204, kStack},      {0x47, {0x7F}, 0x17F, kData},
      {0x80, {0x00, 0x10}, 0x1110, kData}, {0x83, {0xF0, 0xFF}, 0x210, kStack},
      {0x86, {0x00, 0x01}, 0x300, kStack}, {0x87, {0x00, 0xFF}, 0x0000, kData},  // wraps
  };
  for (const Form& f : forms) {
    Set(IP, 0);
    Code({0x8D, f.modrm});  // LEA AX, form
    for (size_t i = 0; i < f.displacement.size(); ++i) Byte(kCode + 2 + i) = f.displacement[i];
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(R(AX), f.offset) << std::hex << int(f.modrm);
    EXPECT_EQ(m->cpu.EaLinear, f.base + f.offset) << std::hex << int(f.modrm);
    EXPECT_EQ(R(IP), 2 + f.displacement.size());
  }
  // LEA ignores an override; the linear address does not.
  Set(IP, 0);
  Code({0x26, 0x8D, 0x07});
  Step();
  EXPECT_EQ(R(AX), 0x100);
  EXPECT_EQ(m->cpu.EaLinear, kExtra + 0x100);
}

TEST_F(DispatchTest, LockIsItsOwnStepAndInhibitsIdleSkipping) {
  Code({0xF0, 0x40});
  EXPECT_EQ(Run(1), 1);
  EXPECT_EQ(R(IP), 1);
  EXPECT_EQ(R(AX), 0);
  EXPECT_TRUE(m->cpu.IdleSkipInhibit);
}

TEST_F(DispatchTest, NopBeforeJumpBackSkipsToTheRemainderModulo15) {
  Code({0x90, 0xEB, 0xFD});
  m->cpu.CycleBudget = 1000;
  CpuStep(*m);
  EXPECT_EQ(m->cpu.CycleBudget, 999 % 15);
  Set(IP, 0);
  EXPECT_EQ(Run(1000), 1000);  // the loop ends within a few iterations
  // Inhibited: the loop costs 5 per iteration.
  m->cpu.IdleSkipInhibit = 1;
  Set(IP, 0);
  m->cpu.CycleBudget = 1000;
  CpuStep(*m);
  EXPECT_EQ(m->cpu.CycleBudget, 999);
  Set(IP, 0);
  EXPECT_EQ(Run(50), 50);
  EXPECT_EQ(R(IP), 0);  // 10 whole iterations
}

TEST_F(DispatchTest, NopSkipsOnlyBeforeTheExactLoop) {
  Code({0x90, 0xEB, 0xFC});
  m->cpu.CycleBudget = 1000;
  CpuStep(*m);
  EXPECT_EQ(m->cpu.CycleBudget, 999);
  // With the budget used up by the NOP itself there is nothing to skip.
  Set(IP, 0);
  Code({0x90, 0xEB, 0xFD});
  m->cpu.CycleBudget = 1;
  CpuStep(*m);
  EXPECT_EQ(m->cpu.CycleBudget, 0);
}

TEST_F(DispatchTest, JumpOntoItselfSkipsToTheRemainderModulo12) {
  Code({0xEB, 0xFE});
  m->cpu.CycleBudget = 1001;
  CpuStep(*m);
  EXPECT_EQ(m->cpu.CycleBudget, 997 % 12);
  EXPECT_EQ(R(IP), 0);
  Set(IP, 0);
  EXPECT_EQ(Run(1001), 1004);  // 997 -> 1, one more jump
}

TEST_F(DispatchTest, InhibitorsStayUntilReset) {
  // LOCK, POP SS and MOV sreg each turn skipping off for good.
  const std::vector<std::vector<uint8_t>> inhibitors = {{0xF0}, {0x17}, {0x8E, 0xD8}};
  for (const auto& bytes : inhibitors) {
    Reset();
    for (size_t i = 0; i < bytes.size(); ++i) Byte(kCode + i) = bytes[i];
    Step();
    Set(SS, 0);
    Set(DS, kData >> 4);
    Set(IP, 0x40);
    Code({0xEB, 0xFE});
    for (int i = 0; i < 3; ++i) {
      m->cpu.CycleBudget = 1000;
      CpuStep(*m);
      EXPECT_EQ(m->cpu.CycleBudget, 996) << int(bytes[0]);
    }
  }
  Reset();
  Set(IP, 0x40);
  m->cpu.CycleBudget = 1000;
  CpuStep(*m);
  EXPECT_EQ(m->cpu.CycleBudget, 0);
}

TEST_F(DispatchTest, JumpOntoItselfEndsTheRunAsIfItHadLooped) {
  // Inhibited, the loop costs 4 per pass until the budget is spent; the run
  // ends at the same place and over-run as pass by pass.
  m->cpu.IdleSkipInhibit = 1;
  Set(IP, 0x40);
  Code({0xEB, 0xFE});
  for (int budget : {1, 4, 5, 32, 1001}) {
    EXPECT_EQ(Run(budget), (budget + 3) / 4 * 4) << budget;
    EXPECT_EQ(R(IP), 0x40);
  }
  // Behind a prefix the first pass costs 1 more; later passes are plain.
  Set(IP, 0x50);
  Code({0x2E, 0xEB, 0xFE});
  EXPECT_EQ(Run(10), 13);
  EXPECT_EQ(R(IP), 0x51);
}

TEST_F(DispatchTest, JumpOntoItselfAfterABankSwitchRunsOnce) {
  // The OUT remaps the code after the extra instruction: the run loop must
  // fetch afresh instead of assuming the jump repeats.
  m->map.BankReadTable[4] = bank2.data();
  bank2[0] = 0xE6;  // OUT 0xC0, AL
  bank2[1] = 0xC0;
  bank2[2] = 0xEB;  // JMP $
  bank2[3] = 0xFE;
  m->cpu.IdleSkipInhibit = 1;
  Set(CS, 0x4000);
  EXPECT_EQ(Step(), 6 + 4);
  EXPECT_EQ(R(IP), 2);
}

TEST_F(DispatchTest, EnterTrapPushesFlagsAndReturnAddress) {
  Vector(0x21, 0x1234, 0x5678);
  SetFlags(kIF | kTF | kCF | kZF);
  Set(IP, 0x0010);
  EXPECT_EQ(Exec({0xCD, 0x21}), 12);
  EXPECT_EQ(R(CS), 0x1234);
  EXPECT_EQ(R(IP), 0x5678);
  EXPECT_EQ(R(SP), 0x2000 - 6);
  EXPECT_EQ(Peek16(0x1FFE), kIF | kTF | kCF | kZF);  // flags
  EXPECT_EQ(Peek16(0x1FFC), kCodeSegment);          // CS
  EXPECT_EQ(Peek16(0x1FFA), 0x0012);                // IP after INT 21h
  EXPECT_EQ(Flags(), kCF | kZF);
}

TEST_F(DispatchTest, PushFlagsChargesTheRunningBudget) {
  m->cpu.CycleBudget = 10;
  PushFlags(*m);
  EXPECT_EQ(m->cpu.CycleBudget, 8);
  m->cpu.CycleBudget = 10;
  EnterTrap(*m, 3);
  EXPECT_EQ(m->cpu.CycleBudget, 8);
  EXPECT_EQ(R(SP), 0x2000 - 8);
}

TEST_F(DispatchTest, StepFromInsideAPrefixedInstructionSeesNoOverride) {
  // CpuStep is called from within an OUT; a prefix on that OUT must not
  // leak into the extra instruction.
  m->cpu.segOverride = {1, 0x5000};
  Set(BX, 0x10);
  Poke(kData + 0x10, {0x99});
  Code({0x8A, 0x07});  // MOV AL, [BX]
  m->cpu.CycleBudget = 5;
  CpuStep(*m);
  EXPECT_EQ(AL(), 0x99);
  EXPECT_EQ(m->cpu.segOverride.active, 1);
  EXPECT_EQ(m->cpu.segOverride.base, 0x5000u);
}

}  // namespace
}  // namespace kestra::test
