// The eight ALU operations, their six forms and the immediate groups, TEST,
// INC and DEC.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

using AluTest = CpuTest;

struct FlagCase {
  uint8_t op;  // ALU row 0-7
  bool word;
  uint16_t a, b, flagsIn, result, flags;
};

// Results and flags at the values where the rules are easy to get wrong.
const FlagCase kFlagCases[] = {
    {0, false, 0x80, 0x80, 0, 0x00, kCF | kZF | kPF | kOF},
    {0, false, 0x0F, 0x01, 0, 0x10, kAF},
    {0, false, 0x7F, 0x01, 0, 0x80, kSF | kOF | kAF},
    {0, false, 0xFF, 0x01, 0, 0x00, kCF | kZF | kAF | kPF},
    {2, false, 0x00, 0x0F, kCF, 0x10, 0},  // folded carry: no nibble carry
    {2, false, 0x01, 0xFF, kCF, 0x01, kCF},
    {2, false, 0x7F, 0x00, kCF, 0x80, kSF | kOF | kAF},
    {2, false, 0x10, 0x20, 0, 0x30, kPF},
    {5, false, 0x00, 0x01, 0, 0xFF, kCF | kAF | kSF | kPF},
    {5, false, 0x80, 0x01, 0, 0x7F, kOF | kAF},
    {5, false, 0x10, 0x01, 0, 0x0F, kAF | kPF},
    {3, false, 0x00, 0xFF, kCF, 0x00, kCF | kZF | kPF},  // folded: AF stays 0
    {3, false, 0x05, 0x02, kCF, 0x02, 0},
    {3, false, 0x05, 0x02, 0, 0x03, kPF},
    {7, false, 0x05, 0x07, 0, 0x05, kCF | kAF | kSF},
    {4, false, 0xF0, 0x0F, kCF | kOF | kAF, 0x00, kZF | kPF},
    {1, false, 0x80, 0x01, kCF | kOF | kAF, 0x81, kSF | kPF},
    {6, false, 0xFF, 0xFF, kCF | kOF | kAF, 0x00, kZF | kPF},
    {0, true, 0x8000, 0x8000, 0, 0x0000, kCF | kZF | kPF | kOF},
    {0, true, 0x7FFF, 0x0001, 0, 0x8000, kSF | kOF | kAF | kPF},
    {2, true, 0xFFFF, 0xFFFF, kCF, 0xFFFF, kCF | kSF | kPF},
    {3, true, 0x0000, 0x0000, kCF, 0xFFFF, kCF | kSF | kPF | kAF},
    {5, true, 0x0100, 0x0001, 0, 0x00FF, kAF | kPF},
    {7, true, 0x8000, 0x0001, 0, 0x8000, kOF | kAF | kPF},
    {6, true, 0x1234, 0x1234, 0, 0x0000, kZF | kPF},
};

TEST_F(AluTest, FlagRulesInRegisterForm) {
  for (const FlagCase& c : kFlagCases) {
    Set(IP, 0);
    Set(AX, c.a);
    Set(CX, c.b);
    SetFlags(c.flagsIn);
    // r/m, reg with ModRM 0xC8: AL/AX op= CL/CX.
    EXPECT_EQ(Exec({uint8_t(c.op * 8 + c.word), 0xC8}), 1);
    const uint16_t got = c.word ? R(AX) : AL();
    EXPECT_EQ(got, c.result) << "op " << int(c.op) << " a " << c.a << " b " << c.b;
    EXPECT_EQ(Flags() & kArith, c.flags) << "op " << int(c.op) << " a " << c.a << " b " << c.b;
  }
}

TEST_F(AluTest, SixFormsPutTheResultInTheRightPlaceAtTheRightCost) {
  // SUB: row 5.
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x0130);
  Set(AX, 0x0005);
  Set(CX, 0x0002);
  EXPECT_EQ(Exec({0x28, 0x0F}), 3);  // SUB [BX], CL
  EXPECT_EQ(Byte(kData + 0x10), 0x2E);
  EXPECT_EQ(Exec({0x29, 0x0F}), 3);  // SUB [BX], CX
  EXPECT_EQ(Peek16(kData + 0x10), 0x012C);
  EXPECT_EQ(Exec({0x2A, 0x0F}), 2);  // SUB CL, [BX]
  EXPECT_EQ(R(CX), 0x00D6);
  EXPECT_EQ(Exec({0x2B, 0x07}), 2);  // SUB AX, [BX]
  EXPECT_EQ(R(AX), uint16_t(0x0005 - 0x012C));
  EXPECT_EQ(Exec({0x2C, 0x01}), 1);  // SUB AL, 1
  EXPECT_EQ(R(AX), uint16_t(0x0005 - 0x012C - 1));
  EXPECT_EQ(Exec({0x2D, 0x00, 0x01}), 1);  // SUB AX, 0x100
  EXPECT_EQ(R(AX), uint16_t(0x0005 - 0x012C - 1 - 0x100));
  EXPECT_EQ(Exec({0x2A, 0xE1}), 1);  // SUB AH, CL (register form)
  EXPECT_EQ(Peek16(kData + 0x10), 0x012C);
}

