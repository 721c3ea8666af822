// Instruction bytes within one run: across the bank end of a segment, with IP
// wrapping, after far transfers and bank switches, and after the pages or CS
// change between runs. Each case puts different code at the same offset of
// the page it must not read.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

class CodeFetchTest : public CpuTest {
 protected:
  CodeFetchTest() : other(0x10000, 0), more(0x10000, 0) {}

  // Until HLT and the instruction after it (HLT leaves one cycle).
  void RunToHalt() { Run(100000); }

  // NOP; MOV AX, 0x1234; MOV BL, 0x77 as one run of 3 cycles.
  void ExpectTheThreeRan(uint16_t ipAfter) {
    EXPECT_EQ(Run(3), 3);
    EXPECT_EQ(R(AX), 0x1234);
    EXPECT_EQ(R(BX) & 0xFF, 0x77);
    EXPECT_EQ(R(IP), ipAfter);
  }

  static void Put(std::vector<uint8_t>& page, uint16_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) page[at++] = b;
  }

  std::vector<uint8_t> other, more;
};

TEST_F(CodeFetchTest, SegmentRunsOnIntoTheNextBank) {
  // CS:0 is linear 0xFFF0: offsets from 0x10 on are in bank 1.
  Set(CS, 0x0FFF);
  Set(IP, 0x000D);
  Poke(0xFFFD, {0x90, 0xB8, 0x34});  // NOP; MOV AX, imm16 with its
  bank1[0] = 0x12;                   // high byte in the next bank
  Put(bank1, 1, {0xB3, 0x77});       // MOV BL, 0x77
  ExpectTheThreeRan(0x0013);
}

TEST_F(CodeFetchTest, IpWrapsWithinTheSegmentDuringARun) {
  m->map.BankReadTable[2] = bank2.data();
  Set(CS, 0x2000);
  Set(IP, 0xFFFD);
  Put(bank2, 0xFFFD, {0x90, 0xB8, 0x34});  // NOP; MOV AX, 0x1234 over the wrap
  Put(bank2, 0x0000, {0x12, 0xB3, 0x77});  // MOV BL, 0x77
  ExpectTheThreeRan(3);
}

TEST_F(CodeFetchTest, FarTransfersFetchFromTheirNewSegment) {
  m->map.BankReadTable[2] = bank2.data();
  m->map.BankReadTable[3] = other.data();
  Vector(0x20, 0x2000, 0x0300);
  Set(CS, 0x2000);
  Set(IP, 0);
  Set(AX, 0);
  // Segment 0x2000 (bank 2)              // segment 0x3000 (bank 3)
  Put(bank2, 0x0000, {0xEA, 0x10, 0x00, 0x00, 0x30});  // JMP 3000:0010
  Put(other, 0x0010, {0xB1, 0x11,                      // MOV CL, 0x11
                      0x9A, 0x00, 0x01, 0x00, 0x20});  // CALL 2000:0100
  Put(bank2, 0x0010, {0xB1, 0xEE});
  Put(bank2, 0x0100, {0xB5, 0x22, 0xCB});              // MOV CH, 0x22; RETF
  Put(other, 0x0100, {0xB5, 0xEE, 0xCB});
  Put(other, 0x0017, {0xB2, 0x33, 0xCD, 0x20});        // MOV DL, 0x33; INT 0x20
  Put(bank2, 0x0017, {0xB2, 0xEE, 0xCD, 0x20});
  Put(bank2, 0x0300, {0xB6, 0x44, 0xCF});              // MOV DH, 0x44; IRET
  Put(other, 0x0300, {0xB6, 0xEE, 0xCF});
  Put(other, 0x001B, {0xB8, 0x00, 0x20,                // MOV AX, 0x2000
                      0x8E, 0xC8,                      // MOV CS, AX
                      0xB3, 0xEE, 0xF4, 0x90});
  Put(bank2, 0x0020, {0xB3, 0x55, 0xF4, 0x90});        // MOV BL, 0x55; HLT; NOP
  RunToHalt();
  EXPECT_EQ(R(CX), 0x2211);
  EXPECT_EQ(R(DX), 0x4433);
  EXPECT_EQ(R(BX) & 0xFF, 0x55);
  EXPECT_EQ(R(CS), 0x2000);
  EXPECT_EQ(R(IP), 0x0024);
}

TEST_F(CodeFetchTest, OutToABankPortFetchesFromTheNewPage) {
  // Port 0xC2 remaps bank 2 at once; the code goes on in the new page.
  m->map.BankReadTable[2] = bank2.data();
  m->map.RomBankTable[5] = other.data();
  Set(CS, 0x2000);
  Set(IP, 0);
  Put(bank2, 0, {0xB0, 0x05, 0xE6, 0xC2, 0xB3, 0xEE});  // MOV AL, 5; OUT 0xC2, AL
  Put(other, 4, {0xB3, 0x99, 0xF4, 0x90});              // MOV BL, 0x99; HLT; NOP
  RunToHalt();
  EXPECT_EQ(R(BX) & 0xFF, 0x99);
  EXPECT_EQ(R(IP), 8);

  // Port 0xC0 from code above segment 0x4000: one more instruction from the
  // old page, then the new one.
  m->map.BankReadTable[4] = bank2.data();
  m->map.RomBankTable[0x14] = more.data();  // bank 4 for port value 1
  Set(CS, 0x4000);
  Set(IP, 0x100);
  Put(bank2, 0x100, {0xB0, 0x01, 0xE6, 0xC0, 0xB7, 0x11, 0xB1, 0xEE});  // ...; MOV BH, 0x11
  Put(more, 0x100, {0xB0, 0x01, 0xE6, 0xC0, 0xB7, 0xEE, 0xB1, 0x22, 0xF4, 0x90});
  RunToHalt();
  EXPECT_EQ(R(BX) >> 8, 0x11);
  EXPECT_EQ(R(CX) & 0xFF, 0x22);
  EXPECT_EQ(R(IP), 0x10A);
}

TEST_F(CodeFetchTest, PagesAndCsChangedBetweenRunsAreSeen) {
  m->map.BankReadTable[2] = bank2.data();
  Set(CS, 0x2000);
  Set(IP, 0);
  Put(bank2, 0, {0xB0, 0x11, 0xB0, 0x12});  // MOV AL, 0x11; MOV AL, 0x12
  Put(other, 2, {0xB0, 0x22});
  EXPECT_EQ(Run(1), 1);
  EXPECT_EQ(AL(), 0x11);
  m->map.BankReadTable[2] = other.data();
  EXPECT_EQ(Run(1), 1);
  EXPECT_EQ(AL(), 0x22);
  // CS written straight into the register file.
  m->map.BankReadTable[3] = more.data();
  Put(more, 4, {0xB0, 0x33});
  Set(CS, 0x3000);
  EXPECT_EQ(Run(1), 1);
  EXPECT_EQ(AL(), 0x33);
}

}  // namespace
}  // namespace kestra::test
