#include "runner.h"

#include <algorithm>
#include <cstdio>

namespace kestra::headless {

namespace {

bool WriteBytes(const std::string& path, const uint8_t* bytes, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(bytes, 1, size, f) == size;
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) std::fprintf(stderr, "kestra-headless: cannot write %s\n", path.c_str());
  return ok;
}

// One frame of the mix into the WAV file. The voice buffer holds still
// during the first frame's mix: from then on the mix reads the voice ring one
// block behind the block being collected, never one that is still filling.
void RecordSound(HeadlessHost& host) {
  if (!host.wav.IsOpen()) return;
  const bool holdVoice = host.wav.frames() == 0 && host.audio.Status(kVoiceBuffer).playing;
  if (holdVoice) host.audio.Stop(kVoiceBuffer);
  host.wav.RecordFrame(host.audio);
  if (holdVoice) host.audio.Play(kVoiceBuffer);
}

}  // namespace

void ScriptedKeys::SetFrame(int frame) {
  while (next_ < changes_.size() && changes_[next_].frame <= frame) {
    held_ = changes_[next_++].mask;
  }
}

void HeadlessLayout::LayoutForCartridge(bool vertical) {
  if (machine) SetDisplayGeometry(*machine, 1, vertical ? 1 : 0);
}

void SetUpHost(Machine& m, HeadlessHost& host, const HeadlessOptions& options) {
  m.host.messages = &host.messages;
  m.host.ticks = &host.ticks;
  m.host.input = &host.keys;
  m.host.audio = &host.audio;
  m.host.display = &host.display;
  host.layout.machine = &m;
  m.host.frontEnd = &host.layout;
  m.settings.Verbose = options.verbose ? 1 : 0;
  m.settings.FrameSkip = options.frameSkip;
  OpenSound(m);
  OpenDisplay(m);
  if (!options.wav.empty()) host.wav.Open(options.wav);
}

void StartMachine(Machine& m) {
  SetStereo(m, kVoiceBuffer, 15, 15);
  PlayBuffer(m, kVoiceBuffer);
}

void TearDownHost(Machine& m, HeadlessHost&) {
  CloseSound(m);
  CloseDisplay(m);
}

void RunFrames(Machine& m, HeadlessHost& host, int frames) {
  constexpr int kPerTick = EmulatedTicks::kSlicesPerMillisecond;
  for (int frame = 0; frame < frames; ++frame) {
    host.keys.SetFrame(frame);
    // In steps that end on millisecond marks, so the clock reads exactly.
    int left = kSlicesPerFrame;
    while (left > 0) {
      const int step = std::min<int>(left, kPerTick - static_cast<int>(host.ticks.slices % kPerTick));
      RunSlices(m, step);
      host.ticks.slices += static_cast<uint64_t>(step);
      left -= step;
    }
    RecordSound(host);
  }
}

bool WriteOutputs(const Machine& m, HeadlessHost& host, const HeadlessOptions& options) {
  bool ok = true;
  if (!options.screenshot.empty() && !SaveScreenshot(host.display, options.screenshot)) {
    std::fprintf(stderr, "kestra-headless: cannot write %s\n", options.screenshot.c_str());
    ok = false;
  }
  if (!options.dumpIram.empty()) ok &= WriteBytes(options.dumpIram, m.mem.Iram, kPageSize);
  if (!options.dumpPorts.empty()) ok &= WriteBytes(options.dumpPorts, m.io.IoPorts, 0x100);
  if (!options.wav.empty() && !host.wav.Close()) {
    std::fprintf(stderr, "kestra-headless: cannot write %s\n", options.wav.c_str());
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
