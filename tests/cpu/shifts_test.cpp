// Shift and rotate groups by 1, by CL and by an immediate.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

using ShiftTest = CpuTest;

struct ByOne {
  uint8_t op;   // 0xD0 or 0xD1
  int reg;      // reg field
  uint16_t a, flagsIn, result, flags;
};

// Register operand AL/AX; flags compared over CF, PF, AF, ZF, SF, OF.
const ByOne kByOne[] = {
    {0xD0, 0, 0x81, 0, 0x03, kCF | kOF},              // ROL: top into bit 0; OF = top ^ next
    {0xD0, 0, 0x40, kZF, 0x80, kZF | kOF},            // ROL: SF/ZF untouched, OF = 0 ^ 1
    {0xD0, 1, 0x01, 0, 0x80, kCF | kOF},              // ROR: OF = old top ^ new top
    {0xD0, 1, 0x82, kSF, 0x41, kSF | kOF},
    {0xD0, 2, 0x80, kCF, 0x01, kCF | kOF},            // RCL: CF in, top out
    {0xD0, 2, 0x40, 0, 0x80, kOF},
    {0xD0, 3, 0x01, kCF, 0x80, kCF | kOF},            // RCR: OF = top ^ old CF
    {0xD0, 3, 0x80, 0, 0x40, kOF},
    {0xD0, 4, 0x40, 0, 0x80, kOF | kAF | kSF},        // SHL
    {0xD0, 4, 0x80, 0, 0x00, kCF | kOF | kAF | kZF | kPF},
    {0xD0, 4, 0xC0, 0, 0x80, kCF | kAF | kSF},
    {0xD0, 5, 0x81, 0, 0x40, kCF | kOF | kAF},        // SHR: OF = old top
    {0xD0, 5, 0x02, kOF, 0x01, kAF},
    {0xD0, 7, 0x81, kOF, 0xC0, kCF | kSF | kPF},      // SAR byte: AF kept (clear)
    {0xD0, 7, 0x01, kAF, 0x00, kCF | kAF | kZF | kPF},  // ... and kept set
    {0xD1, 7, 0x8001, 0, 0xC000, kCF | kAF | kSF | kPF},  // SAR word sets AF
    {0xD1, 0, 0x8000, 0, 0x0001, kCF | kOF},
    {0xD1, 4, 0x4000, 0, 0x8000, kOF | kAF | kSF | kPF},
    {0xD1, 5, 0x0001, 0, 0x0000, kCF | kAF | kZF | kPF},
    {0xD1, 3, 0x0000, kCF, 0x8000, kOF},
    {0xD0, 6, 0x55, kCF | kZF, 0x55, kCF | kZF},     // reg 6: nothing
};

TEST_F(ShiftTest, ByOne) {
  for (const ByOne& c : kByOne) {
    Set(IP, 0);
    Set(AX, c.a);
    SetFlags(c.flagsIn);
    EXPECT_EQ(Exec({c.op, uint8_t(0xC0 | c.reg << 3)}), 1);
    const uint16_t got = c.op == 0xD0 ? AL() : R(AX);
    EXPECT_EQ(got, c.result) << std::hex << int(c.op) << " /" << c.reg << " a " << c.a;
    EXPECT_EQ(Flags() & kArith, c.flags) << std::hex << int(c.op) << " /" << c.reg << " a " << c.a;
  }
}

TEST_F(ShiftTest, MemoryOperandsCostMore) {
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x8001);
  EXPECT_EQ(Exec({0xD1, 0x07}), 3);  // ROL word [BX], 1
  EXPECT_EQ(Peek16(kData + 0x10), 0x0003);
  Set(CX, 4);
  EXPECT_EQ(Exec({0xD3, 0x07}), 5 + 4);  // ROL word [BX], CL
  EXPECT_EQ(Peek16(kData + 0x10), 0x0030);
  EXPECT_EQ(Exec({0xD3, 0x27}), 5);  // SHL word [BX], CL
  EXPECT_EQ(Peek16(kData + 0x10), 0x0300);
  EXPECT_EQ(Exec({0xC1, 0x0F, 0x08}), 5);  // ROR word [BX], 8
  EXPECT_EQ(Peek16(kData + 0x10), 0x0003);
  EXPECT_EQ(Exec({0xC0, 0x7F, 0x02, 0x01}), 5);  // SAR byte [BX+2], 1: imm after disp
  EXPECT_EQ(R(IP), 2 + 2 + 2 + 3 + 4);
}

TEST_F(ShiftTest, CountZeroChargesButChangesNothing) {
  Set(AX, 0x1234);
  Set(CX, 0x0020);  // masked to 0
  SetFlags(kCF | kOF | kZF);
  for (int reg = 0; reg < 8; ++reg) {
    Set(IP, 0);
    EXPECT_EQ(Exec({0xD3, uint8_t(0xC0 | reg << 3)}), 3) << reg;
    Set(IP, 0);
    EXPECT_EQ(Exec({0xC1, uint8_t(0xC0 | reg << 3), 0x00}), 3) << reg;
  }
  EXPECT_EQ(R(AX), 0x1234);
  EXPECT_EQ(Flags(), kCF | kOF | kZF);
}

