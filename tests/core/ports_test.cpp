// Port writes and their side effects, the unknown-port warning, and the
// machine reset's port values.
#include <gtest/gtest.h>

#include <set>

#include <vector>

#include "core/machine.h"
#include "loaded_machine.h"

namespace kestra {
namespace {

using test::LoadedMachineTest;

class PortTest : public LoadedMachineTest {
 protected:
  void SetUp() override { Load(0x02); }  // 32 KB SRAM in bank 1
};

TEST_F(PortTest, PortsThatStoreSomethingElse) {
  WritePort(*m, 0xA0, 0x00);
  EXPECT_EQ(Port(0xA0), 0x02);
  WritePort(*m, 0xA0, 0xFF);
  EXPECT_EQ(Port(0xA0), 0x02);

  WritePort(*m, 0x91, 0x05);
  EXPECT_EQ(Port(0x91), 0x85);
  WritePort(*m, 0xCA, 0x01);
  EXPECT_EQ(Port(0xCA), 0x81);
  WritePort(*m, 0xB3, 0xFB);  // bit 0x20 cleared, bit 0x04 set
  EXPECT_EQ(Port(0xB3), 0xDF);
  WritePort(*m, 0xB3, 0x00);
  EXPECT_EQ(Port(0xB3), 0x04);
}

TEST_F(PortTest, EepromControlPortsStoreShiftedValues) {
  const struct {
    uint8_t written, readBE, readC8;
  } cases[] = {{0x10, 0x01, 0x01}, {0x20, 0x02, 0x02}, {0x40, 0x04, 0x02},
               {0x00, 0x00, 0x00}, {0x0F, 0x00, 0x0F}, {0xF0, 0x0F, 0x0F}};
  for (const auto& c : cases) {
    WritePort(*m, 0xBE, c.written);
    WritePort(*m, 0xC8, c.written);
    EXPECT_EQ(Port(0xBE), c.readBE) << std::hex << int(c.written);
    EXPECT_EQ(Port(0xC8), c.readC8) << std::hex << int(c.written);
  }
}

TEST_F(PortTest, InterruptStatusWritesAcknowledge) {
  Port(0xB6) = 0xC2;
  WritePort(*m, 0xB6, 0x40);
  EXPECT_EQ(Port(0xB6), 0x82);
  WritePort(*m, 0xB6, 0xFF);
  EXPECT_EQ(Port(0xB6), 0x00);
}

TEST_F(PortTest, KeypadRowsFromTheButtonMask) {
  m->sched.ButtonMask = 0x0123;
  WritePort(*m, 0xB5, 0x30);
  EXPECT_EQ(Port(0xB5), 0x33);
  WritePort(*m, 0xB5, 0x40);
  EXPECT_EQ(Port(0xB5), 0x41);
  WritePort(*m, 0xB5, 0x7F);  // the written low nibble is dropped
  EXPECT_EQ(Port(0xB5), 0x73);
  WritePort(*m, 0xB5, 0x8F);
  EXPECT_EQ(Port(0xB5), 0x80);
}

TEST_F(PortTest, TimerReloadsAndControlLoadTheCounters) {
  WritePort(*m, 0xA4, 0x12);  // timer stopped: the counter still follows
  EXPECT_EQ(Port(0xA8), 0x12);
  WritePort(*m, 0xA5, 0x34);
  WritePort(*m, 0xA6, 0x56);
  WritePort(*m, 0xA7, 0x78);
  EXPECT_EQ(Port(0xA9), 0x34);
  EXPECT_EQ(Port(0xAA), 0x56);
  EXPECT_EQ(Port(0xAB), 0x78);

  Port(0xA8) = Port(0xA9) = Port(0xAA) = Port(0xAB) = 0x01;
  WritePort(*m, 0xA2, 0x0F);
  EXPECT_EQ(Port(0xA8), 0x12);
  EXPECT_EQ(Port(0xA9), 0x34);
  EXPECT_EQ(Port(0xAA), 0x56);
  EXPECT_EQ(Port(0xAB), 0x78);
  EXPECT_EQ(Port(0xA2), 0x0F);

  WritePort(*m, 0xA2, 0x01);  // HBlank timer on, VBlank timer off
  EXPECT_EQ(Port(0xA8), 0x12);
  EXPECT_EQ(Port(0xAA), 0x00);
  EXPECT_EQ(Port(0xAB), 0x00);

  WritePort(*m, 0xA2, 0x00);
  EXPECT_EQ(Port(0xA8) | Port(0xA9) | Port(0xAA) | Port(0xAB), 0);
  EXPECT_EQ(Port(0xA4), 0x12);  // the reloads stay
}

TEST_F(PortTest, MapBasePort) {
  WritePort(*m, 0x07, 0x3A);
  EXPECT_EQ(m->io.MapBaseLow, 0x5000u);
  EXPECT_EQ(m->io.MapBaseHigh, 0x1800u);
  EXPECT_EQ(Port(0x07), 0x3A);
}

TEST_F(PortTest, DmaOfLengthZeroCopiesNothing) {
  const uint8_t before[] = {0x00, 0x10, 0x00, 0x77, 0x00, 0x20, 0x00, 0x00};
  for (int i = 0; i < 8; ++i) Port(0x40 + i) = before[i];
  m->mem.Iram[0x1000] = 0xAA;
  m->mem.Iram[0x2000] = 0x55;
  WritePort(*m, 0x48, 0x80);
  EXPECT_EQ(m->mem.Iram[0x2000], 0x55);
  EXPECT_EQ(Port(0x48), 0x00);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Port(0x40 + i), i == 3 ? 0 : before[i]) << "port " << std::hex << 0x40 + i;
  }
}