TEST_F(AluTest, CompareWritesNothingAndCostsLessWithMemory) {
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x0005);
  Set(AX, 0x0007);
  EXPECT_EQ(Exec({0x38, 0x07}), 2);  // CMP [BX], AL
  EXPECT_EQ(Flags() & kCF, kCF);
  EXPECT_EQ(Exec({0x39, 0x07}), 2);
  EXPECT_EQ(Exec({0x3A, 0x07}), 2);
  EXPECT_EQ(Flags() & (kCF | kZF), 0);
  EXPECT_EQ(Exec({0x3B, 0x07}), 2);
  EXPECT_EQ(Exec({0x3C, 0x07}), 1);
  EXPECT_TRUE(Has(kZF));
  EXPECT_EQ(Exec({0x3D, 0x07, 0x00}), 1);
  EXPECT_TRUE(Has(kZF));
  EXPECT_EQ(Peek16(kData + 0x10), 0x0005);
  EXPECT_EQ(R(AX), 0x0007);
  // The CMP member of the immediate groups costs 3 with memory.
  EXPECT_EQ(Exec({0x80, 0x3F, 0x05}), 3);
  EXPECT_TRUE(Has(kZF));
  EXPECT_EQ(Peek16(kData + 0x10), 0x0005);
}

TEST_F(AluTest, ImmediateGroupsFollowTheRowOrder) {
  for (int op = 0; op < 8; ++op) {
    // Reference: the accumulator form of the row.
    Reset();
    Set(AX, 0x9C);
    SetFlags(kCF);
    Exec({uint8_t(op * 8 + 4), 0x71});
    const uint16_t expectedAx = R(AX), expectedFlags = Flags();
    for (uint8_t group : {0x80, 0x82}) {
      Reset();
      Set(AX, 0x9C);
      SetFlags(kCF);
      EXPECT_EQ(Exec({group, uint8_t(0xC0 | op << 3), 0x71}), 1);
      EXPECT_EQ(R(AX), expectedAx) << int(group) << " op " << op;
      EXPECT_EQ(Flags(), expectedFlags) << int(group) << " op " << op;
    }
  }
}

TEST_F(AluTest, GroupImmediatesFollowTheDisplacement) {
  Set(BX, 0x10);
  Poke16(kData + 0x12, 0x1000);
  EXPECT_EQ(Exec({0x81, 0x47, 0x02, 0x34, 0x12}), 3);  // ADD [BX+2], 0x1234
  EXPECT_EQ(Peek16(kData + 0x12), 0x2234);
  EXPECT_EQ(R(IP), 5);
  // 0x83 sign-extends its byte.
  Set(IP, 0);
  EXPECT_EQ(Exec({0x83, 0x47, 0x02, 0xFF}), 3);  // ADD [BX+2], -1
  EXPECT_EQ(Peek16(kData + 0x12), 0x2233);
  EXPECT_TRUE(Has(kCF));
  Set(IP, 0);
  Set(DX, 0x0100);
  Exec({0x83, 0xE2, 0x80});  // AND DX, 0xFF80
  EXPECT_EQ(R(DX), 0x0100);
  Set(IP, 0);
  Exec({0x83, 0xCA, 0x7F});  // OR DX, 0x007F
  EXPECT_EQ(R(DX), 0x017F);
}

