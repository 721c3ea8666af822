// Kestra.INI: LoadConfig applies the settings as it reads them and writes
// every missing key with its default; SaveConfig writes the [CONFIG] values
// back when the window closes.
#pragma once

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/settings.h"
#include "app/recent_files.h"

namespace kestra {

constexpr int kBindingKeyCount = 24;  // per section: 12 horizontal, 12 vertical
constexpr int kBindingListCount = 2 * kBindingKeyCount;

inline constexpr const char* kConfigFileName = "Kestra.INI";

// Key names of [KEYBOARD] and [JOYPAD], in their fixed order.
extern const std::array<const char*, kBindingKeyCount> kBindingKeyNames;
extern const std::array<const char*, kBindingKeyCount> kKeyboardDefaults;
extern const std::array<const char*, kBindingKeyCount> kJoypadDefaults;

// The window's play commands and their [HOTKEYS] keys, with the default
// key of each in Qt's portable key-sequence text.
enum Hotkey {
  kHotkeyPause, kHotkeyFrameAdvance, kHotkeyReset, kHotkeyFastForward,
  kHotkeyFastForwardToggle, kHotkeyRewind, kHotkeySaveState, kHotkeyLoadState,
  kHotkeyNextSlot, kHotkeyPreviousSlot, kHotkeyScreenshot, kHotkeyCount
};
extern const std::array<const char*, kHotkeyCount> kHotkeyNames;
extern const std::array<const char*, kHotkeyCount> kHotkeyDefaults;

constexpr int kDefaultFastForwardSpeed = 4;
constexpr int kMaxFastForwardSpeed = 64;
constexpr int kDefaultRewindSeconds = 60;

// What the configuration needs of the main window.
class ConfigWindow {
 public:
  virtual ~ConfigWindow() = default;
  virtual void SetScale(int scale, bool vertical) = 0;
  virtual int Scale() const = 0;
  virtual void SetFrameSkipMenu(int setting) = 0;
  virtual void SetSoundCheck(SoundSwitch k, bool on) = 0;
  virtual int WindowTop() const = 0;
  virtual int WindowLeft() const = 0;
  virtual void SetWindowTop(int top) = 0;
  virtual void SetWindowLeft(int left) = 0;
};

// The settings that live outside the machine's Settings.
struct Config {
  std::string path;
  std::string DefaultDir;
  // [KEYBOARD] lists 0-23, then [JOYPAD] lists 0-23.
  std::array<std::string, kBindingListCount> BindingText;
  RecentFiles Recent;  // [RECENT]
  std::array<std::string, kHotkeyCount> Hotkeys;  // [HOTKEYS], as written
  int FastForwardSpeed = kDefaultFastForwardSpeed;  // 0: as fast as it goes
  int RewindSeconds = kDefaultRewindSeconds;        // 0: no rewind
};

void LoadConfig(Config& config, Settings& settings, ConfigWindow& window);
void SaveConfig(const Config& config, const Settings& settings, const ConfigWindow& window);
// Writes all 48 binding lists into [KEYBOARD] and [JOYPAD] at once (the input
// dialog's OK); false when the file cannot be written.
bool SaveBindings(const std::string& path,
                  const std::array<std::string, kBindingListCount>& lists);

// The desktop id: the name of the desktop entry, metainfo and icons.
extern const char* const kAppId;

// Kestra.INI beside the executable when it exists there or can be created,
// else under $XDG_CONFIG_HOME/kestra (by default ~/.config/kestra). An
// installed program always takes the latter: run by root, its bin/ would be
// writable too.
std::string ConfigPath();
// True when programDir is the bin/ of an installed tree, i.e. <prefix>/bin
// with <prefix>/share/applications/<kAppId>.desktop beside it.
bool InstalledProgramDir(const std::filesystem::path& programDir);
// ConfigPath's choice for a given program directory, whether it is installed,
// and environment values (null when unset).
std::string ChooseConfigPath(const std::filesystem::path& programDir, bool installed,
                             const char* xdgConfigHome, const char* home);

}  // namespace kestra
