// Data movement, the stack with ENTER/LEAVE, flag instructions and ports.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

using MovesTest = CpuTest;

TEST_F(MovesTest, MovBetweenRegistersAndMemory) {
  Set(BX, 0x20);
  Set(AX, 0xA1B2);
  EXPECT_EQ(Exec({0x89, 0x47, 0x04}), 1);  // MOV [BX+4], AX
  EXPECT_EQ(Peek16(kData + 0x24), 0xA1B2);
  EXPECT_EQ(Exec({0x88, 0x67, 0x06}), 1);  // MOV [BX+6], AH
  EXPECT_EQ(Byte(kData + 0x26), 0xA1);
  EXPECT_EQ(Exec({0x8A, 0x4F, 0x04}), 1);  // MOV CL, [BX+4]
  EXPECT_EQ(R(CX), 0x00B2);
  EXPECT_EQ(Exec({0x8B, 0x57, 0x05}), 1);  // MOV DX, [BX+5]
  EXPECT_EQ(R(DX), 0xA1A1);
  EXPECT_EQ(Exec({0x8B, 0xF2}), 1);  // MOV SI, DX
  EXPECT_EQ(R(SI), 0xA1A1);
  EXPECT_EQ(Flags(), 0);
}

TEST_F(MovesTest, MovImmediates) {
  for (int r = 0; r < 8; ++r) Exec({uint8_t(0xB0 + r), uint8_t(0x10 + r)});
  EXPECT_EQ(R(AX), 0x1410);
  EXPECT_EQ(R(CX), 0x1511);
  EXPECT_EQ(R(DX), 0x1612);
  EXPECT_EQ(R(BX), 0x1713);
  for (int r = 0; r < 8; ++r) Exec({uint8_t(0xB8 + r), uint8_t(r), 0xC0});
  EXPECT_EQ(R(SP), 0xC004);
  EXPECT_EQ(R(DI), 0xC007);
  // The immediate follows the displacement.
  Set(BX, 0);
  EXPECT_EQ(Exec({0xC7, 0x47, 0x10, 0x34, 0x12}), 1);  // MOV word [BX+0x10], 0x1234
  EXPECT_EQ(Peek16(kData + 0x10), 0x1234);
  EXPECT_EQ(Exec({0xC6, 0x06, 0x20, 0x00, 0x99}), 1);  // MOV byte [0x20], 0x99
  EXPECT_EQ(Byte(kData + 0x20), 0x99);
  EXPECT_EQ(R(IP), 16 + 24 + 10);
}

TEST_F(MovesTest, DirectAddressFormsWrapTheirHighByteInsideTheSegment) {
  Poke(kData + 0xFFFF, {0x34});
  Poke(kData + 0x0000, {0x12});
  EXPECT_EQ(Exec({0xA1, 0xFF, 0xFF}), 1);  // MOV AX, [0xFFFF]
  EXPECT_EQ(R(AX), 0x1234);
  Set(AX, 0xBEEF);
  Exec({0xA3, 0xFF, 0xFF});  // MOV [0xFFFF], AX
  EXPECT_EQ(Byte(kData + 0xFFFF), 0xEF);
  EXPECT_EQ(Byte(kData), 0xBE);
  EXPECT_EQ(Byte(kData + 0x10000), 0);
  Poke(kExtra + 0x40, {0x77});
  Exec({0x26, 0xA0, 0x40, 0x00});  // MOV AL, ES:[0x40]
  EXPECT_EQ(AL(), 0x77);
  Exec({0x2E, 0xA2, 0x50, 0x00});  // MOV CS:[0x50], AL
  EXPECT_EQ(Byte(kCode + 0x50), 0x77);
}

TEST_F(MovesTest, SegmentRegisterMoves) {
  EXPECT_EQ(Exec({0x8C, 0xD8}), 1);  // MOV AX, DS
  EXPECT_EQ(R(AX), kData >> 4);
  Set(BX, 0);
  EXPECT_EQ(Exec({0x8C, 0x07}), 1);  // MOV [BX], ES
  EXPECT_EQ(Peek16(kData), kExtra >> 4);
  Set(DX, 0x1234);
  Exec({0x8C, 0xE2});  // reg field 4: no segment register, stores 0
  EXPECT_EQ(R(DX), 0);
  Set(AX, 0x0600);
  EXPECT_EQ(Exec({0x8E, 0xD0}), 2);  // MOV SS, AX
  EXPECT_EQ(R(SS), 0x0600);
  EXPECT_EQ(Exec({0x8E, 0x07}), 3);  // MOV ES, [BX]
  EXPECT_EQ(R(ES), kExtra >> 4);
  const auto before = m->cpu.regs;
  Set(IP, 0);
  Exec({0x8E, 0xE0});  // reg field 4 loads nothing
  EXPECT_EQ(std::memcmp(&before.w[ES], &m->cpu.regs.w[ES], 8), 0);
  // CS may be loaded: the next fetch comes from the new segment.
  Set(IP, 0);
  Set(AX, 0x0200);
  Exec({0x8E, 0xC8});  // MOV CS, AX
  EXPECT_EQ(R(CS), 0x0200);
  EXPECT_EQ(R(IP), 2);
}

