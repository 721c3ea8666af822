// RenderLine on a busy line: both screens scrolled, screen 2 in a window,
// 32 of 128 sprites on the line, in each tile format and orientation, by the
// wide path (where the processor has it) and one by one.
#include <benchmark/benchmark.h>

#include <random>

#include "core/machine.h"
#include "system/console.h"
#include "video/display.h"
#include "video/headless_display.h"
#include "video/renderer.h"

namespace kestra {
namespace {

struct BusyScene {
  explicit BusyScene(uint8_t tileFormat, int vertical) : m(CreateMachine()) {
    m->host.display = &display;
    SetDisplayGeometry(*m, 1, vertical);
    OpenDisplay(*m);
    std::mt19937 random(12345);
    for (uint32_t a = 0x0800; a < 0xFE00; ++a) m->mem.Iram[a] = static_cast<uint8_t>(random());
    for (uint32_t p = 0; p < kPaletteBytes; ++p) {
      WritePaletteByte(*m, p, static_cast<uint8_t>(random()));
    }
    uint8_t* ports = m->io.IoPorts;
    ports[0x00] = 0x2F;  // both screens, sprites, sprite window, screen 2 inside its window
    ports[0x60] = static_cast<uint8_t>(0x80 | tileFormat);
    ports[0x08] = 16, ports[0x09] = 0, ports[0x0A] = 200, ports[0x0B] = 143;
    ports[0x0C] = 40, ports[0x0D] = 0, ports[0x0E] = 180, ports[0x0F] = 143;
    ports[0x10] = 3, ports[0x11] = 17, ports[0x12] = 77, ports[0x13] = 200;
    m->io.MapBaseLow = 0x0800;
    m->io.MapBaseHigh = 0x1000;
    SpriteSnapshot& s = m->sprites;
    s.count = 128;
    for (int n = 0; n < 128; ++n) {
      const bool onLine = n % 4 == 0;  // 32 sprites cross line 70
      s.entries[4 * n + 0] = static_cast<uint8_t>(random());
      s.entries[4 * n + 1] = static_cast<uint8_t>(random());
      s.entries[4 * n + 2] = static_cast<uint8_t>(onLine ? 64 + n % 7 : 100 + n % 40);
      s.entries[4 * n + 3] = static_cast<uint8_t>(n * 7 % 224);
    }
  }
  HeadlessDisplay display;
  std::unique_ptr<Machine> m;
};

void BM_RenderBusyLine(benchmark::State& state) {
  BusyScene scene(static_cast<uint8_t>(state.range(0)), static_cast<int>(state.range(1)));
  const bool wide = state.range(2) != 0;
  if (wide && !HostRendersWide()) {
    state.SkipWithError("this processor has no wide path");
    return;
  }
  scene.m->display.wideRendering = wide;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderLine(*scene.m, 70));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderBusyLine)
    ->ArgNames({"format", "vertical", "wide"})
    ->ArgsProduct({{0x00, 0x20, 0x40, 0x60}, {0}, {0, 1}})
    ->Args({0x60, 1, 0})
    ->Args({0x60, 1, 1});

void BM_RenderBusyFrame(benchmark::State& state) {
  BusyScene scene(0x60, 0);
  for (auto _ : state) {
    for (int line = 0; line < kLcdHeight; ++line) RenderLine(*scene.m, line);
    benchmark::DoNotOptimize(PresentFrame(*scene.m));
  }
  state.SetItemsProcessed(state.iterations() * kLcdHeight);
}
BENCHMARK(BM_RenderBusyFrame);

}  // namespace
}  // namespace kestra
