// The machine driven without a window and without pacing: whole frames of
// 1,272 slices through the same slice code as the app, host services that
// make runs repeatable, and the files written after the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/machine.h"
#include "options.h"
#include "sound/host_audio.h"
#include "sound/wav_recorder.h"
#include "video/headless_display.h"

namespace kestra::headless {

// Emulated time: 5 ms per 480 slices, so a run does not depend on the host.
class EmulatedTicks final : public TickSource {
 public:
  static constexpr int kSlicesPerMillisecond = kSlicesPerJob / static_cast<int>(kJobMilliseconds);
  uint32_t Ticks() override { return static_cast<uint32_t>(slices / kSlicesPerMillisecond); }
  uint64_t slices = 0;
};

// The keys of --keys: the mask of the last change at or before the frame.
class ScriptedKeys final : public InputSource {
 public:
  explicit ScriptedKeys(std::vector<KeyChange> changes) : changes_(std::move(changes)) {}
  void SetFrame(int frame);
  uint32_t PollInput() override { return held_; }

 private:
  std::vector<KeyChange> changes_;
  size_t next_ = 0;
  uint16_t held_ = 0;
};

// A loaded cartridge turns the picture for its orientation, at scale 1.
class HeadlessLayout final : public FrontEnd {
 public:
  void LayoutForCartridge(bool vertical) override;
  Machine* machine = nullptr;
};

// Everything the machine talks to in a headless run. Outputs that need a host
// service of their own (a picture, a sound file) belong here too.
struct HeadlessHost {
  explicit HeadlessHost(const HeadlessOptions& options) : keys(options.keys) {}
  StderrMessages messages;
  EmulatedTicks ticks;
  ScriptedKeys keys;
  OfflineAudio audio;  // the sound layer as in the program, mixed only on demand
  WavRecorder wav;     // --wav: one frame of the mix after every emulated frame
  HeadlessDisplay display;
  HeadlessLayout layout;
};

// Points the machine at the host's services, opens the outputs (the display
// before the load, whose reset writes the palettes) and applies the settings,
// as the program does at start.
void SetUpHost(Machine& m, HeadlessHost& host, const HeadlessOptions& options);

// After a successful load: what the front end does before it starts the
// emulation thread (the voice buffer at full volume, playing).
void StartMachine(Machine& m);

// Closes the outputs again, as the program does when its window closes.
void TearDownHost(Machine& m, HeadlessHost& host);

// Emulates `frames` whole frames, the keys following the script.
void RunFrames(Machine& m, HeadlessHost& host, int frames);

// Writes the files the options ask for after the run. False (with the reason
// on stderr) when one could not be written.
bool WriteOutputs(const Machine& m, HeadlessHost& host, const HeadlessOptions& options);

// "frames=N seconds=S fps=F speed=X"
std::string BenchLine(int frames, double seconds);

}  // namespace kestra::headless
