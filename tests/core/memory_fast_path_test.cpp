// The shortcuts of the memory map: plain Iram stores that skip the write
// table, and words read or written in one access. Each must leave exactly
// what the byte-by-byte route through BankReadTable/BankWriteTable leaves,
// most of all at the edges: the palette area, the wave table, and the end
// of a 64 KB bank.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/machine.h"
#include "system/loader.h"
#include "support/test_support.h"

namespace kestra {
namespace {

using test::Footer;
using test::MakeImage;
using test::TempDir;
using test::TestMachine;

// Two machines with the same cartridge (SRAM in bank 1): one is written
// through the shortcuts, the other through the write table byte by byte.
class MemoryFastPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Footer f;
    f.romSizeCode = 2;
    f.saveTypeCode = 0x01;
    const std::string path = dir.file("game.ws");
    test::WriteFile(path, MakeImage(8, f));
    for (TestMachine* t : {&fast, &reference}) ASSERT_EQ(LoadCartridge(**t, path), 0);
  }

  void SetWaveTableBase(int32_t base) {
    fast->mem.WaveTableBase = reference->mem.WaveTableBase = base;
  }

  static void ByteByByte(Machine& m, uint32_t address, uint16_t value) {
    BankWriteTable[(address >> 16) & 0xF](m, address, value & 0xFF);
    BankWriteTable[((address + 1) >> 16) & 0xF](m, address + 1, value >> 8);
  }

  // Everything a write can reach: Iram, the save page, the palette bytes and
  // the channels' wave images.
  void ExpectSameState(uint32_t address) {
    const Machine& a = *fast;
    const Machine& b = *reference;
    EXPECT_EQ(0, std::memcmp(a.mem.Iram, b.mem.Iram, kPageSize)) << std::hex << address;
    EXPECT_EQ(0, std::memcmp(a.map.SaveBankTable[0], b.map.SaveBankTable[0], kPageSize))
        << std::hex << address;
    EXPECT_EQ(0, std::memcmp(a.palette.PaletteWords, b.palette.PaletteWords,
                             sizeof a.palette.PaletteWords))
        << std::hex << address;
    EXPECT_EQ(0, std::memcmp(a.sound.WaveImages, b.sound.WaveImages, sizeof a.sound.WaveImages))
        << std::hex << address;
  }

  // Word and byte writes at every address of [first, last].
  void CompareRange(uint32_t first, uint32_t last) {
    for (uint32_t address = first; address <= last; ++address) {
      const uint16_t value = static_cast<uint16_t>(address * 0x9E37 + 0x1234);
      WriteMemoryWord(*fast, address, value);
      ByteByByte(*reference, address, value);
      ExpectSameState(address);
      WriteMemory(*fast, address, static_cast<uint8_t>(value >> 3));
      BankWriteTable[(address >> 16) & 0xF](*reference, address, static_cast<uint8_t>(value >> 3));
      ExpectSameState(address);
      if (HasFailure()) return;
    }
  }

  TempDir dir;
  TestMachine fast;
  TestMachine reference;
};

TEST_F(MemoryFastPathTest, WritesAtThePaletteEdgeAndTheEndOfIram) {
  SetWaveTableBase(0x0E00);
  CompareRange(0xFDE0, 0xFFFF);  // 0xFDFF puts its high byte into the palette; 0xFFFF into bank 1
  EXPECT_NE(fast->palette.PaletteWords[0x1FF], 0);
  EXPECT_NE(fast->map.SaveBankTable[0][0], 0) << "the high byte of a word at 0xFFFF is in bank 1";
}

TEST_F(MemoryFastPathTest, WritesAroundTheWaveTable) {
  SetWaveTableBase(0x0E00);
  CompareRange(0x0DB0, 0x0E50);
  SetWaveTableBase(0x0000);
  CompareRange(0x0000, 0x0050);
  CompareRange(0xFFC0, 0xFFFF);
  CompareRange(0x10000, 0x10004);
}

// As after reset: -1 puts offsets 0x0000-0x003E and 0xFFFF into the table.
TEST_F(MemoryFastPathTest, WritesAroundTheWaveTableBeforeItIsPlaced) {
  SetWaveTableBase(-1);
  CompareRange(0x0000, 0x0050);
  CompareRange(0xFFF0, 0xFFFF);
  // Beyond bank 0 (and above one megabyte) the same offsets are no wave writes.
  CompareRange(0x1FFF0, 0x20010);
  CompareRange(0x100000, 0x100041);
}

TEST_F(MemoryFastPathTest, WordReadsTakeTheHighByteFromTheNextBank) {
  fast->mem.Iram[0xFFFF] = 0x34;
  fast->map.SaveBankTable[0][0x0000] = 0x12;
  fast->mem.Iram[0x0000] = 0x56;
  EXPECT_EQ(ReadMemoryWord(*fast, 0x0FFFF), 0x1234);
  EXPECT_EQ(ReadMemoryWord(*fast, 0x10FFFF), 0x1234) << "bit 20 is ignored";
  fast->map.SaveBankTable[0][0xFFFF] = 0x78;
  EXPECT_EQ(ReadMemoryWord(*fast, 0x1FFFF), ReadMemory(*fast, 0x20000) << 8 | 0x78);
  fast->mem.Iram[0x4321] = 0xCD;
  fast->mem.Iram[0x4322] = 0xAB;
  EXPECT_EQ(ReadMemoryWord(*fast, 0x4321), 0xABCD);
  // ROM bank 0xFF at bank 15: its last byte and then Iram offset 0 above one megabyte.
  EXPECT_EQ(ReadMemoryWord(*fast, 0xFFFFF), 0x56 << 8 | ReadMemory(*fast, 0xFFFFF));
}

// MOV AX, imm16 with the immediate split over two banks by the linear
// address (CS:IP 0x0FFF:0x000E puts it at 0x0FFFF and 0x10000).
TEST_F(MemoryFastPathTest, ImmediateWordFetchedAcrossABank) {
  Machine& m = *fast;
  m.mem.Iram[0xFFFE] = 0xB8;
  m.mem.Iram[0xFFFF] = 0x11;
  m.map.SaveBankTable[0][0x0000] = 0x22;
  SetCpuRegister(m, 12, 0x0FFF);
  SetCpuRegister(m, 1, 0x000E);
  CpuStep(m);
  EXPECT_EQ(GetCpuRegister(m, 2), 0x2211);
  EXPECT_EQ(GetCpuRegister(m, 1), 0x0011);
}

}  // namespace
}  // namespace kestra