TEST_F(PortTest, DmaCrossesBanksAndWritesThroughTheBankTable) {
  // Source 0x1FFFE: the last two bytes of SRAM, then ROM bank 0xFF (the
  // image's last bank, filled with 8). Destination 0xFFFE: the top of the
  // palette area, then on into SRAM in bank 1.
  WriteMemory(*m, 0x1FFFE, 0x21);
  WriteMemory(*m, 0x1FFFF, 0x43);
  const uint32_t source = 0x1FFFE, destination = 0xFFFE, length = 4;
  Port(0x40) = source & 0xFF;
  Port(0x41) = (source >> 8) & 0xFF;
  Port(0x42) = source >> 16;
  Port(0x44) = destination & 0xFF;
  Port(0x45) = destination >> 8;
  Port(0x46) = length;
  Port(0x47) = 0;
  WritePort(*m, 0x48, 0x83);

  EXPECT_EQ(m->mem.Iram[0xFFFE], 0x21);
  EXPECT_EQ(m->mem.Iram[0xFFFF], 0x43);
  EXPECT_EQ(m->palette.PaletteWords[0x1FE], 0x21);  // through the palette hook
  EXPECT_EQ(m->palette.PaletteWords[0x1FF], 0x43);
  EXPECT_EQ(m->mem.Iram[0x0000], 0x00);  // no wrap inside bank 0
  EXPECT_EQ(m->map.SaveBankTable[0][0], 8);
  EXPECT_EQ(m->map.SaveBankTable[0][1], 8);

  EXPECT_EQ(Port(0x40), 0x02);
  EXPECT_EQ(Port(0x41), 0x00);
  EXPECT_EQ(Port(0x42), 0x02);
  EXPECT_EQ(Port(0x44), 0x02);
  EXPECT_EQ(Port(0x45), 0x00);
  EXPECT_EQ(Port(0x43), 0x01);
  EXPECT_EQ(Port(0x46), 0);
  EXPECT_EQ(Port(0x47), 0);
  EXPECT_EQ(Port(0x48), 0x03);
}

TEST_F(PortTest, HighPortsAreNeverStored) {
  std::vector<uint8_t> before(m->io.IoPorts, m->io.IoPorts + 0xFF);
  WritePort(*m, 0xFF, 0x34);
  WritePort(*m, 0x100, 0x12);
  WritePort(*m, 0xFFFF, 0x56);
  WritePort(*m, 0x10000, 0x78);
  EXPECT_EQ(Port(0xFF), 0x34);
  // Nothing reached a low port by a port number cut to 8 bits.
  EXPECT_EQ(std::vector<uint8_t>(m->io.IoPorts, m->io.IoPorts + 0xFF), before);
}

