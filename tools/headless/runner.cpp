#include "runner.h"

#include <cstdio>

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
  return 0;
}

void HeadlessRun::RunFrames(int frames) {
  for (int i = 0; i < frames; ++i, ++frame_) {
    keys_.SetFrame(frame_);
    emulator_.RunSlices(kSlicesPerFrame);
    if (wav_.IsOpen()) {
      int16_t samples[kOutputFramesPerFrame * 2];
      emulator_.MixFrame(samples);
      wav_.RecordFrame(samples);
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
  if (!options_.wav.empty() && !wav_.Close()) {
    std::fprintf(stderr, "kestra-headless: cannot write %s\n", options_.wav.c_str());
    ok = false;
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
