// Settings from Kestra.INI that the machine reads as plain values. The UI
// thread changes some of them while the emulation thread runs, so each is an
// atomic read and written with relaxed ordering: a value one slice stale is
// harmless.
#pragma once

#include <atomic>

namespace kestra {

enum SoundSwitch { Sound1, Sound2, Sound3, Sound4, SoundNoise, SoundPCM, SoundDMA, SoundSwitchCount };

struct Settings {
  std::atomic<int> Verbose{0};
  std::atomic<int> FrameSkip{1};  // 0-4; 1 until the configuration is read
  std::atomic<bool> SoundSwitches[SoundSwitchCount] = {true, true, true, true, true, true, true};

  bool verbose() const { return Verbose.load(std::memory_order_relaxed) != 0; }
  bool sound(SoundSwitch s) const { return SoundSwitches[s].load(std::memory_order_relaxed); }
  void setSound(SoundSwitch s, bool on) { SoundSwitches[s].store(on, std::memory_order_relaxed); }
  int frameSkip() const { return FrameSkip.load(std::memory_order_relaxed); }
};

}  // namespace kestra
