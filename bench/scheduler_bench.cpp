// The scheduler around an idle CPU, and the port writes a game makes most.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "core/machine.h"
#include "system/console.h"
#include "core/ports.h"
#include "sound/host_audio.h"

namespace kestra {
namespace {

// A machine with sound, idling on JMP $ in internal RAM with VBlank entered
// every frame (the handler acknowledges and returns).
struct IdleMachine {
  IdleMachine() : m(CreateMachine()) {
    m->host.audio = &audio;
    OpenSound(*m);
    const uint8_t main[] = {0xFB, 0xEB, 0xFE};                        // STI; JMP $
    const uint8_t handler[] = {0xB0, 0x40, 0xE6, 0xB6, 0xCF};         // ack VBlank; IRET
    std::copy(std::begin(main), std::end(main), m->mem.Iram + 0x400);
    std::copy(std::begin(handler), std::end(handler), m->mem.Iram + 0x500);
    m->mem.Iram[0x18] = 0x00, m->mem.Iram[0x19] = 0x05;  // vector 6 -> 0000:0500
    SetCpuRegister(*m, 12, 0);
    SetCpuRegister(*m, 1, 0x400);
    SetCpuRegister(*m, 6, 0x2000);
    m->io.IoPorts[0x14] = 0x01;
    m->io.IoPorts[0xB2] = 0x40;
  }
  ~IdleMachine() { CloseSound(*m); }
  OfflineAudio audio;
  std::unique_ptr<Machine> m;
};

void BM_RunFrameIdle(benchmark::State& state) {
  IdleMachine s;
  s.m->settings.FrameSkip = static_cast<int>(state.range(0));
  for (auto _ : state) RunSlices(*s.m, kSlicesPerFrame);
  state.SetItemsProcessed(state.iterations());  // frames
}
BENCHMARK(BM_RunFrameIdle)->Arg(0)->Arg(4);

void BM_WritePortStoreOnly(benchmark::State& state) {
  auto m = CreateMachine();
  uint8_t v = 0;
  for (auto _ : state) WritePort(*m, 0x10, v++);
}
BENCHMARK(BM_WritePortStoreOnly);

// A 512-byte general DMA into the palette area.
void BM_WritePortDmaToPalette(benchmark::State& state) {
  auto m = CreateMachine();
  uint8_t* io = m->io.IoPorts;
  for (auto _ : state) {
    io[0x40] = 0x00, io[0x41] = 0x10, io[0x42] = 0x00;  // from 0x1000
    io[0x44] = 0x00, io[0x45] = 0xFE;                   // to 0xFE00
    io[0x46] = 0x00, io[0x47] = 0x02;
    WritePort(*m, 0x48, 0x80);
  }
  state.SetBytesProcessed(state.iterations() * 512);
}
BENCHMARK(BM_WritePortDmaToPalette);

}  // namespace
}  // namespace kestra
