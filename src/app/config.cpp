#include "app/config.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

#include "app/ini.h"

namespace kestra {

const char* const kAppId = KESTRA_APP_ID;  // from CMake, as the installed files are named

const std::array<const char*, kBindingKeyCount> kBindingKeyNames = {
    "HYUp",   "HYRight", "HYDown",  "HYLeft", "HXUp",    "HXRight", "HXDown",   "HXLeft",
    "HOption", "HStart", "HAButton", "HBButton",
    "VYLeft", "VYUp",    "VYRight", "VYDown", "VXLeft",  "VXUp",    "VXRight",  "VXDown",
    "VOption", "VStart", "VAButton", "VBButton"};

const std::array<const char*, kBindingKeyCount> kKeyboardDefaults = {
    "W",    "D",  "S",     "A",    "UP",      "RIGHT",  "DOWN", "LEFT",
    "CONTROL", "RETURN", "X", "Z",
    "A",    "W",  "D",     "S",    "LEFT",    "UP",     "RIGHT", "DOWN",
    "CONTROL", "RETURN", "X", "Z"};

const std::array<const char*, kBindingKeyCount> kJoypadDefaults = {
    "6",    "8",  "3",     "7",    "UP", "RIGHT", "DOWN", "LEFT",
    "4",    "5,9", "2",    "1",
    "LEFT", "UP", "RIGHT", "DOWN", "1",  "4",     "5",    "2",
    "3",    "6,9", "8",    "7"};

const std::array<const char*, kHotkeyCount> kHotkeyNames = {
    "Pause",    "FrameAdvance", "Reset",    "FastForward", "FastForwardToggle", "Rewind",
    "SaveState", "LoadState",   "NextSlot", "PreviousSlot", "Screenshot"};
const std::array<const char*, kHotkeyCount> kHotkeyDefaults = {
    "Pause", "F8", "F10", "Tab", "Shift+Tab", "Backspace", "F5", "F7", "F6", "Shift+F6", "F12"};

namespace {

constexpr const char* kConfig = "CONFIG";
constexpr const char* kHotkeys = "HOTKEYS";

// A [CONFIG] count: missing ones are written with the default, unreadable
// or out-of-range ones read as the default.
int ReadCount(IniFile& ini, const char* key, int fallback, int limit) {
  const std::string text = ini.ReadString(kConfig, key, "", 32);
  if (text.empty()) {
    ini.WriteInt(kConfig, key, fallback);
    return fallback;
  }
  const size_t digit = text[0] == '+' || text[0] == '-' ? 1 : 0;
  if (digit >= text.size() || text[digit] < '0' || text[digit] > '9') return fallback;
  const int value = ini.ReadInt(kConfig, key, -1);
  return value < 0 || value > limit ? fallback : value;
}
constexpr const char* kSoundKeys[SoundSwitchCount] = {
    "Sound1", "Sound2", "Sound3", "Sound4", "SoundNoise", "SoundPCM", "SoundDMA"};

constexpr size_t kDirBufferSize = 512;
constexpr size_t kBindingBufferSize = 64;

}  // namespace

void LoadConfig(Config& config, Settings& settings, ConfigWindow& window) {
  IniFile ini(config.path);

  config.DefaultDir = ini.ReadString(kConfig, "DefaultDir", "", kDirBufferSize);

  const int drawSize = ini.ReadInt(kConfig, "DrawSize", -1);
  if (drawSize == -1) ini.WriteString(kConfig, "DrawSize", "0");
  window.SetScale(drawSize == 2 || drawSize == 3 ? drawSize : 1, false);

  int frameSkip = ini.ReadInt(kConfig, "FrameSkip", -1);
  if (frameSkip == -1) {
    ini.WriteString(kConfig, "FrameSkip", "1");
    frameSkip = 1;
  }
  window.SetFrameSkipMenu(frameSkip >= 1 && frameSkip <= 4 ? frameSkip : 0);

  for (int k = 0; k < SoundSwitchCount; ++k) {
    const auto sw = static_cast<SoundSwitch>(k);
    const int value = ini.ReadInt(kConfig, kSoundKeys[k], -1);
    if (value == -1) ini.WriteString(kConfig, kSoundKeys[k], "1");
    const bool on = value != 0;
    window.SetSoundCheck(sw, on);
    settings.setSound(sw, on);
  }

  window.SetWindowTop(ini.ReadInt(kConfig, "DrawTop", 0));
  if (window.WindowTop() == 0) ini.WriteString(kConfig, "DrawTop", "0");
  window.SetWindowLeft(ini.ReadInt(kConfig, "DrawLeft", 0));
  if (window.WindowLeft() == 0) ini.WriteString(kConfig, "DrawLeft", "0");

  const int verbose = ini.ReadInt(kConfig, "Verbose", 0);
  settings.Verbose.store(verbose, std::memory_order_relaxed);
  if (verbose == 0) ini.WriteString(kConfig, "Verbose", "0");

  const char* sections[2] = {"KEYBOARD", "JOYPAD"};
  const std::array<const char*, kBindingKeyCount>* defaults[2] = {&kKeyboardDefaults,
                                                                  &kJoypadDefaults};
  for (int s = 0; s < 2; ++s) {
    for (int i = 0; i < kBindingKeyCount; ++i) {
      std::string text = ini.ReadString(sections[s], kBindingKeyNames[i], "", kBindingBufferSize);
      if (text.empty()) {
        text = (*defaults[s])[i];
        ini.WriteString(sections[s], kBindingKeyNames[i], text);
      }
      config.BindingText[s * kBindingKeyCount + i] = std::move(text);
    }
  }

  config.FastForwardSpeed =
      ReadCount(ini, "FastForwardSpeed", kDefaultFastForwardSpeed, kMaxFastForwardSpeed);
  config.RewindSeconds = ReadCount(ini, "RewindSeconds", kDefaultRewindSeconds, 3600);
  for (int i = 0; i < kHotkeyCount; ++i) {
    std::string text = ini.ReadString(kHotkeys, kHotkeyNames[i], "", kBindingBufferSize);
    if (text.empty()) {
      text = kHotkeyDefaults[i];
      ini.WriteString(kHotkeys, kHotkeyNames[i], text);
    }
    config.Hotkeys[i] = std::move(text);
  }

  config.Recent.Load(ini);
  ini.Flush();
}

void SaveConfig(const Config& config, const Settings& settings, const ConfigWindow& window) {
  IniFile ini(config.path);
  ini.WriteString(kConfig, "DefaultDir", config.DefaultDir);
  ini.WriteInt(kConfig, "DrawSize", window.Scale());
  ini.WriteInt(kConfig, "FrameSkip", settings.frameSkip());
  for (int k = 0; k < SoundSwitchCount; ++k) {
    ini.WriteInt(kConfig, kSoundKeys[k], settings.sound(static_cast<SoundSwitch>(k)) ? 1 : 0);
  }
  ini.WriteInt(kConfig, "DrawTop", window.WindowTop());
  ini.WriteInt(kConfig, "DrawLeft", window.WindowLeft());
  ini.WriteInt(kConfig, "FastForwardSpeed", config.FastForwardSpeed);
  ini.WriteInt(kConfig, "RewindSeconds", config.RewindSeconds);
  for (int i = 0; i < kHotkeyCount; ++i) {
    if (!config.Hotkeys[i].empty()) ini.WriteString(kHotkeys, kHotkeyNames[i], config.Hotkeys[i]);
  }
  config.Recent.Save(ini);
  ini.Flush();
}

bool SaveBindings(const std::string& path,
                  const std::array<std::string, kBindingListCount>& lists) {
  IniFile ini(path);
  const char* sections[2] = {"KEYBOARD", "JOYPAD"};
  for (int s = 0; s < 2; ++s) {
    for (int i = 0; i < kBindingKeyCount; ++i) {
      ini.WriteString(sections[s], kBindingKeyNames[i], lists[s * kBindingKeyCount + i]);
    }
  }
  return ini.Flush();
}

namespace {

// True when the file exists or can be created there.
bool Usable(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return true;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

bool InstalledProgramDir(const std::filesystem::path& programDir) {
  if (programDir.filename() != "bin") return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(programDir.parent_path() / "share" / "applications" /
                                              (std::string(kAppId) + ".desktop"),
                                          ec);
}

std::string ChooseConfigPath(const std::filesystem::path& programDir, bool installed,
                             const char* xdgConfigHome, const char* home) {
  if (!installed && !programDir.empty() && Usable(programDir / kConfigFileName)) {
    return (programDir / kConfigFileName).string();
  }
  std::filesystem::path base;
  if (xdgConfigHome && xdgConfigHome[0] == '/') {
    base = xdgConfigHome;  // a relative value is ignored, as XDG asks
  } else {
    base = std::filesystem::path(home && home[0] ? home : ".") / ".config";
  }
  const std::filesystem::path dir = base / "kestra";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return (dir / kConfigFileName).string();
}

std::string ConfigPath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path programDir = ec ? std::filesystem::path() : exe.parent_path();
  return ChooseConfigPath(programDir, InstalledProgramDir(programDir),
                          std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

}  // namespace kestra
