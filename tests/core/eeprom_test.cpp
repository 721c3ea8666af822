// The serial EEPROMs as a game drives them: command, data and control ports.
#include <gtest/gtest.h>

#include "core/machine.h"
#include "system/loader.h"
#include "loaded_machine.h"

namespace kestra {
namespace {

using test::LoadedMachineTest;

class EepromTest : public LoadedMachineTest {
 protected:
  // A command through the cartridge EEPROM's ports, data word first.
  void Command(uint16_t command, uint16_t data = 0) {
    WritePort(*m, 0xC4, data & 0xFF);
    WritePort(*m, 0xC5, data >> 8);
    WritePort(*m, 0xC6, command & 0xFF);
    WritePort(*m, 0xC7, command >> 8);
    WritePort(*m, 0xC8, 0x10);
  }
  uint16_t Data() { return static_cast<uint16_t>(Port(0xC4) | Port(0xC5) << 8); }
  uint16_t Word(int i) {
    const uint8_t* s = m->map.CartEepromStore;
    return static_cast<uint16_t>(s[2 * i] | s[2 * i + 1] << 8);
  }

  // 1-Kbit EEPROM: start bit 8, six address bits.
  static constexpr uint16_t kEnable = 0x0130, kDisable = 0x0100, kFill = 0x0110,
                            kEraseAll = 0x0120;
  static uint16_t Write(int address) { return static_cast<uint16_t>(0x0140 | address); }
  static uint16_t Read(int address) { return static_cast<uint16_t>(0x0180 | address); }
  static uint16_t Erase(int address) { return static_cast<uint16_t>(0x01C0 | address); }
};

TEST_F(EepromTest, EnableWriteRead) {
  Load(0x10);
  Command(kEnable);
  WritePort(*m, 0xC4, 0x34);
  WritePort(*m, 0xC5, 0x12);
  WritePort(*m, 0xC6, 0x45);
  WritePort(*m, 0xC7, 0x01);
  WritePort(*m, 0xC8, 0x20);
  const uint8_t* store = m->map.SaveBankTable[0];
  EXPECT_EQ(store[10], 0x34);
  EXPECT_EQ(store[11], 0x12);
  EXPECT_EQ(Port(0xC4), 0);
  EXPECT_EQ(Port(0xC5), 0);

  WritePort(*m, 0xC6, 0x85);
  WritePort(*m, 0xC8, 0x10);
  EXPECT_EQ(Port(0xC4), 0x34);
  EXPECT_EQ(Port(0xC5), 0x12);
}

TEST_F(EepromTest, WritesAreRefusedUntilEnabledAndAfterDisable) {
  Load(0x10);
  Command(Write(3), 0xBEEF);
  EXPECT_EQ(Word(3), 0x0000);
  EXPECT_EQ(Data(), 0);
  Command(kFill, 0x1111);
  Command(kEraseAll);
  Command(Erase(4));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(Word(i), 0) << i;

  Command(kEnable);
  Command(Write(3), 0xBEEF);
  EXPECT_EQ(Word(3), 0xBEEF);
  Command(kDisable);
  Command(Write(3), 0x1234);
  EXPECT_EQ(Word(3), 0xBEEF);

  // Reads work without write-enable; a reset disables writes again.
  Command(Read(3));
  EXPECT_EQ(Data(), 0xBEEF);
  Command(kEnable);
  Load(0x10);
  Command(Write(3), 0x1234);
  EXPECT_EQ(Word(3), 0x0000);
}

TEST_F(EepromTest, CommandWordsWithoutAddressDisableWrites) {
  Load(0x10);
  for (uint16_t command = 1; command <= 15; ++command) {
    Command(kEnable);
    Command(command, 0x5555);
    EXPECT_EQ(Data(), 0) << command;
    Command(Write(1), 0x4242);
    EXPECT_EQ(Word(1), 0) << command;
  }
}

TEST_F(EepromTest, ZeroCommandWordOnlyClearsTheData) {
  Load(0x10);
  Command(kEnable);
  Command(0x0000, 0x7777);
  EXPECT_EQ(Data(), 0);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(Word(i), 0) << i;
  Command(Write(2), 0x0102);  // still enabled
  EXPECT_EQ(Word(2), 0x0102);
}

TEST_F(EepromTest, FillEraseAllAndEraseStayInsideTheAddressRange) {
  Load(0x10);
  Command(kEnable);
  Command(kFill, 0xA55A);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(Word(i), 0xA55A) << i;
  EXPECT_EQ(Word(64), 0);  // beyond the 128 bytes
  EXPECT_EQ(Data(), 0);

  Command(Erase(7));
  EXPECT_EQ(Word(7), 0xFFFF);
  EXPECT_EQ(Word(6), 0xA55A);

  Command(kEraseAll);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(Word(i), 0xFFFF) << i;
  EXPECT_EQ(Word(64), 0);
}

TEST_F(EepromTest, WideCommandsAddressTwoKilobytes) {
  Load(0x20);
  // Start bit 12: ten address bits, 1024 words.
  Command(0x1000 | 0x0300);  // enable
  Command(0x1000 | 0x0400 | 1000, 0xCAFE);
  EXPECT_EQ(Word(1000), 0xCAFE);
  Command(0x1000 | 0x0800 | 1000);
  EXPECT_EQ(Data(), 0xCAFE);
  // The widest command (start bit 15) reaches word 8191 and no further.
  Command(0x9800);  // enable
  Command(0x8000 | 0x2000 | 0x1FFF, 0x7E7E);
  EXPECT_EQ(Word(8191), 0x7E7E);
  Command(0x8000 | 0x0800, 0x0909);  // fill 8192 words
  EXPECT_EQ(Word(8191), 0x0909);
  EXPECT_EQ(m->map.SaveBankTable[0][16384], 0);
}

TEST_F(EepromTest, InternalEepromHasNoStoreAndLeavesItsDataPorts) {
  Load(0x10);
  WritePort(*m, 0xBA, 0x12);
  WritePort(*m, 0xBB, 0x34);
  for (uint16_t command : {kEnable, Read(1), Write(1), kEraseAll, uint16_t{0}, uint16_t{5}}) {
    WritePort(*m, 0xBC, command & 0xFF);
    WritePort(*m, 0xBD, command >> 8);
    WritePort(*m, 0xBE, 0x20);
    EXPECT_EQ(Port(0xBA), 0x12);
    EXPECT_EQ(Port(0xBB), 0x34);
  }
  for (int i = 0; i < 64; ++i) EXPECT_EQ(Word(i), 0) << i;
}

TEST_F(EepromTest, CartridgeWithoutEepromIgnoresItsPorts) {
  Load(0x01);  // SRAM
  Command(kEnable);
  Command(Write(0), 0x1234);
  EXPECT_EQ(Data(), 0x1234);
  EXPECT_EQ(m->map.SaveBankTable[0][0], 0);
}

TEST_F(EepromTest, WordsReachTheSaveFileAndComeBack) {
  Load(0x10);
  Command(kEnable);
  Command(Write(0), 0x3412);
  Command(Write(63), 0xBBAA);
  UnloadCartridge(*m);

  const auto sav = test::ReadFile(dir.file("game.sav"));
  ASSERT_EQ(sav.size(), 128u);
  EXPECT_EQ(sav[0], 0x12);
  EXPECT_EQ(sav[1], 0x34);
  EXPECT_EQ(sav[126], 0xAA);
  EXPECT_EQ(sav[127], 0xBB);

  ASSERT_EQ(LoadCartridge(*m, imagePath), 0);
  Command(Read(63));
  EXPECT_EQ(Data(), 0xBBAA);
}

}  // namespace
}  // namespace kestra