TEST_F(MovesTest, Exchange) {
  Set(AX, 0x1111);
  Set(BX, 0x2222);
  EXPECT_EQ(Exec({0x93}), 3);  // XCHG AX, BX
  EXPECT_EQ(R(AX), 0x2222);
  EXPECT_EQ(R(BX), 0x1111);
  EXPECT_EQ(Exec({0x86, 0xC4}), 3);  // XCHG AL, AH
  EXPECT_EQ(R(AX), 0x2222);
  Set(CX, 0x00AB);
  Exec({0x86, 0xCD});  // XCHG CL, CH
  EXPECT_EQ(R(CX), 0xAB00);
  Set(BX, 0x10);
  Poke16(kData + 0x10, 0x5566);
  EXPECT_EQ(Exec({0x87, 0x07}), 5);  // XCHG AX, [BX]
  EXPECT_EQ(R(AX), 0x5566);
  EXPECT_EQ(Peek16(kData + 0x10), 0x2222);
  EXPECT_EQ(Exec({0x86, 0x27}), 5);  // XCHG AH, [BX]
  EXPECT_EQ(R(AX), 0x2266);
  EXPECT_EQ(Byte(kData + 0x10), 0x55);
}

TEST_F(MovesTest, LeaRegisterFormLeavesTheDestination) {
  Set(SI, 0x1234);
  Set(DI, 0x7777);
  EXPECT_EQ(Exec({0x8D, 0xFE}), 1);  // LEA DI, SI (no address)
  EXPECT_EQ(R(DI), 0x7777);
}

TEST_F(MovesTest, FarPointerLoadsWrapTheSecondWordInsideTheOperandsBank) {
  // DS:0xFFFE at linear 0x1FFFE: the segment word is at 0x10000, not 0x20000.
  m->map.BankReadTable[2] = bank2.data();
  Set(DS, 0x1000);
  Set(BX, 0xFFFE);
  Poke16(0x1FFFE, 0x5678);
  Poke16(0x10000, 0x1234);
  Poke16(0x20000, 0xDEAD);
  EXPECT_EQ(Exec({0xC5, 0x37}), 6);  // LDS SI, [BX]
  EXPECT_EQ(R(SI), 0x5678);
  EXPECT_EQ(R(DS), 0x1234);
  Set(BX, 0x0100);
  Set(DS, 0x0300);
  Poke16(kData + 0x100, 0xAAAA);
  Poke16(kData + 0x102, 0xBBBB);
  EXPECT_EQ(Exec({0xC4, 0x3F}), 6);  // LES DI, [BX]
  EXPECT_EQ(R(DI), 0xAAAA);
  EXPECT_EQ(R(ES), 0xBBBB);
  // A register operand: the register, then the word beside the last
  // memory operand decoded.
  Poke16(kData + 0x102, 0xCCCC);
  Set(CX, 0x4321);
  EXPECT_EQ(Exec({0xC4, 0xC1}), 6);  // LES AX, CX
  EXPECT_EQ(R(AX), 0x4321);
  EXPECT_EQ(R(ES), 0xCCCC);
}

TEST_F(MovesTest, ConversionsAndFlagTransfers) {
  Set(AX, 0x1280);
  Exec({0x98});  // CBW
  EXPECT_EQ(R(AX), 0xFF80);
  Set(AX, 0x347F);
  Exec({0x98});
  EXPECT_EQ(R(AX), 0x007F);
  Set(AX, 0x8000);
  Exec({0x99});  // CWD
  EXPECT_EQ(R(DX), 0xFFFF);
  Set(AX, 0x7FFF);
  Exec({0x99});
  EXPECT_EQ(R(DX), 0x0000);

  SetFlags(0x0FD5);
  EXPECT_EQ(Exec({0x9F}), 2);  // LAHF
  EXPECT_EQ(AH(), 0xD5);
  SetFlags(kOF | kDF);
  Set(AX, 0xFF00);
  EXPECT_EQ(Exec({0x9E}), 4);  // SAHF: bits 1, 3, 5 ignored; OF, DF kept
  EXPECT_EQ(Flags(), kOF | kDF | 0xD5);
  Set(AX, 0x0000);
  Exec({0x9E});
  EXPECT_EQ(Flags(), kOF | kDF);

  SetFlags(kCF);
  EXPECT_EQ(Exec({0xD6}), 3);  // SALC
  EXPECT_EQ(AL(), 0xFF);
  SetFlags(0);
  Exec({0xD6});
  EXPECT_EQ(AL(), 0x00);
}

