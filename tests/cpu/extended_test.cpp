// NEC's extended instructions behind 0x0F.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

using ExtendedTest = CpuTest;

TEST_F(ExtendedTest, Test1SetsZeroFromTheBitAndClearsCarryAndOverflow) {
  Set(AX, 0x0004);
  Set(CX, 2);
  SetFlags(kCF | kOF | kSF | kAF | kPF | kZF);
  EXPECT_EQ(Exec({0x0F, 0x10, 0xC0}), 4);  // TEST1 AL, CL
  EXPECT_EQ(Flags() & kArith, kSF | kAF | kPF);
  Set(CX, 10);  // bit 10 & 7 = 2
  Exec({0x0F, 0x10, 0xC0});
  EXPECT_FALSE(Has(kZF));
  Set(CX, 3);
  Exec({0x0F, 0x10, 0xC0});
  EXPECT_TRUE(Has(kZF));
  Set(AX, 0x8000);
  Set(CX, 31);  // bit 15
  Exec({0x0F, 0x11, 0xC0});  // TEST1 AX, CL
  EXPECT_FALSE(Has(kZF));
  Exec({0x0F, 0x19, 0xC0, 0x0E});  // TEST1 AX, 14
  EXPECT_TRUE(Has(kZF));
  Set(BX, 0x10);
  Poke(kData + 0x12, {0x80});
  EXPECT_EQ(Exec({0x0F, 0x18, 0x47, 0x02, 0x07}), 4);  // TEST1 byte [BX+2], 7
  EXPECT_FALSE(Has(kZF));
  EXPECT_EQ(R(AX), 0x8000);
  EXPECT_EQ(Byte(kData + 0x12), 0x80);
}

TEST_F(ExtendedTest, ClearSetAndComplementWriteBackAndKeepFlags) {
  SetFlags(kCF | kZF);
  Set(DX, 0x00F0);
  Set(CX, 4);
  EXPECT_EQ(Exec({0x0F, 0x12, 0xC2}), 4);  // CLR1 DL, CL
  EXPECT_EQ(R(DX), 0x00E0);
  EXPECT_EQ(Exec({0x0F, 0x14, 0xC6}), 4);  // SET1 DH, CL
  EXPECT_EQ(R(DX), 0x10E0);
  EXPECT_EQ(Exec({0x0F, 0x17, 0xC2}), 4);  // NOT1 DX, CL
  EXPECT_EQ(R(DX), 0x10F0);
  EXPECT_EQ(Exec({0x0F, 0x1F, 0xC2, 0x13}), 4);  // NOT1 DX, 0x13: bit 3
  EXPECT_EQ(R(DX), 0x10F8);
  EXPECT_EQ(Exec({0x0F, 0x1B, 0xC2, 0x1C}), 4);  // CLR1 DX, 12
  EXPECT_EQ(R(DX), 0x00F8);
  EXPECT_EQ(Exec({0x0F, 0x1D, 0xC2, 0x00}), 4);  // SET1 DX, 0
  EXPECT_EQ(R(DX), 0x00F9);
  EXPECT_EQ(Exec({0x0F, 0x1E, 0xC2, 0x0F}), 4);  // NOT1 DL, 15 & 7 = 7
  EXPECT_EQ(R(DX), 0x0079);
  EXPECT_EQ(Exec({0x0F, 0x1A, 0xC2, 0x00}), 4);  // CLR1 DL, 0
  EXPECT_EQ(R(DX), 0x0078);
  EXPECT_EQ(Exec({0x0F, 0x1C, 0xC6, 0x09}), 4);  // SET1 DH, 9 & 7 = 1
  EXPECT_EQ(R(DX), 0x0278);
  Set(BX, 0x20);
  Poke16(kData + 0x20, 0x0000);
  EXPECT_EQ(Exec({0x0F, 0x15, 0x07}), 4);  // SET1 word [BX], CL (4)
  EXPECT_EQ(Exec({0x0F, 0x16, 0x07}), 4);  // NOT1 byte [BX], CL
  EXPECT_EQ(Peek16(kData + 0x20), 0x0000);
  EXPECT_EQ(Exec({0x0F, 0x1D, 0x07, 0x0F}), 4);  // SET1 word [BX], 15
  EXPECT_EQ(Exec({0x0F, 0x13, 0x07}), 4);  // CLR1 word [BX], CL
  EXPECT_EQ(Peek16(kData + 0x20), 0x8000);
  EXPECT_EQ(Flags(), kCF | kZF);
}

class BcdStringTest : public CpuTest {
 protected:
  // Destination ES:DI and source DS:SI, low byte first; CL digits.
  void Strings(std::initializer_list<uint8_t> destination, std::initializer_list<uint8_t> source,
               int digits) {
    Set(DI, 0x10);
    Set(SI, 0x20);
    Set(CX, uint16_t(digits));
    Poke(kExtra + 0x10, destination);
    Poke(kData + 0x20, source);
  }
};

