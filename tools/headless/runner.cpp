#include "runner.h"

#include <cstdio>
#include <string>
#include <vector>

#include "system/scheduler.h"

namespace kestra::headless {

namespace {

bool WriteBytes(const std::string& path, const uint8_t* bytes, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(bytes, 1, size, f) == size;
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) std::fprintf(stderr, "kestra-headless: cannot write %s\n", path.c_str());
  return ok;
}

EmulatorHost HostFor(InputSource* keys) {
  EmulatorHost host;
  host.input = keys;
  return host;
}

}  // namespace

void ScriptedKeys::SetFrame(int frame) {
  if (frame < frame_) next_ = 0, held_ = 0;  // a rewind went back
  frame_ = frame;
  while (next_ < changes_.size() && changes_[next_].frame <= frame) {
    held_ = changes_[next_++].mask;
  }
}

HeadlessRun::HeadlessRun(const HeadlessOptions& options)
    : options_(options), keys_(options.keys), emulator_(HostFor(&keys_)) {
  Machine& m = emulator_.machine();
  m.settings.Verbose = options.verbose ? 1 : 0;
  m.settings.FrameSkip = options.frameSkip;
  emulator_.OpenSound();
  emulator_.OpenDisplay();
  if (!options.wav.empty()) wav_.Open(options.wav);
}

int HeadlessRun::Load() {
  if (emulator_.Load(options_.image) != 0) return 1;
  emulator_.StartVoice();
  std::string error;
  if (!options_.loadState.empty() && !emulator_.LoadStateFile(options_.loadState, error)) {
    std::fprintf(stderr, "kestra-headless: %s: %s\n", options_.loadState.c_str(), error.c_str());
    return 1;
  }
  SaveStatesDue();
  return 0;
}

bool HeadlessRun::SaveStatesDue() {
  const auto& due = options_.saveStateAt;
  for (; nextStateAt_ < due.size() && due[nextStateAt_].frame <= frame_; ++nextStateAt_) {
    std::string error;
    if (!emulator_.SaveStateFile(due[nextStateAt_].file, error)) {
      std::fprintf(stderr, "kestra-headless: %s\n", error.c_str());
      stateFailed_ = true;
    }
  }
  return !stateFailed_;
}

void HeadlessRun::RunFrames(int frames) {
  for (int i = 0; i < frames; ++i, ++frame_) {
    keys_.SetFrame(frame_);
    emulator_.RunFrame(0);  // the keys come from the script
    if (wav_.IsOpen()) {
      int16_t samples[kOutputFramesPerFrame * 2];
      emulator_.MixFrame(samples);
      wav_.RecordFrame(samples);
    }
    if (nextStateAt_ < options_.saveStateAt.size()) {
      ++frame_;
      SaveStatesDue();
      --frame_;
    }
  }
}

bool HeadlessRun::WriteOutputs() {
  const Machine& m = emulator_.machine();
  bool ok = true;
  if (!options_.screenshot.empty() &&
      !SaveScreenshot(*emulator_.ownDisplay(), options_.screenshot)) {
    std::fprintf(stderr, "kestra-headless: cannot write %s\n", options_.screenshot.c_str());
    ok = false;
  }
  if (!options_.dumpIram.empty()) ok &= WriteBytes(options_.dumpIram, m.mem.Iram, kPageSize);
  if (!options_.dumpPorts.empty()) ok &= WriteBytes(options_.dumpPorts, m.io.IoPorts, kPortCount);
  std::string error;
  if (!options_.saveState.empty() && !emulator_.SaveStateFile(options_.saveState, error)) {
    std::fprintf(stderr, "kestra-headless: %s\n", error.c_str());
    ok = false;
  }
  if (stateFailed_) ok = false;
  if (!options_.wav.empty() && !wav_.Close()) {
    std::fprintf(stderr, "kestra-headless: cannot write %s\n", options_.wav.c_str());
    ok = false;
  }
  return ok;
}

namespace {

// What a frame leaves: the picture, internal RAM and the ports.
uint64_t FrameDigest(const Emulator& e) {
  uint64_t h = 0xCBF29CE484222325ull;
  const auto mix = [&h](const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
  };
  const Emulator::Frame f = e.LastFrame();
  if (f.pixels) mix(f.pixels, static_cast<size_t>(f.pitch) * f.height * 4);
  mix(e.machine().mem.Iram, kPageSize);
  mix(e.machine().io.IoPorts, kPortCount);
  return h;
}

}  // namespace

bool HeadlessRun::RewindTest(int frames) {
  emulator_.SetRewind(size_t{64} << 20);
  std::vector<uint64_t> first;  // after frame 1, 2, ...
  for (int i = 0; i < frames; ++i) {
    RunFrames(1);
    first.push_back(FrameDigest(emulator_));
  }
  bool ok = true;
  // Back frame by frame to the first, each picture the one shown before.
  for (int back = frames - 1; back >= 1; --back) {
    if (!emulator_.RewindStep()) {
      std::fprintf(stderr, "kestra-headless: rewind stopped at frame %d\n", back + 1);
      return false;
    }
    if (FrameDigest(emulator_) != first[static_cast<size_t>(back - 1)]) {
      std::fprintf(stderr, "kestra-headless: frame %d differs on the way back\n", back);
      ok = false;
    }
  }
  frame_ = 1;
  for (int i = 1; i < frames; ++i) {
    RunFrames(1);
    if (FrameDigest(emulator_) != first[static_cast<size_t>(i)]) {
      std::fprintf(stderr, "kestra-headless: frame %d differs after the rewind\n", i + 1);
      ok = false;
    }
  }
  return ok;
}

std::string BenchLine(int frames, double seconds) {
  const double fps = seconds > 0 ? frames / seconds : 0.0;
  char line[128];
  std::snprintf(line, sizeof line, "frames=%d seconds=%.3f fps=%.1f speed=%.2f", frames, seconds,
                fps, fps / 75.47);
  return line;
}

}  // namespace kestra::headless
