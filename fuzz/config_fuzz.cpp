// A hand-edited Kestra.INI through LoadConfig and SaveConfig. Whatever the
// file holds, the settings come out in range, and what SaveConfig writes
// reads back as the same settings.
#include <cstring>

#include "app/config.h"
#include "app/ini.h"
#include "fuzz_support.h"

using namespace kestra;
using namespace kestra::fuzz;

namespace {

// The window as LoadConfig and SaveConfig see it; like the main window, its
// frame-skip menu sets the machine's setting.
struct FakeWindow final : ConfigWindow {
  explicit FakeWindow(Settings& s) : settings(s) {}
  void SetScale(int s, bool vertical) override {
    scale = s;
    FUZZ_CHECK(!vertical);
  }
  int Scale() const override { return scale; }
  void SetFrameSkipMenu(int setting) override {
    frameSkip = setting;
    settings.FrameSkip = setting;
  }
  void SetSoundCheck(SoundSwitch k, bool on) override { checks[k] = on; }
  int WindowTop() const override { return top; }
  int WindowLeft() const override { return left; }
  void SetWindowTop(int t) override { top = t; }
  void SetWindowLeft(int l) override { left = l; }

  Settings& settings;
  int scale = 0, frameSkip = -1, top = 0, left = 0;
  bool checks[SoundSwitchCount] = {};
};

struct Loaded {
  Config config;
  Settings settings;
  FakeWindow window{settings};
};

void Load(const std::string& path, Loaded& out) {
  out.config.path = path;
  LoadConfig(out.config, out.settings, out.window);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchDir() + "/Kestra.INI";
  WriteFile(path, data, size);

  Loaded first;
  Load(path, first);
  FUZZ_CHECK(first.window.scale >= 1 && first.window.scale <= 3);
  FUZZ_CHECK(first.window.frameSkip >= 0 && first.window.frameSkip <= 4);
  FUZZ_CHECK(first.settings.frameSkip() == first.window.frameSkip);
  FUZZ_CHECK(first.config.DefaultDir.size() < 512);
  for (int k = 0; k < SoundSwitchCount; ++k) {
    FUZZ_CHECK(first.window.checks[k] == first.settings.sound(static_cast<SoundSwitch>(k)));
  }
  for (const std::string& list : first.config.BindingText) {
    FUZZ_CHECK(!list.empty() && list.size() < 64);
  }

  SaveConfig(first.config, first.settings, first.window);

  // A second start reads what the first one left.
  Loaded second;
  Load(path, second);
  FUZZ_CHECK(second.window.scale == first.window.scale);
  FUZZ_CHECK(second.window.frameSkip == first.window.frameSkip);
  FUZZ_CHECK(second.window.top == first.window.top);
  FUZZ_CHECK(second.window.left == first.window.left);
  FUZZ_CHECK(second.config.DefaultDir == first.config.DefaultDir);
  FUZZ_CHECK(second.settings.verbose() == first.settings.verbose());
  for (int k = 0; k < SoundSwitchCount; ++k) {
    FUZZ_CHECK(second.window.checks[k] == first.window.checks[k]);
  }
  FUZZ_CHECK(second.config.BindingText == first.config.BindingText);
  return 0;
}
