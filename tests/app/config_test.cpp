#include "app/config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "app/ini.h"
#include "support/test_support.h"

namespace kestra {
namespace {

// Records what the configuration asks of the window.
struct FakeWindow final : ConfigWindow {
  void SetScale(int s, bool v) override { scaleCalls.push_back({s, v}); scale = s; }
  int Scale() const override { return scale; }
  void SetFrameSkipMenu(int setting) override { frameSkipMenu = setting; }
  void SetSoundCheck(SoundSwitch k, bool on) override { checks[k] = on; }
  int WindowTop() const override { return top; }
  int WindowLeft() const override { return left; }
  void SetWindowTop(int t) override { top = t; }
  void SetWindowLeft(int l) override { left = l; }

  std::vector<std::pair<int, bool>> scaleCalls;
  int scale = 1;
  int frameSkipMenu = -1;
  int top = 77, left = 77;
  bool checks[SoundSwitchCount] = {};
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct ConfigTest : ::testing::Test {
  void Load(const std::string& contents = {}, bool create = false) {
    if (create) std::ofstream(config.path, std::ios::binary) << contents;
    LoadConfig(config, settings, window);
  }
  test::TempDir dir;
  Config config = [this] {
    Config c;
    c.path = dir.file("Kestra.INI");
    return c;
  }();
  Settings settings;
  FakeWindow window;
};

constexpr const char* kFirstRunFile =
    "[CONFIG]\nDrawSize=0\nFrameSkip=1\nSound1=1\nSound2=1\nSound3=1\nSound4=1\n"
    "SoundNoise=1\nSoundPCM=1\nSoundDMA=1\nDrawTop=0\nDrawLeft=0\nVerbose=0\n"
    "FastForwardSpeed=4\nRewindSeconds=60\n"
    "\n[KEYBOARD]\nHYUp=W\nHYRight=D\nHYDown=S\nHYLeft=A\nHXUp=UP\nHXRight=RIGHT\n"
    "HXDown=DOWN\nHXLeft=LEFT\nHOption=CONTROL\nHStart=RETURN\nHAButton=X\nHBButton=Z\n"
    "VYLeft=A\nVYUp=W\nVYRight=D\nVYDown=S\nVXLeft=LEFT\nVXUp=UP\nVXRight=RIGHT\n"
    "VXDown=DOWN\nVOption=CONTROL\nVStart=RETURN\nVAButton=X\nVBButton=Z\n"
    "\n[JOYPAD]\nHYUp=6\nHYRight=8\nHYDown=3\nHYLeft=7\nHXUp=UP\nHXRight=RIGHT\n"
    "HXDown=DOWN\nHXLeft=LEFT\nHOption=4\nHStart=5,9\nHAButton=2\nHBButton=1\n"
    "VYLeft=LEFT\nVYUp=UP\nVYRight=RIGHT\nVYDown=DOWN\nVXLeft=1\nVXUp=4\nVXRight=5\n"
    "VXDown=2\nVOption=3\nVStart=6,9\nVAButton=8\nVBButton=7\n"
    "\n[HOTKEYS]\nPause=Pause\nFrameAdvance=F8\nReset=F10\nFastForward=Tab\n"
    "FastForwardToggle=Shift+Tab\nRewind=Backspace\nSaveState=F5\nLoadState=F7\n"
    "NextSlot=F6\nPreviousSlot=Shift+F6\nScreenshot=F12\n"
    "\n[RECENT]\nFile0=\nFile1=\nFile2=\nFile3=\nFile4=\nFile5=\nFile6=\nFile7=\n"
    "File8=\nFile9=\n";

TEST_F(ConfigTest, FirstRunWritesEveryDefault) {
  settings.setSound(Sound2, false);
  window.frameSkipMenu = 4;
  Load();
  EXPECT_EQ(Slurp(config.path), kFirstRunFile);
  ASSERT_EQ(window.scaleCalls.size(), 1u);
  EXPECT_EQ(window.scaleCalls[0], std::make_pair(1, false));
  EXPECT_EQ(window.frameSkipMenu, 1);
  EXPECT_EQ(window.top, 0);
  EXPECT_EQ(window.left, 0);
  for (int k = 0; k < SoundSwitchCount; ++k) {
    EXPECT_TRUE(window.checks[k]) << k;
    EXPECT_TRUE(settings.sound(static_cast<SoundSwitch>(k))) << k;
  }
  EXPECT_EQ(config.DefaultDir, "");
  EXPECT_EQ(config.BindingText[9], "RETURN");
  EXPECT_EQ(config.BindingText[24 + 21], "6,9");

  // A second start reads the same file and changes nothing.
  Load();
  EXPECT_EQ(Slurp(config.path), kFirstRunFile);

  // On close DrawSize becomes the scale and DefaultDir is written, empty.
  settings.FrameSkip = 1;
  SaveConfig(config, settings, window);
  IniFile ini(config.path);
  EXPECT_EQ(ini.ReadString("CONFIG", "DrawSize", "", 64), "1");
  EXPECT_EQ(ini.ReadString("CONFIG", "DefaultDir", "missing", 512), "");
}

TEST_F(ConfigTest, OutOfRangeValuesFallBackAndAreSavedNormalised) {
  Load("[CONFIG]\nDrawSize=5\nFrameSkip=7\nSound3=2\nSound4=0\nVerbose=3\n", true);
  EXPECT_EQ(window.scaleCalls.back(), std::make_pair(1, false));
  EXPECT_EQ(window.frameSkipMenu, 0);
  EXPECT_TRUE(settings.sound(Sound3));
  EXPECT_FALSE(settings.sound(Sound4));
  EXPECT_FALSE(window.checks[Sound4]);
  EXPECT_EQ(settings.Verbose.load(), 3);

  settings.FrameSkip = 0;
  SaveConfig(config, settings, window);
  IniFile ini(config.path);
  EXPECT_EQ(ini.ReadInt("CONFIG", "DrawSize", -1), 1);
  EXPECT_EQ(ini.ReadInt("CONFIG", "Sound3", -1), 1);
  EXPECT_EQ(ini.ReadInt("CONFIG", "Sound4", -1), 0);
  EXPECT_EQ(ini.ReadInt("CONFIG", "FrameSkip", -1), 0);
  EXPECT_EQ(ini.ReadInt("CONFIG", "Verbose", -1), 3);  // never written on close
}

TEST_F(ConfigTest, FrameSkipOutsideOneToFourIsZero) {
  for (const char* value : {"0", "7", "-3", "x"}) {
    Load(std::string("[CONFIG]\nFrameSkip=") + value + "\n", true);
    EXPECT_EQ(window.frameSkipMenu, 0) << value;
  }
  for (int value = 1; value <= 4; ++value) {
    Load("[CONFIG]\nFrameSkip=" + std::to_string(value) + "\n", true);
    EXPECT_EQ(window.frameSkipMenu, value);
  }
}

TEST_F(ConfigTest, DrawSizeTwoAndThreeScale) {
  Load("[CONFIG]\nDrawSize=3\n", true);
  EXPECT_EQ(window.scaleCalls.back(), std::make_pair(3, false));
  Load("[CONFIG]\nDrawSize=2\n", true);
  EXPECT_EQ(window.scaleCalls.back(), std::make_pair(2, false));
  EXPECT_EQ(IniFile(config.path).ReadString("CONFIG", "DrawSize", "", 64), "2");
}

TEST_F(ConfigTest, EmptyBindingIsReplacedByItsDefault) {
  Load("[KEYBOARD]\nHStart=\nHAButton=X,SPACE,Q\n[JOYPAD]\nHStart=\n", true);
  EXPECT_EQ(config.BindingText[9], "RETURN");
  EXPECT_EQ(config.BindingText[10], "X,SPACE,Q");
  EXPECT_EQ(config.BindingText[24 + 9], "5,9");
  IniFile ini(config.path);
  EXPECT_EQ(ini.ReadString("KEYBOARD", "HStart", "", 64), "RETURN");
  EXPECT_EQ(ini.ReadString("JOYPAD", "HStart", "", 64), "5,9");
  EXPECT_EQ(ini.ReadString("KEYBOARD", "HAButton", "", 64), "X,SPACE,Q");
}

TEST_F(ConfigTest, PositionIsAppliedAndOnlyZeroIsRewrittenAtLoad) {
  Load("[CONFIG]\nDrawTop=+120\nDrawLeft=0\n", true);
  EXPECT_EQ(window.top, 120);
  EXPECT_EQ(window.left, 0);
  IniFile ini(config.path);
  EXPECT_EQ(ini.ReadString("CONFIG", "DrawTop", "", 64), "+120");
  EXPECT_EQ(ini.ReadString("CONFIG", "DrawLeft", "", 64), "0");
  window.top = 33;
  window.left = -4;
  SaveConfig(config, settings, window);
  IniFile saved(config.path);
  EXPECT_EQ(saved.ReadString("CONFIG", "DrawTop", "", 64), "33");
  EXPECT_EQ(saved.ReadString("CONFIG", "DrawLeft", "", 64), "-4");
}

TEST_F(ConfigTest, SaveKeepsCommentsUnknownKeysAndBindings) {
  const std::string original =
      "; my settings\n[Config]\ndrawsize=2\nDefaultDir=/games\nMyOwnKey=hello\n"
      "; keep this\n\n[KEYBOARD]\nHAButton=x\n";
  Load(original, true);
  EXPECT_EQ(config.DefaultDir, "/games");
  config.DefaultDir = "/other/place";
  window.scale = 3;
  settings.setSound(SoundPCM, false);
  settings.FrameSkip = 2;
  window.top = 5;
  window.left = 6;
  SaveConfig(config, settings, window);
  const std::string text = Slurp(config.path);
  EXPECT_EQ(text.rfind("; my settings\n[Config]\ndrawsize=3\nDefaultDir=/other/place\n"
                       "MyOwnKey=hello\nFrameSkip=2\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("SoundPCM=0\n"), std::string::npos);
  EXPECT_NE(text.find("DrawTop=5\nDrawLeft=6\nVerbose=0\nFastForwardSpeed=4\nRewindSeconds=60\n"
                      "; keep this\n\n[KEYBOARD]\nHAButton=x\n"),
            std::string::npos)
      << text;
}

TEST(ConfigPathTest, ProgramDirectoryWhenWritableElseXdg) {
  test::TempDir dir;
  const auto program = dir.path() / "bin";
  std::filesystem::create_directories(program);
  EXPECT_EQ(ChooseConfigPath(program, false, nullptr, "/nowhere"), (program / "Kestra.INI").string());

  const auto missing = dir.path() / "no-such-dir";
  const std::string xdg = (dir.path() / "xdg").string();
  EXPECT_EQ(ChooseConfigPath(missing, false, xdg.c_str(), "/nowhere"), xdg + "/kestra/Kestra.INI");
  EXPECT_TRUE(std::filesystem::is_directory(xdg + "/kestra"));

  const std::string home = (dir.path() / "home").string();
  EXPECT_EQ(ChooseConfigPath(missing, false, nullptr, home.c_str()), home + "/.config/kestra/Kestra.INI");
  EXPECT_EQ(ChooseConfigPath(missing, false, "relative", home.c_str()),
            home + "/.config/kestra/Kestra.INI");
}

// An installed program is recognised by its tree, and then keeps its settings
// under XDG even where bin/ is writable (root running /usr/local/bin/kestra),
// and even when a Kestra.INI was left there.
TEST(ConfigPathTest, InstalledTreeUsesXdgEvenWhenBinIsWritable) {
  test::TempDir dir;
  const auto prefix = dir.path() / "usr";
  const auto bin = prefix / "bin";
  const auto applications = prefix / "share" / "applications";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(applications);
  EXPECT_FALSE(InstalledProgramDir(bin));
  // Another program's desktop entry says nothing about us.
  std::ofstream(applications / "org.example.Other.desktop") << "[Desktop Entry]\n";
  EXPECT_FALSE(InstalledProgramDir(bin));

  std::ofstream(applications / (std::string(kAppId) + ".desktop")) << "[Desktop Entry]\n";
  EXPECT_TRUE(InstalledProgramDir(bin));
  // A build tree's bin/ beside an unrelated share/ is not an install, nor is
  // a directory that is not called bin.
  std::filesystem::create_directories(prefix / "tools");
  EXPECT_FALSE(InstalledProgramDir(prefix / "tools"));
  EXPECT_FALSE(InstalledProgramDir(std::filesystem::path()));

  std::ofstream(bin / "Kestra.INI") << "[CONFIG]\n";
  const std::string xdg = (dir.path() / "xdg").string();
  EXPECT_EQ(ChooseConfigPath(bin, true, xdg.c_str(), "/nowhere"), xdg + "/kestra/Kestra.INI");
  EXPECT_TRUE(std::filesystem::is_directory(xdg + "/kestra"));
  // Not installed, the file beside the program wins as before.
  EXPECT_EQ(ChooseConfigPath(bin, false, xdg.c_str(), "/nowhere"), (bin / "Kestra.INI").string());
}

}  // namespace
}  // namespace kestra

namespace kestra {
namespace {

TEST_F(ConfigTest, PlaySettingsReadBackAndBadOnesFallBack) {
  Load("[CONFIG]\nFastForwardSpeed=0\nRewindSeconds=junk\n[HOTKEYS]\nSaveState=Ctrl+S\n"
       "Pause=\n",
       true);
  EXPECT_EQ(config.FastForwardSpeed, 0);  // 0: as fast as it goes
  EXPECT_EQ(config.RewindSeconds, kDefaultRewindSeconds);
  EXPECT_EQ(config.Hotkeys[kHotkeySaveState], "Ctrl+S");
  EXPECT_EQ(config.Hotkeys[kHotkeyPause], "Pause");  // empty: the default, written back
  IniFile ini(config.path);
  EXPECT_EQ(ini.ReadString("HOTKEYS", "Pause", "", 64), "Pause");
  EXPECT_EQ(ini.ReadString("HOTKEYS", "Screenshot", "", 64), "F12");

  Config other;
  other.path = dir.file("Other.INI");
  std::ofstream(other.path) << "[CONFIG]\nFastForwardSpeed=-3\nRewindSeconds=999999\n";
  LoadConfig(other, settings, window);
  EXPECT_EQ(other.FastForwardSpeed, kDefaultFastForwardSpeed);
  EXPECT_EQ(other.RewindSeconds, kDefaultRewindSeconds);
}

}  // namespace
}  // namespace kestra