TEST_F(AluTest, ByteRegistersFollowModRmOrder) {
  Set(AX, 0x2211);
  Set(CX, 0x4433);
  Set(DX, 0x6655);
  Set(BX, 0x8877);
  // ADD rm, reg with rm = 0..7 and reg = AL: each byte register gets AL added.
  const uint16_t before[4] = {0x2211, 0x4433, 0x6655, 0x8877};
  for (int rm = 1; rm < 8; ++rm) {
    Set(IP, 0);
    Exec({0x00, uint8_t(0xC0 | rm)});
  }
  EXPECT_EQ(R(CX), uint16_t(before[1] + 0x1111));
  EXPECT_EQ(R(DX), uint16_t(before[2] + 0x1111));
  EXPECT_EQ(R(BX), uint16_t(before[3] + 0x1111));
  EXPECT_EQ(R(AX), uint16_t(before[0] + 0x1100));  // AH
}

TEST_F(AluTest, TestSetsFlagsWithoutStoring) {
  Set(BX, 0x10);
  Poke(kData + 0x10, {0x80, 0x00});
  Set(AX, 0x0180);
  SetFlags(kCF | kOF | kAF);
  EXPECT_EQ(Exec({0x84, 0x07}), 2);  // TEST [BX], AL
  EXPECT_EQ(Flags() & kArith, kSF);
  EXPECT_EQ(Exec({0x85, 0xC0}), 1);  // TEST AX, AX: word sign clear
  EXPECT_EQ(Flags() & kArith, 0);
  EXPECT_EQ(Exec({0xA8, 0x01}), 1);  // TEST AL, 1
  EXPECT_EQ(Flags() & kArith, kZF | kPF);
  EXPECT_EQ(Exec({0xA9, 0x00, 0x01}), 1);  // TEST AX, 0x100
  EXPECT_EQ(Flags() & kArith, kPF);
  EXPECT_EQ(Exec({0xF6, 0x07, 0x7F}), 2);  // TEST byte [BX], 0x7F
  EXPECT_TRUE(Has(kZF));
  EXPECT_EQ(Exec({0xF7, 0xC0, 0x00, 0x80}), 1);  // TEST AX, 0x8000
  EXPECT_TRUE(Has(kZF));
  EXPECT_EQ(R(AX), 0x0180);
  EXPECT_EQ(Byte(kData + 0x10), 0x80);
}

TEST_F(AluTest, IncAndDecLeaveCarry) {
  Set(AX, 0x007F);
  SetFlags(kCF);
  EXPECT_EQ(Exec({0xFE, 0xC0}), 1);  // INC AL
  EXPECT_EQ(AL(), 0x80);
  EXPECT_EQ(Flags() & kArith, kCF | kOF | kAF | kSF);
  EXPECT_EQ(Exec({0xFE, 0xC8}), 1);  // DEC AL
  EXPECT_EQ(AL(), 0x7F);
  EXPECT_EQ(Flags() & kArith, kCF | kOF | kAF);
  SetFlags(0);
  Set(DX, 0xFFFF);
  EXPECT_EQ(Exec({0x42}), 1);  // INC DX
  EXPECT_EQ(R(DX), 0);
  EXPECT_EQ(Flags() & kArith, kZF | kPF | kAF);
  EXPECT_EQ(Exec({0x4A}), 1);  // DEC DX
  EXPECT_EQ(R(DX), 0xFFFF);
  EXPECT_EQ(Flags() & kArith, kSF | kPF | kAF);
  Set(SI, 0x8000);
  Exec({0x4E});  // DEC SI
  EXPECT_EQ(R(SI), 0x7FFF);
  EXPECT_TRUE(Has(kOF));
  Exec({0x46});  // INC SI
  EXPECT_TRUE(Has(kOF));
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x00FF);
  EXPECT_EQ(Exec({0xFE, 0x07}), 3);  // INC byte [BX]
  EXPECT_EQ(Peek16(kData + 0x10), 0x0000);
  EXPECT_EQ(Exec({0xFF, 0x0F}), 3);  // DEC word [BX]
  EXPECT_EQ(Peek16(kData + 0x10), 0xFFFF);
  EXPECT_FALSE(Has(kCF));
}

TEST_F(AluTest, IncAndDecReachEveryWordRegister) {
  for (int r = 0; r < 8; ++r) {
    Reset();
    Set(Reg(r), 0x1000);
    Exec({uint8_t(0x40 + r)});
    EXPECT_EQ(R(Reg(r)), 0x1001) << r;
    Exec({uint8_t(0x48 + r)});
    Exec({uint8_t(0x48 + r)});
    EXPECT_EQ(R(Reg(r)), 0x0FFF) << r;
  }
}

}  // namespace
}  // namespace kestra::test
