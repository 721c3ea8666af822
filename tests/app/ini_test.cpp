#include "app/ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace kestra {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(IniFile, MissingFileReadsDefaultsAndFirstWriteCreatesIt) {
  test::TempDir dir;
  const std::string path = dir.file("k.ini");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("CONFIG", "DefaultDir", "none", 512), "none");
  EXPECT_EQ(ini.ReadInt("CONFIG", "DrawSize", -1), -1);
  ini.WriteString("CONFIG", "DrawSize", "0");
  ini.WriteString("KEYBOARD", "HYUp", "W");
  ASSERT_TRUE(ini.Flush());
  EXPECT_EQ(Slurp(path), "[CONFIG]\nDrawSize=0\n\n[KEYBOARD]\nHYUp=W\n");
}

TEST(IniFile, NamesAreCaseInsensitiveValuesAsWritten) {
  test::TempDir dir;
  const std::string path = dir.file("k.ini");
  Spit(path, "[config]\n  drawsize = 2 \nDefaultDir=/Home/Games \n[Keyboard]\nhyup=w\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInt("CONFIG", "DrawSize", -1), 2);
  EXPECT_EQ(ini.ReadString("CONFIG", "DEFAULTDIR", "", 512), "/Home/Games");
  EXPECT_EQ(ini.ReadString("KEYBOARD", "HYUp", "", 64), "w");
  // A key of another section is not found.
  EXPECT_EQ(ini.ReadString("CONFIG", "HYUp", "-", 64), "-");
  ini.WriteString("CONFIG", "DRAWSIZE", "3");
  ASSERT_TRUE(ini.Flush());
  EXPECT_EQ(Slurp(path), "[config]\ndrawsize=3\nDefaultDir=/Home/Games \n[Keyboard]\nhyup=w\n");
}

TEST(IniFile, WriteKeepsCommentsAndOtherLinesAndAddsKeysToTheirSection) {
  test::TempDir dir;
  const std::string path = dir.file("k.ini");
  Spit(path,
       "; Kestra settings\n[CONFIG]\nDrawSize=2 ; two\nMyKey=kept\n\n; joypad follows\n"
       "[JOYPAD]\nHStart=5,9\n");
  IniFile ini(path);
  ini.WriteString("CONFIG", "FrameSkip", "3");
  ini.WriteString("config", "DrawSize", "1");
  ini.WriteString("JOYPAD", "HStart", "");
  ASSERT_TRUE(ini.Flush());
  EXPECT_EQ(Slurp(path),
            "; Kestra settings\n[CONFIG]\nDrawSize=1\nMyKey=kept\nFrameSkip=3\n\n"
            "; joypad follows\n[JOYPAD]\nHStart=\n");
  IniFile again(path);
  EXPECT_EQ(again.ReadString("JOYPAD", "HStart", "x", 64), "");
  EXPECT_EQ(again.ReadInt("CONFIG", "FrameSkip", -1), 3);
}

TEST(IniFile, CommentedKeysAreNotKeysAndCrLfSurvives) {
  test::TempDir dir;
  const std::string path = dir.file("k.ini");
  Spit(path, "[CONFIG]\r\n;Verbose=1\r\nVerbose=0\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInt("CONFIG", "Verbose", -1), 0);
  EXPECT_EQ(ini.ReadInt("CONFIG", ";Verbose", -1), -1);
  ini.WriteString("CONFIG", "Verbose", "1");
  ASSERT_TRUE(ini.Flush());
  EXPECT_EQ(Slurp(path), "[CONFIG]\r\n;Verbose=1\r\nVerbose=1\r\n");
}

TEST(IniFile, StringsAreCutToTheBuffer) {
  test::TempDir dir;
  const std::string path = dir.file("k.ini");
  Spit(path, "[K]\nA=abcdefgh\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("K", "A", "", 4), "abc");
  EXPECT_EQ(ini.ReadString("K", "B", "defaultvalue", 5), "defa");
}

TEST(IniFile, IntegersAreASignAndLeadingDigits) {
  EXPECT_EQ(ParseProfileInt("42"), 42);
  EXPECT_EQ(ParseProfileInt("-3"), -3);
  EXPECT_EQ(ParseProfileInt("+7"), 7);
  EXPECT_EQ(ParseProfileInt("12abc"), 12);
  EXPECT_EQ(ParseProfileInt("abc"), 0);
  EXPECT_EQ(ParseProfileInt(""), 0);
  EXPECT_EQ(ParseProfileInt("-"), 0);
  EXPECT_EQ(ParseProfileInt("99999999999"), 2147483647);
  EXPECT_EQ(ParseProfileInt("-99999999999"), -2147483647 - 1);
}

// A directory name may hold a line break on this system: written as it is,
// the rest of the name would become lines of its own (a section header that
// hides the real one, keys of another section).
TEST(IniFile, ValueWithALineBreakStaysOnItsOwnLine) {
  test::TempDir dir;
  const std::string path = dir.file("k.ini");
  Spit(path, "[CONFIG]\nDefaultDir=/games\nDrawSize=2\n\n[KEYBOARD]\nHAButton=Q\n");
  IniFile ini(path);
  ini.WriteString("CONFIG", "DefaultDir", "/tmp/a\n[KEYBOARD]\nHAButton=Z");
  ini.WriteString("CONFIG", "Verbose", "bad\r\n[JOYPAD]");
  ASSERT_TRUE(ini.Flush());
  IniFile again(path);
  EXPECT_EQ(again.ReadString("CONFIG", "DefaultDir", "", 512), "/tmp/a");
  EXPECT_EQ(again.ReadString("CONFIG", "Verbose", "", 64), "bad");
  EXPECT_EQ(again.ReadInt("CONFIG", "DrawSize", -1), 2);
  EXPECT_EQ(again.ReadString("KEYBOARD", "HAButton", "", 64), "Q");
  EXPECT_EQ(Slurp(path),
            "[CONFIG]\nDefaultDir=/tmp/a\nDrawSize=2\nVerbose=bad\n\n[KEYBOARD]\nHAButton=Q\n");
}

// A NUL ends a value, and so does a carriage return inside a line: what is
// read is what a write then keeps, so a save and a reload agree.
TEST(IniFile, NulOrLoneCarriageReturnEndsAValue) {
  test::TempDir dir;
  const std::string path = dir.file("k.ini");
  Spit(path, std::string("[CONFIG]\nDefaultDir = /games \0/rest\r9\nFrameSkip=3\rjunk\n", 55));
  IniFile ini(path);
  const std::string dirValue = ini.ReadString("CONFIG", "DefaultDir", "", 512);
  EXPECT_EQ(dirValue, "/games");
  EXPECT_EQ(ini.ReadInt("CONFIG", "FrameSkip", -1), 3);
  ini.WriteString("CONFIG", "DefaultDir", dirValue);
  ini.WriteString("CONFIG", "Other", std::string("a\0b", 3));
  ASSERT_TRUE(ini.Flush());
  IniFile again(path);
  EXPECT_EQ(again.ReadString("CONFIG", "DefaultDir", "", 512), dirValue);
  EXPECT_EQ(again.ReadString("CONFIG", "Other", "", 512), "a");
}

TEST(IniFile, UnwritableFileKeepsValuesInMemory) {
  test::TempDir dir;
  IniFile ini(dir.file("no/such/dir/k.ini"));
  ini.WriteString("CONFIG", "DrawSize", "2");
  EXPECT_FALSE(ini.Flush());
  EXPECT_EQ(ini.ReadInt("CONFIG", "DrawSize", -1), 2);
}

// The file is replaced whole, through a temporary file: a link to a kept
// configuration stays a link, and nothing is left beside it.
TEST(IniFile, FlushWritesThroughALinkAndLeavesNoTemporaryFile) {
  test::TempDir dir;
  Spit(dir.file("real.ini"), "; mine\n[CONFIG]\nDrawSize=1\n");
  std::filesystem::create_symlink(dir.file("real.ini"), dir.file("Kestra.INI"));
  IniFile ini(dir.file("Kestra.INI"));
  ini.WriteString("CONFIG", "DrawSize", "3");
  ASSERT_TRUE(ini.Flush());
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("Kestra.INI")));
  EXPECT_EQ(Slurp(dir.file("real.ini")), "; mine\n[CONFIG]\nDrawSize=3\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("real.ini.tmp")));
}

}  // namespace
}  // namespace kestra