TEST_F(MovesTest, XlatWrapsItsOffsetAndHonoursTheOverride) {
  Set(BX, 0xFFFF);
  Set(AX, 0x0002);
  Poke(kData + 0x0001, {0x42});
  EXPECT_EQ(Exec({0xD7}), 5);
  EXPECT_EQ(AL(), 0x42);
  Set(BX, 0x0010);
  Set(AX, 0x0005);
  Poke(kExtra + 0x15, {0x99});
  EXPECT_EQ(Exec({0x26, 0xD7}), 6);
  EXPECT_EQ(AL(), 0x99);
}

TEST_F(MovesTest, PushAndPopOfSp) {
  EXPECT_EQ(Exec({0x54}), 1);  // PUSH SP: the decremented value
  EXPECT_EQ(Peek16(0x1FFE), 0x1FFE);
  Set(SP, 0x2000);
  EXPECT_EQ(Exec({0xFF, 0xF4}), 1);  // PUSH SP through r/m: the old value
  EXPECT_EQ(Peek16(0x1FFE), 0x2000);
  Poke16(0x1FFE, 0x1234);
  Set(SP, 0x1FFE);
  EXPECT_EQ(Exec({0x5C}), 1);  // POP SP: popped value + 2
  EXPECT_EQ(R(SP), 0x1236);
  Set(SP, 0x1FFE);
  EXPECT_EQ(Exec({0x8F, 0xC4}), 1);  // POP SP through r/m: popped value
  EXPECT_EQ(R(SP), 0x1234);
}

TEST_F(MovesTest, PushAndPopRegistersSegmentsAndImmediates) {
  for (int r = 0; r < 8; ++r) {
    if (r == SP) continue;
    Set(Reg(r), uint16_t(0x100 * r + 1));
    Exec({uint8_t(0x50 + r)});
    Set(Reg(r), 0);
    Exec({uint8_t(0x58 + r)});
    EXPECT_EQ(R(Reg(r)), 0x100 * r + 1) << r;
    EXPECT_EQ(R(SP), 0x2000);
  }
  EXPECT_EQ(Exec({0x06}), 2);  // PUSH ES
  EXPECT_EQ(Exec({0x1F}), 3);  // POP DS
  EXPECT_EQ(R(DS), kExtra >> 4);
  Exec({0x0E});  // PUSH CS
  EXPECT_EQ(Peek16(0x1FFE), kCodeSegment);
  EXPECT_EQ(Exec({0x6A, 0x80}), 1);  // PUSH -128
  EXPECT_EQ(Peek16(0x1FFC), 0xFF80);
  EXPECT_EQ(Exec({0x68, 0x34, 0x12}), 1);
  EXPECT_EQ(Peek16(0x1FFA), 0x1234);
  // POP r/m16 pops first, then forms the address.
  Set(BX, 0x30);
  Set(DS, kData >> 4);
  EXPECT_EQ(Exec({0x8F, 0x47, 0x02}), 3);  // POP [BX+2]
  EXPECT_EQ(Peek16(kData + 0x32), 0x1234);
  EXPECT_EQ(Exec({0xFF, 0x77, 0x02}), 2);  // PUSH [BX+2]
  EXPECT_EQ(Peek16(0x1FFA), 0x1234);
  // Stack accesses ignore a segment prefix.
  Exec({0x26, 0x58});  // ES: POP AX
  EXPECT_EQ(R(AX), 0x1234);
}

