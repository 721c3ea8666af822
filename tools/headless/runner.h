// The machine driven without a window and without pacing: whole frames of
// 1,272 slices through the emulator object, host services that make runs
// repeatable, and the files written after the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "options.h"
#include "sound/wav_recorder.h"

namespace kestra::headless {

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
  int frame_ = 0;
};

// One headless run: the emulator with the scripted keys, its outputs opened
// and the settings applied as the program does at start.
class HeadlessRun {
 public:
  explicit HeadlessRun(const HeadlessOptions& options);

  // The image, then the voice started, then the state of --load-state: 0,
  // or 1 after the loader's message or the state's refusal.
  int Load();
  // Emulates `frames` whole frames, the keys following the script and the
  // sound into the WAV file when one is asked for.
  void RunFrames(int frames);
  // Writes the files the options ask for after the run. False (with the
  // reason on stderr) when one could not be written.
  bool WriteOutputs();

  // --rewind-test: true when the frames run again after stepping back match
  // the first pass; what differs goes to stderr.
  bool RewindTest(int frames);

  Emulator& emulator() { return emulator_; }
  int frame() const { return frame_; }

 private:
  const HeadlessOptions& options_;
  ScriptedKeys keys_;
  WavRecorder wav_;
  Emulator emulator_;
  bool SaveStatesDue();
  int frame_ = 0;
  size_t nextStateAt_ = 0;
  bool stateFailed_ = false;
};

// "frames=N seconds=S fps=F speed=X"
std::string BenchLine(int frames, double seconds);

}  // namespace kestra::headless