TEST_F(BcdStringTest, Add4sCarriesThroughTheString) {
  Strings({0x01, 0x00}, {0x99, 0x00}, 4);
  SetFlags(kCF | kSF);
  EXPECT_EQ(Exec({0x0F, 0x20}), 2);
  EXPECT_EQ(Peek16(kExtra + 0x10), 0x0100);
  EXPECT_EQ(Flags() & kArith, kSF);
  EXPECT_EQ(R(SI), 0x20);
  EXPECT_EQ(R(DI), 0x10);
  EXPECT_EQ(R(CX), 4);
  Strings({0x50, 0x99}, {0x50, 0x00}, 3);  // 3 digits round up to 2 bytes
  Exec({0x0F, 0x20});
  EXPECT_EQ(Peek16(kExtra + 0x10), 0x0000);
  EXPECT_EQ(Flags() & (kCF | kZF), kCF | kZF);
}

TEST_F(BcdStringTest, ZeroDigitsWriteNothing) {
  Strings({0x12}, {0x34}, 0);
  SetFlags(kCF);
  EXPECT_EQ(Exec({0x0F, 0x20}), 2);
  EXPECT_EQ(Byte(kExtra + 0x10), 0x12);
  EXPECT_EQ(Flags() & (kCF | kZF), kZF);
}

TEST_F(BcdStringTest, Sub4sBorrows) {
  Strings({0x00}, {0x01}, 2);
  EXPECT_EQ(Exec({0x0F, 0x22}), 2);
  EXPECT_EQ(Byte(kExtra + 0x10), 0x99);
  EXPECT_EQ(Flags() & (kCF | kZF), kCF);
  Strings({0x00, 0x10}, {0x01, 0x00}, 4);  // 1000 - 1 = 0999
  Exec({0x0F, 0x22});
  EXPECT_EQ(Peek16(kExtra + 0x10), 0x0999);
  EXPECT_EQ(Flags() & (kCF | kZF), 0);
  // Nibbles above 9 count at face value: 0x1F is 25.
  Strings({0x1F}, {0x05}, 2);
  Exec({0x0F, 0x22});
  EXPECT_EQ(Byte(kExtra + 0x10), 0x20);
}

TEST_F(BcdStringTest, Cmp4sComparesWithoutWriting) {
  Strings({0x25, 0x00}, {0x25, 0x00}, 4);
  EXPECT_EQ(Exec({0x0F, 0x26}), 2);
  EXPECT_EQ(Flags() & (kCF | kZF), kZF);
  Strings({0x25, 0x00}, {0x26, 0x00}, 4);
  Exec({0x0F, 0x26});
  EXPECT_EQ(Flags() & (kCF | kZF), kCF);
  EXPECT_EQ(Peek16(kExtra + 0x10), 0x0025);
}

TEST_F(BcdStringTest, SourceHonoursTheOverride) {
  Strings({0x10}, {0x90}, 2);
  Poke(Linear(CS, 0x20), {0x05});
  EXPECT_EQ(Exec({0x2E, 0x0F, 0x20}), 3);
  EXPECT_EQ(Byte(kExtra + 0x10), 0x15);
}

TEST_F(ExtendedTest, NibbleRotates) {
  Set(AX, 0x00AB);
  Set(DX, 0x0012);
  EXPECT_EQ(Exec({0x0F, 0x28, 0xC2}), 15);  // ROL4 DL
  EXPECT_EQ(AL(), 0xA1);
  EXPECT_EQ(R(DX), 0x002B);
  Set(BX, 0x10);
  Poke(kData + 0x10, {0x12});
  Set(AX, 0x00AB);
  EXPECT_EQ(Exec({0x0F, 0x28, 0x07}), 9);  // ROL4 [BX]
  EXPECT_EQ(AL(), 0xA1);
  EXPECT_EQ(Byte(kData + 0x10), 0x2B);
  Set(AX, 0x00AB);
  Set(DX, 0x1200);
  EXPECT_EQ(Exec({0x0F, 0x2A, 0xC6}), 19);  // ROR4 DH
  EXPECT_EQ(AL(), 0xA2);
  EXPECT_EQ(R(DX), 0xB100);
  Set(AX, 0x00AB);
  EXPECT_EQ(Exec({0x0F, 0x2A, 0x07}), 13);  // ROR4 [BX]
  EXPECT_EQ(AL(), 0xAB);
  EXPECT_EQ(Byte(kData + 0x10), 0xB2);
}

TEST_F(ExtendedTest, SecondBytesWithoutEffect) {
  SetFlags(kCF);
  Set(AX, 0x1234);
  const auto before = m->cpu.regs;
  EXPECT_EQ(Exec({0x0F, 0xFF, 0x00}), 0);
  EXPECT_EQ(R(IP), 3);
  EXPECT_EQ(Exec({0x0F, 0x92}), 2);
  EXPECT_EQ(R(IP), 5);
  EXPECT_EQ(Exec({0x0F, 0x40}), 0);
  EXPECT_EQ(R(IP), 7);
  m->cpu.regs.w[IP] = before.w[IP];
  EXPECT_EQ(std::memcmp(&before, &m->cpu.regs, sizeof before), 0);
  EXPECT_EQ(Flags(), kCF);
}

}  // namespace
}  // namespace kestra::test
