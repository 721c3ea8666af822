// RunJob on the benchmark cartridge (roms/bench): a busy game with both
// screens, 64 sprites, sound, timer interrupts and a CPU busy for most of
// each frame, set up as kestra-headless sets it up (display, offline sound).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "core/machine.h"
#include "system/console.h"
#include "system/loader.h"
#include "sound/host_audio.h"
#include "video/headless_display.h"

namespace kestra {
namespace {

// Writes no box anywhere: a warning would only disturb the timings.
class SilentMessages final : public MessageService {
 public:
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

struct BenchCartridge {
  BenchCartridge() : m(CreateMachine()) {
    m->host.messages = &messages;
    m->host.audio = &audio;
    m->host.display = &display;
    m->settings.FrameSkip = 0;
    OpenSound(*m);
    OpenDisplay(*m);
    loaded = LoadCartridge(*m, KESTRA_BENCH_CARTRIDGE) == 0;
  }
  // No UnloadCartridge: the save file beside the image is left as it was.
  ~BenchCartridge() {
    CloseSound(*m);
    CloseDisplay(*m);
  }
  SilentMessages messages;
  OfflineAudio audio;
  HeadlessDisplay display;
  std::unique_ptr<Machine> m;
  bool loaded = false;
};

// One job: 480 slices, 60 lines, every frame drawn.
void BM_RunJobBusyGame(benchmark::State& state) {
  BenchCartridge b;
  if (!b.loaded) {
    state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
    return;
  }
  for (auto _ : state) RunJob(*b.m);
  // 5 ms of emulated time per job: the rate is the speed in times real time / 200.
  state.counters["jobs_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
  state.counters["x_real_time"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * 0.005, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunJobBusyGame);

}  // namespace
}  // namespace kestra
