// The memory map through its public operations: reads and writes by linear
// address, and the bank ports.
#include <gtest/gtest.h>

#include "core/machine.h"
#include "system/loader.h"
#include "support/test_support.h"

namespace kestra {
namespace {

using test::Footer;
using test::MakeImage;
using test::TempDir;
using test::TestMachine;

// Loads an image of `banks` banks (bank i of the file filled with i + 1).
class MemoryMapTest : public ::testing::Test {
 protected:
  void Load(int banks, uint8_t romCode, uint8_t saveCode = 0) {
    Footer f;
    f.romSizeCode = romCode;
    f.saveTypeCode = saveCode;
    const std::string path = dir.file("game.ws");
    test::WriteFile(path, MakeImage(banks, f));
    ASSERT_EQ(LoadCartridge(*m, path), 0);
  }
  TempDir dir;
  TestMachine m;
};

TEST_F(MemoryMapTest, BanksWithoutMemoryReadAsFill) {
  Load(8, 2);
  // Bank 1 without save memory, and ROM banks 0xF0-0xF7 beyond the 8-bank image.
  EXPECT_EQ(ReadMemory(*m, 0x10000), 0xFF);
  EXPECT_EQ(ReadMemory(*m, 0x1FFFF), 0xFF);
  EXPECT_EQ(ReadMemory(*m, 0x40000), 0xFF);  // ROM bank 0xF4
  EXPECT_EQ(ReadMemory(*m, 0x80000), 1);     // ROM bank 0xF8: first bank of the file
  EXPECT_EQ(ReadMemory(*m, 0xE1234), 7);
  EXPECT_EQ(ReadMemory(*m, 0xF0000), 8);     // last bank of the file
}

TEST_F(MemoryMapTest, RomWritesChangeNothing) {
  Load(8, 2);
  for (uint32_t bank = 2; bank < 16; ++bank) {
    const uint32_t address = bank << 16 | 0x1234;
    const uint8_t before = ReadMemory(*m, address);
    WriteMemory(*m, address, static_cast<uint8_t>(before ^ 0x5A));
    EXPECT_EQ(ReadMemory(*m, address), before) << "bank " << bank;
  }
}

TEST_F(MemoryMapTest, IramReadsBackAndAddressesWrapAtOneMegabyte) {
  Load(8, 2);
  WriteMemory(*m, 0x01234, 0xAB);
  EXPECT_EQ(ReadMemory(*m, 0x01234), 0xAB);
  EXPECT_EQ(m->mem.Iram[0x1234], 0xAB);
  // Segment 0xFFFF, offset 0xFFFF: 0x10FFEF is bank 0, offset 0xFFEF.
  WriteMemory(*m, 0x10FFEF, 0x77);
  EXPECT_EQ(m->mem.Iram[0xFFEF], 0x77);
  EXPECT_EQ(ReadMemory(*m, 0xFFEF), 0x77);
}

TEST_F(MemoryMapTest, PaletteAndWaveWritesReachTheirHooks) {
  Load(8, 2);
  ASSERT_EQ(m->mem.WaveTableBase, -1);  // as after reset, until port 0x8F is written
  // 0xFFFF is both the last palette byte and, with the base at -1, wave index 0x3F.
  WriteMemory(*m, 0xFFFF, 0x5A);
  EXPECT_EQ(m->mem.Iram[0xFFFF], 0x5A);
  EXPECT_EQ(m->palette.PaletteWords[0x1FF], 0x5A);
  EXPECT_EQ(m->sound.WaveImages[3][30], 107 + 3 * 0xA);  // channel 4, samples 30 and 31
  EXPECT_EQ(m->sound.WaveImages[3][31], 107 + 3 * 0x5);
  // Offsets 0x0000-0x003E belong to the wave table too.
  WriteMemory(*m, 0x0012, 0x21);
  EXPECT_EQ(m->sound.WaveImages[1][4], 107 + 3 * 0x1);  // channel 2, byte 2
  EXPECT_EQ(m->sound.WaveImages[1][5], 107 + 3 * 0x2);
  // Below the palette area and outside the wave table: a plain store.
  WriteMemory(*m, 0xFDFF, 0x77);
  EXPECT_EQ(m->mem.Iram[0xFDFF], 0x77);
  EXPECT_EQ(m->palette.PaletteWords[0x1FF], 0x5A);
  // Once the game places the table, the old area is plain memory again.
  WritePort(*m, 0x8F, 0x38);  // 0x0E00
  WriteMemory(*m, 0x0012, 0x43);
  EXPECT_EQ(m->sound.WaveImages[1][4], 107 + 3 * 0x1);
  WriteMemory(*m, 0x0E12, 0x43);
  EXPECT_EQ(m->sound.WaveImages[1][4], 107 + 3 * 0x3);
}

TEST_F(MemoryMapTest, SramInBankOne) {
  Load(8, 2, 0x01);
  EXPECT_EQ(ReadMemory(*m, 0x10010), 0x00);  // a new save is zero
  WriteMemory(*m, 0x10010, 0x42);
  EXPECT_EQ(ReadMemory(*m, 0x10010), 0x42);
  EXPECT_EQ(m->map.SaveBankTable[0][0x10], 0x42);
}

TEST_F(MemoryMapTest, BankOneWritesWithoutSaveLandInFillPage) {
  Load(8, 2);
  WriteMemory(*m, 0x10020, 0x12);
  // Every bank that has no memory behind it now shows the byte.
  EXPECT_EQ(ReadMemory(*m, 0x10020), 0x12);
  EXPECT_EQ(ReadMemory(*m, 0x40020), 0x12);
  // The next load starts again with a clean FillPage.
  Load(8, 2);
  EXPECT_EQ(ReadMemory(*m, 0x40020), 0xFF);
}

TEST_F(MemoryMapTest, PortC1OutOfRangeKeepsBankOne) {
  Load(8, 2, 0x02);
  WriteMemory(*m, 0x10000, 0x99);
  WritePort(*m, 0xC1, 1);  // only save bank 0 exists
  EXPECT_EQ(ReadMemory(*m, 0x10000), 0x99);
  EXPECT_EQ(m->io.IoPorts[0xC1], 1);
}

TEST_F(MemoryMapTest, EepromStoreMapsIntoBankOneThroughPortC1) {
  Load(8, 2, 0x10);
  EXPECT_EQ(ReadMemory(*m, 0x10000), 0xFF);  // EEPROM cartridges have no SRAM in bank 1
  ASSERT_EQ(m->map.CartEepromStore, m->map.SaveBankTable[0]);
  m->map.CartEepromStore[4] = 0x5C;
  WritePort(*m, 0xC1, 0);
  EXPECT_EQ(ReadMemory(*m, 0x10004), 0x5C);
  WriteMemory(*m, 0x10005, 0x3D);
  EXPECT_EQ(m->map.CartEepromStore[5], 0x3D);
}

TEST_F(MemoryMapTest, BankPortsSelectRomBanks) {
  Load(16, 3);  // file banks 1..16 are ROM banks 0xF0..0xFF
  WritePort(*m, 0xC2, 0xF3);
  EXPECT_EQ(ReadMemory(*m, 0x20000), 4);
  WritePort(*m, 0xC3, 0xFE);
  EXPECT_EQ(ReadMemory(*m, 0x3ABCD), 15);
  WritePort(*m, 0xC2, 0x00);  // no such bank
  EXPECT_EQ(ReadMemory(*m, 0x20000), 0xFF);
  EXPECT_EQ(m->io.IoPorts[0xC2], 0x00);
  // Port 0xC0 = 0x0E: bank b shows ROM bank 0xE0 + b, only FillPage for this image.
  WritePort(*m, 0xC0, 0x0E);
  EXPECT_EQ(ReadMemory(*m, 0xF0000), 0xFF);
  WritePort(*m, 0xC0, 0x3F);  // only the low nibble counts
  EXPECT_EQ(ReadMemory(*m, 0xF0000), 16);
  EXPECT_EQ(ReadMemory(*m, 0x40000), 5);
  EXPECT_EQ(m->io.IoPorts[0xC0], 0x3F);
}

}  // namespace
}  // namespace kestra
