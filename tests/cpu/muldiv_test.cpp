// NOT, NEG, multiply and divide with their traps, IMUL with an immediate,
// and the decimal adjustments.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

class MulDivTest : public CpuTest {
 protected:
  MulDivTest() { Vector(0, 0x0900, 0x0000); }
  bool Trapped() const { return R(CS) == 0x0900; }
};

TEST_F(MulDivTest, NotAndNeg) {
  Set(AX, 0x00F0);
  SetFlags(kZF | kCF);
  EXPECT_EQ(Exec({0xF6, 0xD0}), 1);  // NOT AL
  EXPECT_EQ(R(AX), 0x000F);
  EXPECT_EQ(Flags(), kZF | kCF);
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x1234);
  EXPECT_EQ(Exec({0xF7, 0x17}), 3);  // NOT word [BX]
  EXPECT_EQ(Peek16(kData + 0x10), 0xEDCB);

  SetFlags(kOF | kAF);
  EXPECT_EQ(Exec({0xF6, 0xD8}), 1);  // NEG AL: 0x0F -> 0xF1
  EXPECT_EQ(AL(), 0xF1);
  EXPECT_EQ(Flags() & kArith, kCF | kSF | kOF | kAF);  // AF, OF left alone
  Set(AX, 0);
  SetFlags(kCF);
  Exec({0xF7, 0xD8});  // NEG AX with 0: no carry
  EXPECT_EQ(Flags() & kArith, kZF | kPF);
  Set(AX, 0x8000);
  Exec({0xF7, 0xD8});
  EXPECT_EQ(R(AX), 0x8000);
  EXPECT_EQ(Flags() & kArith, kCF | kSF | kPF);
  EXPECT_EQ(Exec({0xF7, 0x1F}), 3);  // NEG word [BX]
  EXPECT_EQ(Peek16(kData + 0x10), 0x1235);
}

TEST_F(MulDivTest, MultiplySetsCarryAndOverflowFromTheHighHalf) {
  Set(AX, 0x0010);
  Set(BX, 0x0010);
  SetFlags(kZF);
  EXPECT_EQ(Exec({0xF6, 0xE3}), 3);  // MUL BL
  EXPECT_EQ(R(AX), 0x0100);
  EXPECT_EQ(Flags() & kArith, kCF | kOF | kZF);  // others unchanged
  Set(AX, 0x000F);
  Exec({0xF6, 0xE3});
  EXPECT_EQ(R(AX), 0x00F0);
  EXPECT_EQ(Flags() & (kCF | kOF), 0);

  Set(AX, 0x00FF);
  Set(BX, 0x0001);
  EXPECT_EQ(Exec({0xF6, 0xEB}), 3);  // IMUL BL: -1 * 1
  EXPECT_EQ(R(AX), 0xFFFF);
  EXPECT_EQ(Flags() & (kCF | kOF), kCF | kOF);  // AH != 0
  Set(AX, 0x0002);
  Set(BX, 0x00FD);
  Exec({0xF6, 0xEB});  // 2 * -3
  EXPECT_EQ(R(AX), 0xFFFA);

  Set(AX, 0x1234);
  Set(DX, 0xFFFF);
  Set(CX, 0x0100);
  EXPECT_EQ(Exec({0xF7, 0xE1}), 3);  // MUL CX
  EXPECT_EQ(R(DX), 0x0012);
  EXPECT_EQ(R(AX), 0x3400);
  EXPECT_EQ(Flags() & (kCF | kOF), kCF | kOF);
  Set(AX, 0xFFFE);
  Set(CX, 0x0003);
  Exec({0xF7, 0xE9});  // IMUL CX: -2 * 3
  EXPECT_EQ(R(DX), 0xFFFF);
  EXPECT_EQ(R(AX), 0xFFFA);
  EXPECT_EQ(Flags() & (kCF | kOF), kCF | kOF);
  Set(AX, 0x0100);
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x0100);
  EXPECT_EQ(Exec({0xF7, 0x2F}), 4);  // IMUL word [BX]
  EXPECT_EQ(R(DX), 0x0001);
  EXPECT_EQ(R(AX), 0x0000);
}

TEST_F(MulDivTest, DivideStoresQuotientAndRemainder) {
  Set(AX, 1000);
  Set(BX, 7);
  EXPECT_EQ(Exec({0xF6, 0xF3}), 15);  // DIV BL
  EXPECT_EQ(AL(), 142);
  EXPECT_EQ(AH(), 6);
  Set(DX, 0x0001);
  Set(AX, 0x0000);
  Set(CX, 0x0002);
  EXPECT_EQ(Exec({0xF7, 0xF1}), 23);  // DIV CX
  EXPECT_EQ(R(AX), 0x8000);
  EXPECT_EQ(R(DX), 0);
  Set(BX, 0x10);
  Poke(kData + 0x10, {0x03});
  Set(AX, 10);
  EXPECT_EQ(Exec({0xF6, 0x37}), 16);  // DIV byte [BX]
  EXPECT_EQ(R(AX), 0x0103);
}

