// Loading images and keeping save memory: every message of the loader, the
// footer tables, the checksum and the .sav round trip.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/machine.h"
#include "system/loader.h"
#include "support/test_support.h"

namespace kestra {
namespace {

using test::Footer;
using test::MakeImage;
using test::ReadFile;
using test::TempDir;
using test::TestMachine;
using test::WriteFile;

class CartridgeTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.file(name);
    WriteFile(path, bytes);
    return path;
  }
  std::string WriteImage(const std::string& name, int banks, const Footer& f,
                         bool badChecksum = false) {
    return Write(name, MakeImage(banks, f, badChecksum));
  }
  void ExpectOnlyError(const char* text) {
    ASSERT_EQ(m.messages.messages.size(), 1u);
    EXPECT_EQ(m.messages.messages[0].caption, "ｴﾗｰ");
    EXPECT_EQ(m.messages.messages[0].text, text);
    EXPECT_EQ(m.messages.messages[0].icon, MessageIcon::Warning);
  }
  TempDir dir;
  TestMachine m;
};

TEST_F(CartridgeTest, LoadFailuresShowTheirMessage) {
  EXPECT_EQ(LoadCartridge(*m, dir.file("missing.ws")), -1);
  ExpectOnlyError("ﾌｧｲﾙが見つかりません");

  m.messages.messages.clear();
  EXPECT_EQ(LoadCartridge(*m, Write("tiny.ws", {1, 2, 3, 4, 5})), -1);
  ExpectOnlyError("ﾌｧｲﾙを読めません");

  for (uint8_t code : {0, 5, 7, 10, 0xFF}) {
    m.messages.messages.clear();
    Footer f;
    f.romSizeCode = code;
    EXPECT_EQ(LoadCartridge(*m, WriteImage("bad.ws", 1, f)), -1);
    ExpectOnlyError("ROMﾊﾞﾝｸ数が不正です");
  }
}

TEST_F(CartridgeTest, ImageWithoutOneWholeBankCannotBeRead) {
  std::vector<uint8_t> small(1000, 0);
  small[small.size() - 6] = 1;  // a valid ROM size code
  EXPECT_EQ(LoadCartridge(*m, Write("small.ws", small)), -1);
  ExpectOnlyError("ﾌｧｲﾙを読めません");
}

TEST_F(CartridgeTest, BanksLandFromTheEndOfTheFile) {
  Footer f;
  f.romSizeCode = 2;
  ASSERT_EQ(LoadCartridge(*m, WriteImage("eight.ws", 8, f)), 0);
  EXPECT_TRUE(m.messages.messages.empty());
  for (int e = 0; e < 256; ++e) {
    const uint8_t expected = e >= 248 ? static_cast<uint8_t>(e - 247) : 0xFF;
    EXPECT_EQ(m->map.RomBankTable[e][0x100], expected) << "entry " << e;
  }
  // Reset: the CPU starts at 0xFFFF:0000, the jump of the last bank.
  EXPECT_EQ(ReadMemory(*m, 0xFFFF0), 0xEA);
  EXPECT_EQ(GetCpuRegister(*m, 12), 0xFFFF);
  EXPECT_EQ(GetCpuRegister(*m, 6), 0x2000);
}

// Home-made images often declare fewer banks than they hold: every whole
// bank the file holds loads, the last at bank 255.
TEST_F(CartridgeTest, EveryBankOfALongerImageThanItsFooterSaysLoads) {
  Footer f;
  f.romSizeCode = 2;  // 8 banks of a 16-bank file
  ASSERT_EQ(LoadCartridge(*m, WriteImage("long.ws", 16, f)), 0);
  EXPECT_EQ(m->map.RomBankTable[248][0], 9);
  EXPECT_EQ(m->map.RomBankTable[255][0], 16);
  EXPECT_EQ(m->map.RomBankTable[240][0], 1);
  EXPECT_EQ(m->map.RomBankTable[239][0], 0xFF);
  EXPECT_EQ(m->cart.RomBankCount, 8);
  EXPECT_EQ(m->cart.LoadedRomBanks, 16);
}

TEST_F(CartridgeTest, ShortImageLoadsTheBanksItHas) {
  Footer f;
  f.romSizeCode = 3;  // declares 16 banks, the file has 2 and a bit
  std::vector<uint8_t> image = MakeImage(2, f);
  image.insert(image.begin(), 1000, 0x77);  // a partial bank in front is ignored
  ASSERT_EQ(LoadCartridge(*m, Write("short.ws", image)), 0);
  EXPECT_EQ(m->map.RomBankTable[255][0], 2);
  EXPECT_EQ(m->map.RomBankTable[254][0], 1);
  EXPECT_EQ(m->map.RomBankTable[253][0], 0xFF);
  EXPECT_EQ(m->map.RomBankTable[240][0], 0xFF);
}

