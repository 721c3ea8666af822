// Save states and rewind on the benchmark cartridge: the cost of a frame
// with rewind on against one without, what a minute of rewind keeps, and
// saving and loading a state.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "support_files.h"

namespace kestra {
namespace {

constexpr double kFramesPerSecond = 3072000.0 / (256 * 159);

class SilentBox final : public MessageService {
 public:
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

// From memory, so no save file beside the image is touched.
struct BusyGame {
  SilentBox box;
  Emulator e{Host()};
  bool loaded = false;
  EmulatorHost Host() {
    EmulatorHost h;
    h.messages = &box;
    return h;
  }
  BusyGame() {
    e.machine().settings.FrameSkip = 0;
    e.OpenSound();
    e.OpenDisplay();
    loaded = e.LoadImage(bench::ReadBytes(KESTRA_BENCH_CARTRIDGE)) == 0;
    if (loaded) e.StartVoice();
  }
};

void BM_FrameBusyGame(benchmark::State& state) {
  BusyGame g;
  if (!g.loaded) return state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
  for (auto _ : state) g.e.RunFrame(0);
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrameBusyGame);

// Rewind on with the 64 MB cap: compare the time per frame with the one above.
void BM_FrameBusyGameRewinding(benchmark::State& state) {
  BusyGame g;
  if (!g.loaded) return state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
  g.e.SetRewind(size_t{64} << 20);
  for (auto _ : state) g.e.RunFrame(0);
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  const double frames = static_cast<double>(g.e.rewindFrames());
  if (frames > 0) {
    state.counters["rewind_KB_per_minute"] =
        static_cast<double>(g.e.rewindBytes()) / frames * kFramesPerSecond * 60 / 1024;
  }
}
BENCHMARK(BM_FrameBusyGameRewinding);

// A state kept every frame: the cost of one state is this frame's time less
// BM_FrameBusyGame's, and rewind adds it once per Emulator::kRewindInterval
// frames.
void BM_FrameBusyGameStateEveryFrame(benchmark::State& state) {
  BusyGame g;
  if (!g.loaded) return state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
  g.e.SetRewind(size_t{64} << 20, 1);
  for (auto _ : state) g.e.RunFrame(0);
}
BENCHMARK(BM_FrameBusyGameStateEveryFrame);

// Ten minutes of play with the 64 MB cap: how far back it reaches.
void BM_RewindTenMinutes(benchmark::State& state) {
  for (auto _ : state) {
    BusyGame g;
    if (!g.loaded) return state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
    g.e.SetRewind(size_t{64} << 20);
    const int frames = static_cast<int>(600 * kFramesPerSecond) + 2;
    for (int f = 0; f < frames; ++f) g.e.RunFrame(static_cast<uint16_t>((f / 40) % 7 == 3 ? 0x20 : 0));
    state.counters["seconds_held"] = static_cast<double>(g.e.rewindFrames()) / kFramesPerSecond;
    state.counters["MB_used"] = static_cast<double>(g.e.rewindBytes()) / (1 << 20);
  }
}
BENCHMARK(BM_RewindTenMinutes)->Iterations(1)->Unit(benchmark::kSecond);

// One step back: the state before and the frames up to the target again.
void BM_RewindStep(benchmark::State& state) {
  BusyGame g;
  if (!g.loaded) return state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
  g.e.SetRewind(size_t{64} << 20);
  for (auto _ : state) {
    state.PauseTiming();
    if (g.e.rewindFrames() < 2) {
      for (int f = 0; f < 2000; ++f) g.e.RunFrame(0);
    }
    state.ResumeTiming();
    g.e.RewindStep();
  }
}
BENCHMARK(BM_RewindStep)->Unit(benchmark::kMicrosecond);

void BM_SaveState(benchmark::State& state) {
  BusyGame g;
  if (!g.loaded) return state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
  for (int f = 0; f < 100; ++f) g.e.RunFrame(0);
  size_t bytes = 0;
  for (auto _ : state) bytes = g.e.SaveState().size();
  state.counters["file_KB"] = static_cast<double>(bytes) / 1024;
  state.counters["raw_KB"] = static_cast<double>(g.e.StateSize()) / 1024;
}
BENCHMARK(BM_SaveState)->Unit(benchmark::kMicrosecond);

void BM_LoadState(benchmark::State& state) {
  BusyGame g;
  if (!g.loaded) return state.SkipWithError("cannot load " KESTRA_BENCH_CARTRIDGE);
  for (int f = 0; f < 100; ++f) g.e.RunFrame(0);
  const std::vector<uint8_t> file = g.e.SaveState();
  std::string error;
  for (auto _ : state) benchmark::DoNotOptimize(g.e.LoadState(file, error));
}
BENCHMARK(BM_LoadState)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestra
