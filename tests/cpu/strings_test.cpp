// String instructions alone and under the four repeat prefixes.
#include "cpu_harness.h"

namespace kestra::test {
namespace {

using StringTest = CpuTest;

TEST_F(StringTest, SingleInstructionsStepByTheDirectionFlag) {
  Set(SI, 0x10);
  Set(DI, 0x20);
  Poke(kData + 0x10, {0x11, 0x22, 0x33, 0x44});
  EXPECT_EQ(Exec({0xA4}), 5);  // MOVSB
  EXPECT_EQ(Byte(kExtra + 0x20), 0x11);
  EXPECT_EQ(R(SI), 0x11);
  EXPECT_EQ(R(DI), 0x21);
  EXPECT_EQ(Exec({0xA5}), 5);  // MOVSW
  EXPECT_EQ(Peek16(kExtra + 0x21), 0x3322);
  EXPECT_EQ(R(SI), 0x13);
  EXPECT_EQ(R(DI), 0x23);
  SetFlags(kDF);
  EXPECT_EQ(Exec({0xAC}), 3);  // LODSB, stepping down
  EXPECT_EQ(AL(), 0x44);
  EXPECT_EQ(R(SI), 0x12);
  EXPECT_EQ(Exec({0xAD}), 3);  // LODSW
  EXPECT_EQ(R(AX), 0x4433);
  EXPECT_EQ(R(SI), 0x10);
  EXPECT_EQ(Exec({0xAA}), 3);  // STOSB
  EXPECT_EQ(Byte(kExtra + 0x23), 0x33);
  EXPECT_EQ(R(DI), 0x22);
  EXPECT_EQ(Exec({0xAB}), 3);  // STOSW
  EXPECT_EQ(Peek16(kExtra + 0x22), 0x4433);
  EXPECT_EQ(R(DI), 0x20);
}

TEST_F(StringTest, CompareAndScanSubtractInTheirOwnOrder) {
  Set(SI, 0x10);
  Set(DI, 0x20);
  Poke(kData + 0x10, {0x01, 0x00, 0x80});
  Poke(kExtra + 0x20, {0x02, 0x01, 0x00});
  EXPECT_EQ(Exec({0xA6}), 6);  // CMPSB: source - destination = 1 - 2
  EXPECT_EQ(Flags() & kArith, kCF | kAF | kSF | kPF);
  EXPECT_EQ(Exec({0xA7}), 6);  // CMPSW: 0x8000 - 0x0001
  EXPECT_EQ(Flags() & kArith, kOF | kAF | kPF);
  EXPECT_EQ(R(SI), 0x13);
  EXPECT_EQ(R(DI), 0x23);
  Set(DI, 0x20);
  Set(AX, 0x0001);
  EXPECT_EQ(Exec({0xAE}), 4);  // SCASB: AL - memory = 1 - 2
  EXPECT_EQ(Flags() & kArith, kCF | kAF | kSF | kPF);
  Set(AX, 0x0001);
  EXPECT_EQ(Exec({0xAF}), 4);  // SCASW: 1 - 0x0001
  EXPECT_EQ(Flags() & kArith, kZF | kPF);
  EXPECT_EQ(R(DI), 0x23);
}

TEST_F(StringTest, SourceTakesTheOverrideDestinationNever) {
  Set(SI, 0x10);
  Set(DI, 0x30);
  Poke(Linear(CS, 0x10), {0xC5});
  Poke(kData + 0x10, {0xD5});
  EXPECT_EQ(Exec({0x2E, 0xA4}), 6);  // CS: MOVSB
  EXPECT_EQ(Byte(kExtra + 0x30), 0xC5);
  EXPECT_EQ(Byte(Linear(CS, 0x30)), 0);
  Set(DI, 0x40);
  Set(AX, 0x77);
  Exec({0x2E, 0xAA});  // CS: STOSB still writes ES:DI
  EXPECT_EQ(Byte(kExtra + 0x40), 0x77);
}

TEST_F(StringTest, PortStrings) {
  m->io.IoPorts[0x44] = 0xAB;
  m->io.IoPorts[0x45] = 0xCD;
  Set(DX, 0x44);
  Set(DI, 0x10);
  EXPECT_EQ(Exec({0x6C}), 6);  // INSB
  EXPECT_EQ(Byte(kExtra + 0x10), 0xAB);
  EXPECT_EQ(Exec({0x6D}), 6);  // INSW
  EXPECT_EQ(Peek16(kExtra + 0x11), 0xCDAB);
  EXPECT_EQ(R(DI), 0x13);
  Set(SI, 0x20);
  Set(DX, 0x40);
  Poke(kData + 0x20, {0x12, 0x34, 0x56});
  EXPECT_EQ(Exec({0x6E}), 7);  // OUTSB
  EXPECT_EQ(m->io.IoPorts[0x40], 0x12);
  EXPECT_EQ(Exec({0x6F}), 7);  // OUTSW
  EXPECT_EQ(m->io.IoPorts[0x40], 0x34);
  EXPECT_EQ(m->io.IoPorts[0x41], 0x56);
  EXPECT_EQ(R(SI), 0x23);
}

TEST_F(StringTest, PortWordsWrapInsideSixteenBitsOthersDoNot) {
  // INSW at DI = 0xFFFF: high byte at ES:0000.
  m->io.IoPorts[0x44] = 0x11;
  m->io.IoPorts[0x45] = 0x22;
  Set(DX, 0x44);
  Set(DI, 0xFFFF);
  Exec({0x6D});
  EXPECT_EQ(Byte(kExtra + 0xFFFF), 0x11);
  EXPECT_EQ(Byte(kExtra), 0x22);
  EXPECT_EQ(Byte(kExtra + 0x10000), 0);
  EXPECT_EQ(R(DI), 0x0001);
  // MOVSW at DI = 0xFFFF: high byte at ES * 16 + 0x10000.
  Set(SI, 0x10);
  Set(DI, 0xFFFF);
  Poke(kData + 0x10, {0x33, 0x44});
  Exec({0xA5});
  EXPECT_EQ(Byte(kExtra + 0xFFFF), 0x33);
  EXPECT_EQ(Byte(kExtra + 0x10000), 0x44);
  EXPECT_EQ(Byte(kExtra), 0x22);
  // OUTSW at SI = 0xFFFF with DX = 0xFFFF: high byte from DS:0000 to port 0.
  Set(SI, 0xFFFF);
  Set(DX, 0xFFFF);
  Poke(kData + 0xFFFF, {0x55});
  Poke(kData, {0x66});
  Exec({0x6F});
  EXPECT_EQ(m->io.IoPorts[0x00], 0x66);
}

TEST_F(StringTest, RepeatCostsPerElement) {
  const struct {
    uint8_t prefix, op;
    int perElement, setUp;
  } cases[] = {
      {0xF3, 0x6C, 6, 5}, {0xF3, 0x6E, 6, 5}, {0xF3, 0xA4, 7, 5}, {0xF3, 0xA6, 10, 5},
      {0xF3, 0xAA, 6, 5}, {0xF3, 0xAC, 6, 5}, {0xF3, 0xAE, 8, 5}, {0xF3, 0xA5, 7, 5},
      {0xF2, 0x6D, 6, 2}, {0xF2, 0x6F, 7, 2}, {0xF2, 0xA5, 5, 2}, {0xF2, 0xA7, 9, 5},
      {0xF2, 0xAB, 3, 2}, {0xF2, 0xAD, 3, 2}, {0xF2, 0xAF, 9, 5},
      {0x64, 0x6C, 6, 2}, {0x64, 0x6E, 7, 2}, {0x64, 0xA4, 5, 2}, {0x64, 0xA6, 6, 2},
      {0x64, 0xAA, 3, 2}, {0x64, 0xAC, 3, 2}, {0x64, 0xAE, 4, 2},
      {0x65, 0xA5, 5, 2}, {0x65, 0xA7, 6, 2}, {0x65, 0xAB, 3, 2}, {0x65, 0xAF, 4, 2},
  };
  for (const auto& c : cases) {
    Reset();
    Set(CX, 4);
    Set(DX, 0x40);
    Set(SI, 0x100);
    Set(DI, 0x200);
    // REPE goes on over equal data; REPNE over differing data; REPNC while
    // nothing borrows; REPC while everything does.
    const bool equal = c.prefix == 0xF3;
    for (int i = 0; i < 8; ++i) {
      Byte(kData + 0x100 + i) = c.prefix == 0x65 ? 0x01 : 0x10;
      Byte(kExtra + 0x200 + i) = equal ? 0x10 : 0x08;
    }
    Set(AX, equal ? 0x1010 : c.prefix == 0x65 ? 0x0000 : 0x3030);
    SetFlags(c.prefix == 0x65 ? kCF : 0);
    EXPECT_EQ(Exec({c.prefix, c.op}), c.setUp + 4 * c.perElement)
        << std::hex << int(c.prefix) << " " << int(c.op);
    EXPECT_EQ(R(CX), 0) << std::hex << int(c.prefix) << " " << int(c.op);
    EXPECT_EQ(R(IP), 2);
  }
}

TEST_F(StringTest, RepMovsbCopiesAndCosts) {
  for (int i = 0; i < 100; ++i) Byte(kData + i) = uint8_t(i + 1);
  Set(CX, 100);
  EXPECT_EQ(Exec({0xF3, 0xA4}), 5 + 700);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Byte(kExtra + i), i + 1);
  EXPECT_EQ(R(SI), 100);
  EXPECT_EQ(R(DI), 100);
  Reset();
  Set(CX, 100);
  EXPECT_EQ(Exec({0xF2, 0xA4}), 2 + 500);
  EXPECT_EQ(R(CX), 0);
}

TEST_F(StringTest, ZeroCountRunsNoElement) {
  Poke(kData, {0x99});
  for (uint8_t prefix : {0xF3, 0xF2, 0x64, 0x65}) {
    Set(IP, 0);
    Set(CX, 0);
    EXPECT_EQ(Exec({prefix, 0xA4}), prefix == 0xF3 ? 5 : 2);
    EXPECT_EQ(R(CX), 0);
    EXPECT_EQ(R(SI), 0);
    EXPECT_EQ(Byte(kExtra), 0);
  }
  Set(IP, 0);
  EXPECT_EQ(Exec({0xF2, 0xA6}), 5);
}

TEST_F(StringTest, RepeatWithoutAStringOpcodeIsAPlainInstruction) {
  EXPECT_EQ(Exec({0xF3, 0x90}), 1);
  EXPECT_EQ(R(IP), 2);
  Set(CX, 5);
  EXPECT_EQ(Exec({0xF3, 0x41}), 1);  // INC CX, once
  EXPECT_EQ(R(CX), 6);
  Set(BX, 0x10);
  Poke(kExtra + 0x10, {0x42});
  EXPECT_EQ(Exec({0xF3, 0x26, 0x8A, 0x07}), 2 + 1);  // the segment prefix costs 2 here
  EXPECT_EQ(AL(), 0x42);
  EXPECT_FALSE(m->cpu.segOverride.active);
}

TEST_F(StringTest, RepStosbSuspendsWhenTheBudgetRunsOut) {
  Set(CX, 100);
  Set(AX, 0x5A);
  Set(IP, 0x10);
  Code({0xF3, 0xAA});
  EXPECT_EQ(Run(32), 35);
  EXPECT_EQ(R(CX), 95);
  EXPECT_EQ(R(DI), 5);
  EXPECT_EQ(R(IP), 0x10);
  EXPECT_EQ(Byte(kExtra + 4), 0x5A);
  EXPECT_EQ(Byte(kExtra + 5), 0);
  // The next run pays the set-up again and carries on.
  EXPECT_EQ(Step(), 5 + 95 * 6);
  EXPECT_EQ(R(CX), 0);
  EXPECT_EQ(R(DI), 100);
  EXPECT_EQ(R(IP), 0x12);
}

TEST_F(StringTest, AnElementStartsWhileTheBudgetIsNotNegative) {
  Set(CX, 10);
  Code({0xF3, 0xAA});
  EXPECT_EQ(Run(11), 5 + 2 * 6);  // elements at 6 and 0
  EXPECT_EQ(R(CX), 8);
}

TEST_F(StringTest, SuspensionBacksUpOverASegmentPrefixOnEitherSide) {
  for (const auto& bytes : {std::vector<uint8_t>{0x2E, 0xF3, 0xA4}, std::vector<uint8_t>{0xF3, 0x2E, 0xA4}}) {
    Reset();
    Set(CX, 50);
    Set(IP, 0x10);
    for (size_t i = 0; i < bytes.size(); ++i) Byte(kCode + 0x10 + i) = bytes[i];
    Byte(Linear(CS, 0)) = 0xC7;  // CS:SI source
    const int used = Run(20);
    EXPECT_EQ(R(IP), 0x10) << int(bytes[0]);
    EXPECT_EQ(Byte(kExtra), 0xC7);
    EXPECT_FALSE(m->cpu.segOverride.active);
    // 0x2E 0xF3: 1 + 5 set-up; 0xF3 0x2E: 2 + 5; then 7 per element.
    const int prefixCost = bytes[0] == 0x2E ? 1 : 2;
    EXPECT_EQ(used, prefixCost + 5 + 7 * (50 - R(CX)));
    Step();
    EXPECT_EQ(R(CX), 0);
    EXPECT_EQ(R(IP), 0x13);
  }
}

TEST_F(StringTest, RepeCmpsbStopsOnADifference) {
  Poke(kData, {'a', 'b', 'c', 'd'});
  Poke(kExtra, {'a', 'b', 'c', 'd'});
  Set(CX, 4);
  EXPECT_EQ(Exec({0xF3, 0xA6}), 45);
  EXPECT_TRUE(Has(kZF));
  EXPECT_EQ(R(CX), 0);
  Reset();
  Byte(kExtra + 1) = 'x';
  Set(CX, 4);
  EXPECT_EQ(Exec({0xF3, 0xA6}), 5 + 2 * 10);
  EXPECT_FALSE(Has(kZF));
  EXPECT_EQ(R(CX), 2);
  EXPECT_EQ(R(SI), 2);
  EXPECT_EQ(R(DI), 2);
}

TEST_F(StringTest, RepneScasbFindsTheByte) {
  Poke(kExtra, {1, 2, 3, 0, 5});
  Set(CX, 5);
  Set(AX, 0);
  EXPECT_EQ(Exec({0xF2, 0xAE}), 5 + 4 * 9);
  EXPECT_TRUE(Has(kZF));
  EXPECT_EQ(R(CX), 1);
  EXPECT_EQ(R(DI), 4);
}

TEST_F(StringTest, RepneIsInterruptibleOnlyForCompareAndScan) {
  Set(CX, 100);
  Code({0xF2, 0xAA});
  EXPECT_EQ(Run(10), 2 + 300);  // REPNE STOSB runs to the end
  EXPECT_EQ(R(CX), 0);
  Reset();
  Set(CX, 100);
  Set(AX, 0xFF);  // never found in the zero-filled destination
  Code({0xF2, 0xAE});
  EXPECT_EQ(Run(10), 5 + 9);  // suspended after one element
  EXPECT_EQ(R(CX), 99);
  EXPECT_EQ(R(IP), 0);
}

TEST_F(StringTest, CarryPrefixesTestAfterEachElementAndNeverSuspend) {
  // 0x65 with CF = 0: the first element always runs.
  Set(CX, 10);
  EXPECT_EQ(Exec({0x65, 0xA4}), 2 + 5);
  EXPECT_EQ(R(CX), 9);
  // 0x64 runs everything while CF = 0, beyond the budget.
  Reset();
  Set(CX, 100);
  Code({0x64, 0xAA});
  EXPECT_EQ(Run(10), 2 + 300);
  EXPECT_EQ(R(CX), 0);
  // 0x64 CMPSB stops once a compare borrows.
  Reset();
  Poke(kData, {5, 5, 1, 5});
  Poke(kExtra, {1, 2, 3, 4});
  Set(CX, 4);
  Exec({0x64, 0xA6});
  EXPECT_EQ(R(CX), 1);
  EXPECT_TRUE(Has(kCF));
  // 0x65 CMPSB goes on while it borrows.
  Reset();
  Poke(kData, {1, 1, 9, 1});
  Poke(kExtra, {2, 2, 3, 4});
  Set(CX, 4);
  SetFlags(kCF);
  Exec({0x65, 0xA6});
  EXPECT_EQ(R(CX), 1);
  EXPECT_FALSE(Has(kCF));
}

TEST_F(StringTest, RepOutsbFeedsThePortEachElement) {
  Poke(kData, {0x01, 0x02, 0x03});
  Set(DX, 0xC2);
  uint8_t* pages[4] = {bank1.data(), bank2.data(), bank1.data(), bank2.data()};
  for (int i = 1; i <= 3; ++i) m->map.RomBankTable[i] = pages[i];
  Set(CX, 3);
  EXPECT_EQ(Exec({0xF3, 0x6E}), 5 + 3 * 6);
  EXPECT_EQ(m->io.IoPorts[0xC2], 0x03);
  EXPECT_EQ(m->map.BankReadTable[2], pages[3]);
}

// A repeated string instruction goes through the page in runs where its
// elements lie in one bank; it must leave exactly what the same elements done
// one by one leave, also where they cross a bank, wrap the index, step down,
// overlap, or reach the palette area or the wave table.
class StringRunTest : public CpuTest {
 protected:
  struct State {
    std::vector<uint8_t> iram, bank1, palette, waves;
    uint16_t regs[kRegisterCount];
    uint16_t flags;
    bool operator==(const State&) const = default;
  };

  State Capture() {
    State s;
    s.iram.assign(m->mem.Iram, m->mem.Iram + kPageSize);
    s.bank1 = bank1;
    const auto& words = m->palette.PaletteWords;
    s.palette.assign(std::begin(words), std::end(words));
    const uint8_t* w = &m->sound.WaveImages[0][0];
    s.waves.assign(w, w + sizeof m->sound.WaveImages);
    std::memcpy(s.regs, m->cpu.regs.w, sizeof s.regs);
    s.flags = Flags();
    return s;
  }
  void Restore(const State& s) {
    std::memcpy(m->mem.Iram, s.iram.data(), kPageSize);
    bank1 = s.bank1;
    std::memcpy(m->palette.PaletteWords, s.palette.data(), s.palette.size());
    std::memcpy(&m->sound.WaveImages[0][0], s.waves.data(), s.waves.size());
    std::memcpy(m->cpu.regs.w, s.regs, sizeof s.regs);
    SetFlags(s.flags);
  }

  // The instruction under `prefix` (0xF3 or 0xF2) at CS:0, then the same
  // elements as single instructions; both must end in the same state.
  void ExpectRunMatchesElements(uint8_t prefix, uint8_t op, const char* what) {
    Set(IP, 0);
    Code({prefix, op});
    const State before = Capture();
    Step();
    const State repeated = Capture();

    Restore(before);
    Code({op});
    const bool compare = (op & 0xF6) == 0xA6;  // CMPS, SCAS
    for (uint16_t count = before.regs[CX]; count != 0;) {
      Set(IP, 0);
      Step();
      Set(CX, --count);
      if (compare && Has(kZF) != (prefix == 0xF3)) break;
    }
    Set(IP, 2);
    Code({prefix, op});
    const State single = Capture();
    EXPECT_TRUE(repeated == single) << what;
    EXPECT_EQ(repeated.iram, single.iram) << what;
    EXPECT_EQ(repeated.bank1, single.bank1) << what;
    EXPECT_EQ(repeated.palette, single.palette) << what;
    EXPECT_EQ(repeated.waves, single.waves) << what;
    for (int r = 0; r < kRegisterCount; ++r) {
      EXPECT_EQ(repeated.regs[r], single.regs[r]) << what << " register " << r;
    }
    EXPECT_EQ(repeated.flags, single.flags) << what;
  }