TEST_F(ShiftTest, CountsAreMaskedToFiveBits) {
  Set(AX, 0x0040);
  Set(CX, 0x0021);  // shifts by 1
  EXPECT_EQ(Exec({0xD2, 0xE0}), 3);  // SHL AL, CL
  EXPECT_EQ(AL(), 0x80);
  EXPECT_FALSE(Has(kCF));
  Set(AX, 0x0001);
  Set(CX, 0x0029);  // 9
  Exec({0xD2, 0xC0});  // ROL AL, 9 = ROL 1
  EXPECT_EQ(AL(), 0x02);
}

TEST_F(ShiftTest, RotatesByCountChargePerStepAndOnlyTouchCarry) {
  Set(AX, 0x0081);
  Set(CX, 3);
  SetFlags(kOF | kZF | kSF);
  EXPECT_EQ(Exec({0xD2, 0xC0}), 6);  // ROL AL, CL
  EXPECT_EQ(AL(), 0x0C);
  EXPECT_EQ(Flags() & kArith, kOF | kZF | kSF);  // CF = last bit rotated in = 0
  EXPECT_EQ(Exec({0xC0, 0xC0, 0x03}), 3);  // ROL AL, 3: no per-step cost
  EXPECT_EQ(AL(), 0x60);
  // RCL through a 9-bit ring: 9 steps bring the byte back.
  Set(AX, 0x0081);
  SetFlags(0);
  Set(CX, 9);
  EXPECT_EQ(Exec({0xD2, 0xD0}), 12);
  EXPECT_EQ(AL(), 0x81);
  EXPECT_FALSE(Has(kCF));
  // RCR word by 17 returns too; ROR word by 4.
  Set(AX, 0x1235);
  SetFlags(kCF);
  Set(CX, 17);
  Exec({0xD3, 0xD8});
  EXPECT_EQ(R(AX), 0x1235);
  EXPECT_TRUE(Has(kCF));
  Exec({0xC1, 0xC8, 0x04});
  EXPECT_EQ(R(AX), 0x5123);
  EXPECT_FALSE(Has(kCF));
}

TEST_F(ShiftTest, ShiftLeftByCount) {
  const struct {
    bool word;
    uint16_t a;
    int count;
    uint16_t result;
    bool carry;
  } cases[] = {
      {false, 0x81, 1, 0x02, true},  {false, 0x01, 7, 0x80, false}, {false, 0x01, 8, 0x00, true},
      {false, 0xFF, 9, 0x00, false}, {false, 0xFF, 31, 0x00, false}, {true, 0x8001, 1, 0x0002, true},
      {true, 0x0001, 16, 0x0000, true}, {true, 0xFFFF, 17, 0x0000, false},
  };
  for (const auto& c : cases) {
    Set(IP, 0);
    Set(AX, c.a);
    SetFlags(kOF);
    Exec({uint8_t(c.word ? 0xC1 : 0xC0), 0xE0, uint8_t(c.count)});
    EXPECT_EQ(c.word ? R(AX) : AL(), c.result) << c.a << " << " << c.count;
    EXPECT_EQ(Has(kCF), c.carry) << c.a << " << " << c.count;
    EXPECT_TRUE(Has(kAF));
    EXPECT_TRUE(Has(kOF));  // untouched by counted shifts
    EXPECT_EQ(Has(kZF), c.result == 0);
  }
}

TEST_F(ShiftTest, ShiftRightByCount) {
  const struct {
    int reg;  // 5 SHR, 7 SAR
    bool word;
    uint16_t a;
    int count;
    uint16_t result;
    bool carry;
  } cases[] = {
      {5, false, 0x81, 1, 0x40, true},    {5, false, 0x80, 7, 0x01, false},
      {5, false, 0x80, 8, 0x00, true},    {5, false, 0xFF, 9, 0x00, false},
      {7, false, 0x80, 7, 0xFF, false},   {7, false, 0x80, 8, 0xFF, true},
      {7, false, 0x40, 9, 0x00, false},   {7, false, 0x81, 31, 0xFF, true},
      {5, true, 0x8000, 16, 0x0000, true}, {7, true, 0x8000, 15, 0xFFFF, false},
      {7, true, 0x7FFF, 20, 0x0000, false},
  };
  for (const auto& c : cases) {
    Set(IP, 0);
    Set(AX, c.a);
    SetFlags(kOF);
    Set(CX, uint16_t(c.count));
    EXPECT_EQ(Exec({uint8_t(c.word ? 0xD3 : 0xD2), uint8_t(0xC0 | c.reg << 3)}), 3);
    EXPECT_EQ(c.word ? R(AX) : AL(), c.result) << c.reg << " " << c.a << " >> " << c.count;
    EXPECT_EQ(Has(kCF), c.carry) << c.reg << " " << c.a << " >> " << c.count;
    EXPECT_TRUE(Has(kOF));
    EXPECT_EQ(Has(kSF), c.word ? (c.result & 0x8000) != 0 : (c.result & 0x80) != 0);
  }
  // SHR sets AF; SAR by a count leaves it.
  Set(AX, 0x10);
  SetFlags(0);
  Exec({0xC0, 0xE8, 0x02});
  EXPECT_TRUE(Has(kAF));
  SetFlags(0);
  Exec({0xC0, 0xF8, 0x02});
  EXPECT_FALSE(Has(kAF));
}

}  // namespace
}  // namespace kestra::test