TEST_F(MulDivTest, SignedDivideTruncatesTowardZero) {
  Set(AX, uint16_t(-7));
  Set(BX, 2);
  EXPECT_EQ(Exec({0xF6, 0xFB}), 17);  // IDIV BL
  EXPECT_EQ(AL(), uint8_t(-3));
  EXPECT_EQ(AH(), uint8_t(-1));
  // Positive quotients up to 255 are accepted: 400 / 2 = 200.
  Set(AX, 400);
  Exec({0xF6, 0xFB});
  EXPECT_EQ(R(AX), 0x00C8);
  EXPECT_FALSE(Trapped());
  // -32768 / 1 fits the computation and is stored truncated.
  Set(AX, 0x8000);
  Set(BX, 1);
  Exec({0xF6, 0xFB});
  EXPECT_EQ(AL(), 0x00);
  EXPECT_FALSE(Trapped());
  Set(DX, 0xFFFF);
  Set(AX, uint16_t(-100000 & 0xFFFF));
  Set(DX, uint16_t((-100000 >> 16) & 0xFFFF));
  Set(CX, uint16_t(-3));
  EXPECT_EQ(Exec({0xF7, 0xF9}), 24);  // IDIV CX
  EXPECT_EQ(R(AX), 33333);
  EXPECT_EQ(R(DX), uint16_t(-1));
  Set(BX, 0x10);
  Poke16(kData + 0x10, 7);
  Set(DX, 0);
  Set(AX, 50);
  EXPECT_EQ(Exec({0xF7, 0x3F}), 25);
  EXPECT_EQ(R(AX), 7);
  EXPECT_EQ(R(DX), 1);
}

TEST_F(MulDivTest, QuotientTooLargeTrapsWithoutFurtherCycles) {
  Set(AX, 0x0400);
  Set(BX, 2);
  SetFlags(kIF);
  Set(IP, 0x10);
  EXPECT_EQ(Exec({0xF6, 0xF3}), 2);  // DIV BL: 0x200 > 255
  EXPECT_TRUE(Trapped());
  EXPECT_EQ(R(AX), 0x0400);
  EXPECT_EQ(Peek16(0x1FFA), 0x12);  // the next instruction
  EXPECT_EQ(Peek16(0x1FFE), kIF);
  EXPECT_FALSE(Has(kIF));
}

TEST_F(MulDivTest, ZeroDivisorTrapsAndStillCharges) {
  Set(AX, 0x1234);
  Set(BX, 0);
  EXPECT_EQ(Exec({0xF6, 0xF3}), 15 + 2);
  EXPECT_TRUE(Trapped());
  EXPECT_EQ(R(AX), 0x1234);
  const std::vector<std::pair<std::vector<uint8_t>, int>> forms = {
      {{0xF6, 0xFB}, 17}, {{0xF7, 0xF3}, 23}, {{0xF7, 0xFB}, 24}, {{0xF7, 0x37}, 24},
  };
  for (const auto& [bytes, cost] : forms) {
    Reset();
    Set(BX, 0);
    Poke16(kData, 0);
    for (size_t i = 0; i < bytes.size(); ++i) Byte(kCode + i) = bytes[i];
    EXPECT_EQ(Step(), cost + 2) << int(bytes[1]);
    EXPECT_TRUE(Trapped());
  }
}

TEST_F(MulDivTest, SignedOverflowTraps) {
  const struct {
    uint16_t dx, ax, divisor;
    bool word;
  } cases[] = {
      {0, 0x8000, 0xFFFF, false},  // -32768 / -1 = 32768
      {0, 512, 2, false},          // 256
      {0x8000, 0x0000, 0xFFFF, true},  // 0x80000000 / -1
      {0x0002, 0x0000, 0x0002, true},  // 65536
  };
  for (const auto& c : cases) {
    Reset();
    Set(DX, c.dx);
    Set(AX, c.ax);
    Set(BX, c.divisor);
    EXPECT_EQ(Exec({uint8_t(c.word ? 0xF7 : 0xF6), 0xFB}), 2);
    EXPECT_TRUE(Trapped());
    EXPECT_EQ(R(AX), c.ax);
    EXPECT_EQ(R(DX), c.dx);
  }
}