TEST_F(CartridgeTest, ChecksumMismatchWarnsOnlyWithVerbose) {
  Footer f;
  const std::string path = WriteImage("bad.ws", 8, f, /*badChecksum=*/true);
  ASSERT_EQ(LoadCartridge(*m, path), 0);
  EXPECT_TRUE(m.messages.messages.empty());

  m->settings.Verbose = 1;
  ASSERT_EQ(LoadCartridge(*m, path), 0);
  ExpectOnlyError("ｻﾑﾁｪｯｸｴﾗｰ");

  m.messages.messages.clear();
  ASSERT_EQ(LoadCartridge(*m, WriteImage("good.ws", 8, f)), 0);
  EXPECT_TRUE(m.messages.messages.empty());
}

TEST_F(CartridgeTest, SaveTypesAndTheirFiles) {
  struct Case {
    uint8_t code;
    size_t size;
    bool eeprom;
  };
  for (const Case c : {Case{0x01, 8192, false}, Case{0x02, 32768, false}, Case{0x10, 128, true},
                       Case{0x20, 2048, true}}) {
    SCOPED_TRACE(c.code);
    Footer f;
    f.saveTypeCode = c.code;
    const std::string path = WriteImage("save.wsc", 8, f);
    std::filesystem::remove(dir.file("save.sav"));
    ASSERT_EQ(LoadCartridge(*m, path), 0);
    EXPECT_EQ(m->cart.SaveIsEeprom, c.eeprom);
    EXPECT_EQ(ReadMemory(*m, 0x10000), c.eeprom ? 0xFF : 0x00);
    m->map.SaveBankTable[0][0] = 0xA5;
    m->map.SaveBankTable[0][c.size - 1] = 0x5A;
    UnloadCartridge(*m);
    const auto saved = ReadFile(dir.file("save.sav"));
    ASSERT_EQ(saved.size(), c.size);
    EXPECT_EQ(saved.front(), 0xA5);
    EXPECT_EQ(saved.back(), 0x5A);
    // The next load reads it back.
    ASSERT_EQ(LoadCartridge(*m, path), 0);
    EXPECT_EQ(m->map.SaveBankTable[0][0], 0xA5);
    UnloadCartridge(*m);
  }
}

TEST_F(CartridgeTest, NoSaveMemoryWritesNoFile) {
  Footer f;
  f.saveTypeCode = 0x03;  // unknown codes mean no save memory
  ASSERT_EQ(LoadCartridge(*m, WriteImage("plain.ws", 8, f)), 0);
  EXPECT_TRUE(m->cart.SaveFilePath.empty());
  UnloadCartridge(*m);
  EXPECT_FALSE(std::filesystem::exists(dir.file("plain.sav")));
}

TEST_F(CartridgeTest, SpecialCartridgeGetsThirtyTwoKilobytesOfSram) {
  Footer f;
  f.developer = 1;
  f.game = 22;
  f.saveTypeCode = 0x10;
  const std::string path = WriteImage("special.ws", 8, f);
  ASSERT_EQ(LoadCartridge(*m, path), 0);
  EXPECT_TRUE(m.messages.messages.empty());
  EXPECT_FALSE(m->cart.SaveIsEeprom);
  EXPECT_EQ(m->cart.SaveBankSize, 32768);
  WriteMemory(*m, 0x17FFF, 0x31);
  EXPECT_EQ(ReadMemory(*m, 0x17FFF), 0x31);
  UnloadCartridge(*m);
  EXPECT_EQ(ReadFile(dir.file("special.sav")).size(), 32768u);

  m->settings.Verbose = 1;
  ASSERT_EQ(LoadCartridge(*m, path), 0);
  ASSERT_EQ(m.messages.messages.size(), 1u);
  EXPECT_EQ(m.messages.messages[0].caption, "警告");
  EXPECT_EQ(m.messages.messages[0].text, "256k SRAMに変更します");
}

TEST(SaveFilePath, ReplacesTheExtensionOfTheFileName) {
  EXPECT_EQ(SaveFilePathFor("/games/title.wsc"), "/games/title.sav");
  EXPECT_EQ(SaveFilePathFor("title.ws"), "title.sav");
  EXPECT_EQ(SaveFilePathFor("/g/title.jp.wsc"), "/g/title.jp.sav");
  EXPECT_EQ(SaveFilePathFor("/games/title"), "/games/title.sav");
  // At most three characters after the dot go.
  EXPECT_EQ(SaveFilePathFor("/g/title.wsxy"), "/g/titley.sav");
  // A dot in a directory name does not move the save elsewhere.
  EXPECT_EQ(SaveFilePathFor("/my.games/title"), "/my.games/title.sav");
  // Long paths are kept whole.
  const std::string longDir = "/" + std::string(600, 'd');
  EXPECT_EQ(SaveFilePathFor(longDir + "/t.ws"), longDir + "/t.sav");
}