TEST_F(MovesTest, PushaStoresTheOriginalSpAndPopaSkipsIt) {
  for (int r = 0; r < 8; ++r) {
    if (r != SP) Set(Reg(r), uint16_t(0x1110 * (r + 1)));
  }
  EXPECT_EQ(Exec({0x60}), 9);
  EXPECT_EQ(R(SP), 0x2000 - 16);
  const uint16_t expected[8] = {0x1110, 0x2220, 0x3330, 0x4440, 0x2000, 0x6660, 0x7770, 0x8880};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Peek16(0x1FFE - 2 * i), expected[i]) << i;
  for (int r = 0; r < 8; ++r) {
    if (r != SP) Set(Reg(r), 0);
  }
  Poke16(0x1FFE - 8, 0x5555);  // the stored SP is not loaded
  EXPECT_EQ(Exec({0x61}), 8);
  EXPECT_EQ(R(SP), 0x2000);
  for (int r = 0; r < 8; ++r) {
    if (r == SP) continue;
    EXPECT_EQ(R(Reg(r)), expected[r]) << r;
  }
}

TEST_F(MovesTest, PopfAndPushf) {
  Poke16(0x1FFE, 0xFFFF);
  Set(SP, 0x1FFE);
  EXPECT_EQ(Exec({0x9D}), 3);
  EXPECT_EQ(Flags(), 0x0FD5);
  EXPECT_EQ(R(SP), 0x2000);
  EXPECT_EQ(Exec({0x9C}), 2);
  EXPECT_EQ(Peek16(0x1FFE), 0x0FD5);
}

TEST_F(MovesTest, EnterLevelZero) {
  Set(BP, 0xABCD);
  EXPECT_EQ(Exec({0xC8, 0x04, 0x00, 0x00}), 19);
  EXPECT_EQ(Peek16(0x1FFE), 0xABCD);
  EXPECT_EQ(R(BP), 0x1FFE);
  EXPECT_EQ(R(SP), 0x1FFA);
  EXPECT_EQ(Exec({0xC9}), 2);  // LEAVE
  EXPECT_EQ(R(BP), 0xABCD);
  EXPECT_EQ(R(SP), 0x2000);
}

TEST_F(MovesTest, EnterLevelOnePushesTheFramePointerBelowTheLocals) {
  EXPECT_EQ(Exec({0xC8, 0x04, 0x00, 0x01}), 19);
  EXPECT_EQ(R(BP), 0x1FFE);
  EXPECT_EQ(R(SP), 0x1FF8);
  EXPECT_EQ(Peek16(0x1FF8), 0x1FFE);
}

TEST_F(MovesTest, EnterLevelTwoCopiesFromBelowTheNewFrame) {
  Poke16(0x1FFC, 0x7777);
  EXPECT_EQ(Exec({0xC8, 0x04, 0x00, 0x02}), 23);
  EXPECT_EQ(R(BP), 0x1FFE);
  EXPECT_EQ(Peek16(0x1FF8), 0x7777);
  EXPECT_EQ(Peek16(0x1FF6), 0x1FFE);
  EXPECT_EQ(R(SP), 0x1FF6);
}

TEST_F(MovesTest, EnterCopiesThroughTheOverride) {
  Poke16(kExtra + 0x1FFC, 0x4242);
  Poke16(kExtra + 0x1FFA, 0x4343);
  EXPECT_EQ(Exec({0x26, 0xC8, 0x00, 0x00, 0x03}), 1 + 19 + 8);
  EXPECT_EQ(Peek16(0x1FFC), 0x4242);
  EXPECT_EQ(Peek16(0x1FFA), 0x4343);
  EXPECT_EQ(Peek16(0x1FF8), 0x1FFE);
  EXPECT_EQ(R(SP), 0x1FF8);
}

TEST_F(MovesTest, FlagInstructions) {
  const struct {
    uint8_t op;
    uint16_t before, after;
  } cases[] = {
      {0xF5, 0, kCF}, {0xF5, kCF, 0}, {0xF8, kCF | kZF, kZF}, {0xF9, 0, kCF},
      {0xFA, kIF, 0}, {0xFB, 0, kIF}, {0xFC, kDF, 0},         {0xFD, 0, kDF},
  };
  for (const auto& c : cases) {
    SetFlags(c.before);
    EXPECT_EQ(Exec({c.op}), 4);
    EXPECT_EQ(Flags(), c.after) << int(c.op);
  }
}