TEST_F(MulDivTest, ImulWithImmediate) {
  Set(BX, 0x10);
  Poke16(kData + 0x12, 300);
  EXPECT_EQ(Exec({0x69, 0x4F, 0x02, 0x64, 0x00}), 4);  // IMUL CX, [BX+2], 100
  EXPECT_EQ(R(CX), uint16_t(30000));
  EXPECT_EQ(Flags() & (kCF | kOF), 0);
  Set(DX, 300);
  EXPECT_EQ(Exec({0x6B, 0xC2, 0x9C}), 3);  // IMUL AX, DX, -100
  EXPECT_EQ(R(AX), uint16_t(-30000));
  EXPECT_EQ(Flags() & (kCF | kOF), 0);
  Exec({0x6B, 0xC2, 0x7F});  // 300 * 127 = 38100
  EXPECT_EQ(R(AX), uint16_t(38100));
  EXPECT_EQ(Flags() & (kCF | kOF), kCF | kOF);
  Set(DX, uint16_t(-256));
  Exec({0x6B, 0xC2, 0x80});  // -256 * -128 = 32768
  EXPECT_EQ(Flags() & (kCF | kOF), kCF | kOF);
  Exec({0x6B, 0xC2, 0x7F});  // -256 * 127 = -32512
  EXPECT_EQ(Flags() & (kCF | kOF), 0);
}

TEST_F(MulDivTest, AamAndAadIgnoreTheirOperand) {
  Set(AX, 0x0023);
  EXPECT_EQ(Exec({0xD4, 0x10}), 17);
  EXPECT_EQ(R(AX), 0x0305);
  Set(AX, 0x000A);
  Exec({0xD4, 0x0A});
  EXPECT_EQ(R(AX), 0x0100);
  EXPECT_EQ(Flags() & (kZF | kSF | kPF), kPF);  // PF of AL = 0
  Set(AX, 0x0000);
  Exec({0xD4, 0x07});
  EXPECT_TRUE(Has(kZF));
  Set(AX, 0x0305);
  EXPECT_EQ(Exec({0xD5, 0x10}), 6);
  EXPECT_EQ(R(AX), 0x0023);
  Set(AX, 0x1A09);
  Exec({0xD5, 0x0A});  // 26 * 10 + 9 = 269 -> 0x0D
  EXPECT_EQ(R(AX), 0x000D);
  Set(AX, 0x0C08);
  Exec({0xD5, 0x0A});  // 128: sign of AL
  EXPECT_EQ(R(AX), 0x0080);
  EXPECT_TRUE(Has(kSF));
}

TEST_F(MulDivTest, DecimalAdjustAfterAdditionAndSubtraction) {
  const struct {
    uint8_t op;
    uint8_t al;
    uint16_t flagsIn;
    uint8_t result;
    uint16_t flagsOut;  // over CF and AF
  } cases[] = {
      {0x27, 0x9A, 0, 0x00, kCF | kAF},
      {0x27, 0xFA, 0, 0x00, kAF},  // the +6 wraps, so no +0x60
      {0x27, 0x15, 0, 0x15, 0},
      {0x27, 0x15, kAF, 0x1B, kAF},
      {0x27, 0x15, kCF, 0x75, kCF},
      {0x27, 0xA0, 0, 0x00, kCF},
      {0x27, 0x0F, kCF | kAF, 0x75, kCF | kAF},
      {0x2F, 0x0F, 0, 0x09, kAF},
      {0x2F, 0xA0, 0, 0x40, kCF},
      {0x2F, 0x05, kAF, 0x9F, kCF | kAF},  // the -6 wraps, so the second step applies
      {0x2F, 0x45, kCF, 0xE5, kCF},
  };
  for (const auto& c : cases) {
    Set(IP, 0);
    Set(AX, c.al);
    SetFlags(c.flagsIn | kOF);
    EXPECT_EQ(Exec({c.op}), 10);
    EXPECT_EQ(AL(), c.result) << std::hex << int(c.op) << " " << int(c.al);
    EXPECT_EQ(Flags() & (kCF | kAF), c.flagsOut) << std::hex << int(c.op) << " " << int(c.al);
    EXPECT_EQ(Has(kZF), c.result == 0);
    EXPECT_TRUE(Has(kOF));
  }
}

TEST_F(MulDivTest, AsciiAdjust) {
  Set(AX, 0x010B);
  SetFlags(kZF | kSF);
  EXPECT_EQ(Exec({0x37}), 9);  // AAA
  EXPECT_EQ(R(AX), 0x0201);
  EXPECT_EQ(Flags() & kArith, kCF | kAF | kZF | kSF);  // SF, ZF kept
  Set(AX, 0x0105);
  SetFlags(kCF);
  Exec({0x37});  // no adjustment: AF and CF cleared
  EXPECT_EQ(R(AX), 0x0105);
  EXPECT_EQ(Flags() & (kCF | kAF), 0);
  Set(AX, 0x02FF);
  Exec({0x37});  // AL + 6 wraps in 8 bits
  EXPECT_EQ(R(AX), 0x0305);
  Set(AX, 0x0200);
  SetFlags(kAF);
  EXPECT_EQ(Exec({0x3F}), 9);  // AAS
  EXPECT_EQ(R(AX), 0x010A);
  EXPECT_EQ(Flags() & (kCF | kAF), kCF | kAF);
  Set(AX, 0x0009);
  SetFlags(0);
  Exec({0x3F});
  EXPECT_EQ(R(AX), 0x0009);
  EXPECT_EQ(Flags() & (kCF | kAF), 0);
}

}  // namespace
}  // namespace kestra::test