TEST_F(CartridgeTest, LongSaveFileLoadsItsStartAndIsRewrittenAtItsSize) {
  Footer f;
  f.saveTypeCode = 0x10;
  std::vector<uint8_t> sav(300);
  for (size_t i = 0; i < sav.size(); ++i) sav[i] = static_cast<uint8_t>(i);
  Write("long.sav", sav);
  ASSERT_EQ(LoadCartridge(*m, WriteImage("long.ws", 8, f)), 0);
  EXPECT_EQ(m->map.SaveBankTable[0][127], 127);
  EXPECT_EQ(m->map.SaveBankTable[0][128], 0);
  UnloadCartridge(*m);
  const auto saved = ReadFile(dir.file("long.sav"));
  ASSERT_EQ(saved.size(), 128u);
  EXPECT_EQ(saved[127], 127);
}

TEST_F(CartridgeTest, ShortSaveFileFailsTheLoadAndIsKept) {
  Footer f;
  f.saveTypeCode = 0x01;
  const std::vector<uint8_t> sav(100, 0x33);
  Write("short.sav", sav);
  EXPECT_EQ(LoadCartridge(*m, WriteImage("short.ws", 8, f)), -1);
  ExpectOnlyError("ｾｰﾌﾞﾌｧｲﾙが異常");
  // A failed load leaves no cartridge: unloading writes nothing.
  UnloadCartridge(*m);
  EXPECT_EQ(ReadFile(dir.file("short.sav")), sav);
  EXPECT_EQ(ReadMemory(*m, 0xFFFF0), 0xFF);
}

TEST_F(CartridgeTest, FailedSaveWriteKeepsTheOldFile) {
  Footer f;
  f.saveTypeCode = 0x01;
  const std::vector<uint8_t> old(8192, 0x44);
  Write("keep.sav", old);
  ASSERT_EQ(LoadCartridge(*m, WriteImage("keep.ws", 8, f)), 0);
  m->map.SaveBankTable[0][0] = 0x99;
  // The temporary file cannot be created where a directory stands.
  std::filesystem::create_directory(dir.file("keep.sav.tmp"));
  UnloadCartridge(*m);
  ExpectOnlyError("ｾｰﾌﾞﾌｧｲﾙを書き込めません");
  EXPECT_EQ(ReadFile(dir.file("keep.sav")), old);
  // The pages are gone all the same.
  EXPECT_EQ(m->map.SaveBankTable[0], m->mem.FillPage);
  EXPECT_EQ(ReadMemory(*m, 0xFFFF0), 0xFF);
}

TEST_F(CartridgeTest, LoadsOurOwnCartridge) {
  m->settings.Verbose = 1;
  const std::string path = test::RomPath("hello.ws");
  ASSERT_EQ(LoadCartridge(*m, path), 0);
  EXPECT_TRUE(m.messages.messages.empty()) << "the builder's checksum must match";
  const auto image = ReadFile(path);
  ASSERT_EQ(image.size(), 8u * 0x10000);
  EXPECT_EQ(0, std::memcmp(m->map.BankReadTable[15], image.data() + image.size() - 0x10000, 0x10000));
  EXPECT_EQ(ReadMemory(*m, 0xFFFF0), 0xEA);
}

TEST_F(CartridgeTest, LoadsImagesWrittenByOthers) {
  for (const char* name : {"dekadence-sprites.ws", "dekadence-screentester.ws"}) {
    SCOPED_TRACE(name);
    const std::string path = test::ThirdPartyPath(name);
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "missing " << path;
    m.messages.messages.clear();
    m->settings.Verbose = 1;
    ASSERT_EQ(LoadCartridge(*m, path), 0);
    EXPECT_TRUE(m.messages.messages.empty());
    const auto image = ReadFile(path);
    ASSERT_EQ(image.size(), 0x10000u);
    EXPECT_EQ(0, std::memcmp(m->map.BankReadTable[15], image.data(), 0x10000));
    EXPECT_EQ(ReadMemory(*m, 0xFFFF0), image[0xFFF0]);
    EXPECT_EQ(ReadMemory(*m, 0xFFFF0), 0xEA);
    EXPECT_EQ(m->map.RomBankTable[254], m->mem.FillPage);
  }
}

}  // namespace
}  // namespace kestra