TEST_F(MovesTest, InReadsThePortFileWithSixteenBitPorts) {
  m->io.IoPorts[0x10] = 0x11;
  m->io.IoPorts[0x11] = 0x22;
  m->io.IoPorts[0xFF] = 0x33;
  m->io.IoPorts[0x00] = 0x44;  // a port number that wrapped to 8 bits would read these
  m->io.IoPorts[0x34] = 0x55;
  m->io.IoPorts[0x35] = 0x66;
  EXPECT_EQ(Exec({0xE4, 0x10}), 6);
  EXPECT_EQ(AL(), 0x11);
  EXPECT_EQ(Exec({0xE5, 0x10}), 6);
  EXPECT_EQ(R(AX), 0x2211);
  Exec({0xE5, 0xFF});
  EXPECT_EQ(R(AX), 0x0033);  // port 0x100 holds nothing
  Set(DX, 0x1234);
  Set(AX, 0xFFFF);
  EXPECT_EQ(Exec({0xEC}), 6);
  EXPECT_EQ(R(AX), 0xFF00);
  EXPECT_EQ(Exec({0xED}), 6);
  EXPECT_EQ(R(AX), 0x0000);
  Set(DX, 0x00FF);
  Exec({0xED});
  EXPECT_EQ(R(AX), 0x0033);
  Set(DX, 0xFFFF);
  Exec({0xED});
  EXPECT_EQ(R(AX), 0x0000);  // neither 0xFFFF nor the port past it wraps to 0
}

TEST_F(MovesTest, OutGoesThroughWritePort) {
  Set(AX, 0xBBAA);
  EXPECT_EQ(Exec({0xE6, 0x40}), 6);
  EXPECT_EQ(m->io.IoPorts[0x40], 0xAA);
  EXPECT_EQ(Exec({0xE7, 0x42}), 6);
  EXPECT_EQ(m->io.IoPorts[0x42], 0xAA);
  EXPECT_EQ(m->io.IoPorts[0x43], 0xBB);
  // A word to port 0xFF: the high byte goes to port 0x100, not port 0.
  Exec({0xE7, 0xFF});
  EXPECT_EQ(m->io.IoPorts[0xFF], 0xAA);
  EXPECT_EQ(m->io.IoPorts[0x00], 0x00);
  EXPECT_EQ(m->io.IoPorts[0x100], 0x00);
  Set(DX, 0x0044);
  EXPECT_EQ(Exec({0xEE}), 6);
  EXPECT_EQ(m->io.IoPorts[0x44], 0xAA);
  Set(DX, 0xFFFF);
  EXPECT_EQ(Exec({0xEF}), 6);
  EXPECT_EQ(m->io.IoPorts[0x00], 0x00);
  EXPECT_EQ(m->io.IoPorts[0xFF], 0xAA);
}

TEST_F(MovesTest, WordOutReachesBothBankPorts) {
  uint8_t* pages[2] = {bank1.data(), bank2.data()};
  m->map.RomBankTable[0x12] = pages[0];
  m->map.RomBankTable[0x34] = pages[1];
  Set(AX, 0x3412);
  Exec({0xE7, 0xC2});  // banks 2 and 3
  EXPECT_EQ(m->map.BankReadTable[2], pages[0]);
  EXPECT_EQ(m->map.BankReadTable[3], pages[1]);
}

class BankSwitchTest : public CpuTest {
 protected:
  // Code at 0x4000:0000 in bank 4, IP 0, AX 0.
  void PutHighCode(std::initializer_list<uint8_t> bytes) {
    m->map.BankReadTable[4] = bank2.data();
    std::copy(bytes.begin(), bytes.end(), bank2.begin());
    Set(CS, 0x4000);
    Set(IP, 0);
    Set(AX, 0);
  }
};

TEST_F(BankSwitchTest, FromHighCodeRunsOneMoreInstruction) {
  PutHighCode({0xE6, 0xC0, 0x40, 0x40});  // OUT 0xC0, AL; INC AX; INC AX
  EXPECT_EQ(Step(), 7);  // OUT plus the INC that follows it
  EXPECT_EQ(R(AX), 1);
  EXPECT_EQ(R(IP), 3);
  EXPECT_EQ(m->map.BankReadTable[4], m->map.RomBankTable[4]);

  // OUTSB of the byte 1 to port 0xC0, stepped and within a run (which ends
  // after the INC, at the next one).
  m->mem.Iram[kData] = 0x01;
  Set(DX, 0xC0);
  for (const bool run : {false, true}) {
    PutHighCode({0x6E, 0x40, 0x40});  // OUTSB; INC AX; INC AX
    Set(SI, 0);
    EXPECT_EQ(run ? Run(8) : Step(), 8);
    EXPECT_EQ(R(AX), 1);
    EXPECT_EQ(R(IP), 2);
    EXPECT_EQ(R(SI), 1);
    EXPECT_EQ(m->map.BankReadTable[4], m->map.RomBankTable[0x14]);
  }
}

}  // namespace
}  // namespace kestra::test