  // Code in bank 2, away from the data the cases move.
  void Fill() {
    m->map.BankReadTable[2] = bank2.data();
    Set(CS, 0x2000);
    for (uint32_t i = 0; i < kPageSize; ++i) {
      m->mem.Iram[i] = static_cast<uint8_t>(i * 7 + 3);
      bank1[i] = static_cast<uint8_t>(i * 5 + 1);
    }
  }
};

TEST_F(StringRunTest, CopiesAndFillsMatchElementByElement) {
  Fill();
  m->mem.WaveTableBase = 0x0E00;
  Set(DS, 0);
  Set(ES, 0);
  const struct {
    uint8_t op;
    uint16_t si, di, cx;
    bool down;
    const char* what;
  } cases[] = {
      {0xA5, 0x0800, 0x1000, 200, false, "MOVSW in plain Iram"},
      {0xA5, 0x0800, 0xFD80, 200, false, "MOVSW into the palette area"},
      {0xA4, 0x0800, 0x0DC0, 120, false, "MOVSB over the wave table"},
      {0xA5, 0x0800, 0x0E40, 40, true, "MOVSW down into the wave table"},
      {0xA4, 0x1000, 0x1001, 100, false, "MOVSB onto its own next byte"},
      {0xA5, 0x1001, 0x1000, 100, true, "MOVSW overlapping downwards"},
      {0xA5, 0xFFF0, 0x2000, 40, false, "MOVSW with SI wrapping at 0xFFFF"},
      {0xA5, 0x0010, 0x0030, 40, true, "MOVSW stepping below offset 0"},
      {0xAB, 0x0000, 0x3001, 300, false, "STOSW in plain Iram"},
      {0xAA, 0x0000, 0xFFF0, 40, false, "STOSB over the end of Iram"},
      {0xAD, 0x2000, 0x0000, 30, false, "LODSW"},
      {0xAC, 0x0005, 0x0000, 30, true, "LODSB stepping below offset 0"},
  };
  for (const auto& c : cases) {
    Set(SI, c.si);
    Set(DI, c.di);
    Set(CX, c.cx);
    Set(AX, 0xA55A);
    SetFlags(c.down ? kDF : 0);
    ExpectRunMatchesElements(0xF3, c.op, c.what);
  }
}

TEST_F(StringRunTest, RunsCrossingABankMatchElementByElement) {
  Fill();
  // DS:SI and ES:DI run from bank 0 over linear 0x10000 into bank 1.
  Set(DS, 0x0FF0);
  Set(ES, 0x0FF8);
  Set(SI, 0x00C0);
  Set(DI, 0x0001);
  Set(CX, 60);
  SetFlags(0);
  ExpectRunMatchesElements(0xF3, 0xA5, "MOVSW from bank 0 into bank 1");
  Set(ES, 0);
  Set(SI, 0x00C0);
  Set(DI, 0x3000);
  Set(CX, 60);
  ExpectRunMatchesElements(0xF3, 0xA5, "MOVSW reading from bank 0 and bank 1");
  Set(ES, 0x0FF8);
  Set(DI, 0x0001);
  Set(CX, 200);
  Set(AX, 0x00FE);
  ExpectRunMatchesElements(0xF2, 0xAE, "REPNE SCASB from bank 0 into bank 1");
  Set(ES, 0x0FF8);
  Set(DI, 0x0040);
  Set(CX, 60);
  ExpectRunMatchesElements(0xF3, 0xAB, "STOSW from bank 0 into bank 1");
  Set(DS, 0x0FFF);
  Set(ES, 0x0000);
  Set(SI, 0x0041);
  Set(DI, 0x4000);
  Set(CX, 100);
  SetFlags(kDF);
  ExpectRunMatchesElements(0xF3, 0xA5, "MOVSW down out of bank 1 into bank 0");
}

TEST_F(StringRunTest, ComparesStopWhereElementByElementStops) {
  Fill();
  Set(DS, 0);
  Set(ES, 0x0100);
  // Source 0x5000.. equals destination 0x6000.. for 37 bytes.
  for (int i = 0; i < 37; ++i) m->mem.Iram[0x6000 + i] = m->mem.Iram[0x5000 + i];
  const struct {
    uint8_t prefix, op;
    uint16_t si, di, cx, ax;
    bool down;
    const char* what;
  } cases[] = {
      {0xF3, 0xA6, 0x5000, 0x5000, 100, 0, false, "REPE CMPSB to the first difference"},
      {0xF3, 0xA7, 0x5000, 0x5000, 100, 0, false, "REPE CMPSW to the first difference"},
      {0xF3, 0xA6, 0x5000, 0x5000, 20, 0, false, "REPE CMPSB to the end of CX"},
      {0xF2, 0xA6, 0x5010, 0x5000, 100, 0, false, "REPNE CMPSB to the first match"},
      {0xF3, 0xA6, 0x5024, 0x5024, 30, 0, true, "REPE CMPSB downwards"},
      {0xF2, 0xAE, 0x0000, 0x0000, 300, 0x0031, false, "REPNE SCASB finds a byte"},
      {0xF2, 0xAF, 0x0000, 0xFFF0, 40, 0x1234, false, "REPNE SCASW over the end of the segment"},
      {0xF3, 0xAE, 0x0000, 0x0000, 50, 0x0003, true, "REPE SCASB below offset 0"},
  };
  for (const auto& c : cases) {
    Set(SI, c.si);
    Set(DI, c.di);
    Set(CX, c.cx);
    Set(AX, c.ax);
    SetFlags(c.down ? kDF : 0);
    ExpectRunMatchesElements(c.prefix, c.op, c.what);
  }
}

// Under a budget the elements that start before it goes negative run in the
// slice, whatever way they are done.
TEST_F(StringRunTest, ARunStopsWhereTheBudgetStops) {
  Set(DS, 0);
  Set(ES, 0);
  Set(SI, 0x1000);
  Set(DI, 0x2000);
  Set(CX, 100);
  Set(IP, 0x10);
  Code({0xF3, 0xA5});
  // 5 to set up, then 7 an element: elements start at 27, 20, 13, 6.
  EXPECT_EQ(Run(32), 5 + 4 * 7);
  EXPECT_EQ(R(CX), 96);
  EXPECT_EQ(R(SI), 0x1008);
  EXPECT_EQ(R(IP), 0x10);
  EXPECT_EQ(Run(33), 5 + 5 * 7);
  EXPECT_EQ(R(CX), 91);
  EXPECT_EQ(R(DI), 0x2012);
}

}  // namespace
}  // namespace kestra::test
