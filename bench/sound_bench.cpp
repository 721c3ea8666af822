// Sound port writes and the mixer.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/machine.h"
#include "system/console.h"
#include "core/ports.h"
#include "sound/host_audio.h"
#include "sound/sound.h"

namespace kestra {
namespace {

struct OpenedSound {
  OpenedSound() : m(CreateMachine()) {
    m->host.audio = &audio;
    OpenSound(*m);
    for (uint32_t k = 0; k < 64; ++k) WaveHook(*m, k, static_cast<uint8_t>(k * 37));
    for (uint32_t port : {0x80u, 0x82u, 0x84u, 0x86u}) Out(port, 0x00);
    for (uint32_t port : {0x81u, 0x83u, 0x85u, 0x87u}) Out(port, 0x07);
    for (uint32_t port : {0x88u, 0x89u, 0x8Au, 0x8Bu}) Out(port, 0xFF);
  }
  void Out(uint32_t port, uint8_t v) { WritePort(*m, port, v); }
  ~OpenedSound() { CloseSound(*m); }
  OfflineAudio audio;
  std::unique_ptr<Machine> m;
};

// A game rewriting a volume it already has: only the cache is consulted.
void BM_WritePortSoundUnchanged(benchmark::State& state) {
  OpenedSound s;
  for (auto _ : state) WritePort(*s.m, 0x88, 0xFF);
}
BENCHMARK(BM_WritePortSoundUnchanged);

// A volume that changes every time: one call into the host under its lock.
void BM_WritePortSoundChanging(benchmark::State& state) {
  OpenedSound s;
  uint8_t v = 0;
  for (auto _ : state) WritePort(*s.m, 0x88, v += 0x11);
}
BENCHMARK(BM_WritePortSoundChanging);

void BM_SoundLineStep(benchmark::State& state) {
  OpenedSound s;
  for (auto _ : state) benchmark::DoNotOptimize(SoundLineStep(*s.m));
}
BENCHMARK(BM_SoundLineStep);

// One emulated frame of output (636 frames at 48 kHz) with every buffer playing.
void BM_RenderFrame(benchmark::State& state) {
  OpenedSound s;
  WriteSoundPort(*s.m, 0x8E, 0x01);
  for (int b = 0; b < kHostBufferCount; ++b) s.audio.Play(b);
  std::vector<int16_t> out(2 * 636);
  for (auto _ : state) {
    s.audio.Render(out.data(), 636);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 636);
}
BENCHMARK(BM_RenderFrame);

}  // namespace
}  // namespace kestra