TEST_F(PortTest, WordOutToPortFFReachesPort100Unstored) {
  m->settings.Verbose = 1;
  // MOV AX,0x1234; OUT 0xFF,AX; JMP $
  Program(0x400, {0xB8, 0x34, 0x12, 0xE7, 0xFF, 0xEB, 0xFE});
  RunSlices(*m, 1);
  EXPECT_EQ(Port(0xFF), 0x34);
  EXPECT_EQ(Port(0x100), 0);
  // 0xFF is itself a port without meaning: two warnings, both after the OUT.
  ASSERT_EQ(m.messages.messages.size(), 2u);
  EXPECT_EQ(m.messages.messages[0].text, "不明ﾚｼﾞｽﾀの書き込み 000405");
  EXPECT_EQ(m.messages.messages[1].text, "不明ﾚｼﾞｽﾀの書き込み 000405");
}

TEST_F(PortTest, BankPortC0LetsOneMoreInstructionRunFromHighCode) {
  // MOV AL,0x0E; OUT 0xC0,AL; MOV BL,[ES:0]; MOV CL,[ES:0]; JMP $. With ES
  // 0xF000 the reads see ROM bank 0xFF (filled with 8) before the switch and
  // bank 0xEF (none: 0xFF) after it.
  const std::vector<uint8_t> code = {0xB0, 0x0E, 0xE6, 0xC0, 0x26, 0x8A, 0x1E, 0x00, 0x00,
                                     0x26, 0x8A, 0x0E, 0x00, 0x00, 0xEB, 0xFE};
  Program(0x0000, code);
  SetCpuRegister(*m, 11, 0xF000);  // ES
  SetCpuRegister(*m, 12, 0xFFFF);  // FFFF:0010 is Iram offset 0
  SetCpuRegister(*m, 1, 0x0010);
  RunSlices(*m, 1);
  EXPECT_EQ(GetCpuRegister(*m, 5) & 0xFF, 8);     // BL: the old mapping
  EXPECT_EQ(GetCpuRegister(*m, 3) & 0xFF, 0xFF);  // CL: the new one

  Load(0x02);
  Program(0x0400, code);  // CS 0: the switch is immediate
  SetCpuRegister(*m, 11, 0xF000);
  RunSlices(*m, 1);
  EXPECT_EQ(GetCpuRegister(*m, 5) & 0xFF, 0xFF);
}

// Every port that the console gives no meaning, and nothing else, warns.
TEST_F(PortTest, UnknownPortsWarnOnlyWithVerbose) {
  const std::set<uint32_t> unknown = [] {
    std::set<uint32_t> s;
    auto add = [&s](uint32_t first, uint32_t last) {
      for (uint32_t p = first; p <= last; ++p) s.insert(p);
    };
    add(0x18, 0x1B), add(0x54, 0x5F), add(0x61, 0x61), add(0x63, 0x63), add(0x6C, 0x7F);
    add(0x95, 0x9F), add(0xA1, 0xA1), add(0xA3, 0xA3), add(0xAC, 0xAF), add(0xB8, 0xB9);
    add(0xBF, 0xBF), add(0xC9, 0xC9), add(0xD0, 0xD0), add(0xD2, 0xD2), add(0xD4, 0xD4);
    add(0xD6, 0xFF);
    return s;
  }();
  SetCpuRegister(*m, 12, 0x0000);  // keep port 0xC0 from stepping the CPU

  for (uint32_t port = 0; port < 0x100; ++port) WritePort(*m, port, 0);
  EXPECT_TRUE(m.messages.messages.empty());

  m->settings.Verbose = 1;
  for (uint32_t port = 0; port < 0x102; ++port) {
    m.messages.messages.clear();
    WritePort(*m, port, 0);
    const bool expected = port >= 0x100 || unknown.count(port) != 0;
    EXPECT_EQ(m.messages.messages.size(), expected ? 1u : 0u) << "port " << std::hex << port;
  }
  // Stored all the same.
  WritePort(*m, 0xD6, 0x5A);
  EXPECT_EQ(Port(0xD6), 0x5A);
}

TEST_F(PortTest, UnknownPortWarningNamesTheAddressAfterTheOut) {
  m->settings.Verbose = 1;
  SetCpuRegister(*m, 12, 0xF000);
  SetCpuRegister(*m, 1, 0x0123);
  WritePort(*m, 0x18, 1);
  SetCpuRegister(*m, 12, 0xFFFF);  // past 1 MB: the address is not masked
  SetCpuRegister(*m, 1, 0xFFFF);
  WritePort(*m, 0x100, 1);
  ASSERT_EQ(m.messages.messages.size(), 2u);
  EXPECT_EQ(m.messages.messages[0].caption, "警告");
  EXPECT_EQ(m.messages.messages[0].text, "不明ﾚｼﾞｽﾀの書き込み 0F0123");
  EXPECT_EQ(m.messages.messages[0].icon, MessageIcon::None);
  EXPECT_EQ(m.messages.messages[1].text, "不明ﾚｼﾞｽﾀの書き込み 10FFEF");
}

TEST_F(PortTest, ResetLeavesThePortTable) {
  // Dirty everything first: the next load clears it.
  for (uint32_t port = 0; port < 0x100; ++port) Port(port) = 0xEE;
  m->io.MapBaseLow = m->io.MapBaseHigh = 0x1234;
  Load(0x02);

  uint8_t expected[0x100] = {};
  const uint8_t palette[] = {0x99, 0xFD, 0xB7, 0xDF, 0x30, 0x57, 0x75, 0x76, 0x15, 0x73, 0x77, 0x77,
                             0x20, 0x75, 0x50, 0x36, 0x70, 0x67, 0x50, 0x77, 0x57, 0x54, 0x75, 0x77,
                             0x75, 0x17, 0x37, 0x73, 0x50, 0x57, 0x60, 0x77, 0x70, 0x77, 0x10, 0x73};
  for (int i = 0; i < 0x24; ++i) expected[0x1C + i] = palette[i];
  expected[0x14] = 0x01;
  expected[0x8F] = 0x03;
  expected[0x91] = 0x80;
  expected[0xA0] = 0x02;
  expected[0xB3] = 0x04;
  expected[0xC0] = 0x0F;
  expected[0xC2] = 0xFF;
  expected[0xC3] = 0xFF;
  for (uint32_t port = 0; port < 0x100; ++port) {
    EXPECT_EQ(Port(port), expected[port]) << "port " << std::hex << port;
  }
  EXPECT_EQ(m->io.MapBaseLow, 0u);
  EXPECT_EQ(m->io.MapBaseHigh, 0u);
  const uint8_t shades[8] = {0x66, 0x66, 0x22, 0x00, 0x88, 0x44, 0x00, 0x22};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(m->palette.ShadePool[i], shades[i]) << "shade " << i;
  EXPECT_EQ(m->mem.WaveTableBase, -1);
  EXPECT_EQ(GetCpuRegister(*m, 6), 0x2000);  // SP
  EXPECT_EQ(GetCpuRegister(*m, 12), 0xFFFF);  // CS
  EXPECT_EQ(GetCpuRegister(*m, 1), 0);        // IP
  EXPECT_EQ(m->sched.ButtonMask, 0);
  EXPECT_EQ(m->sprites.count, 0);
  // Banks 2, 3 and 4-15 show the top of the image (its last bank, filled with 8).
  EXPECT_EQ(ReadMemory(*m, 0x20000), 8);
  EXPECT_EQ(ReadMemory(*m, 0x30000), 8);
  EXPECT_EQ(ReadMemory(*m, 0xF0000), 8);
  EXPECT_EQ(ReadMemory(*m, 0xE0000), 7);
}

TEST_F(PortTest, ResetKeepsSchedulerState) {
  m->sched.SlicePhase = 5;
  m->sched.FrameSkipCounter = 3;
  m->sched.ButtonMask = 0x0FFF;
  Load(0);
  EXPECT_EQ(m->sched.SlicePhase, 5);
  EXPECT_EQ(m->sched.FrameSkipCounter, 3);
  EXPECT_EQ(m->sched.ButtonMask, 0);
}

}  // namespace
}  // namespace kestra
