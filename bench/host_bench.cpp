// What the processor gives this thread just now. On the shared development
// machine the same build runs from about 160x to 250x from one minute to the
// next, and these two figures show why: the clock stays near 3.3 GHz, while
// the rate of taken branches falls on a processor whose core is busy with
// other work as well (most likely its other hardware thread), and the
// emulator, whose dispatch takes a branch every few cycles, slows about as
// much. `make bench` prints both beside its runs.
#include <benchmark/benchmark.h>

#include <cstdint>

namespace kestra {
namespace {

#if defined(__GNUC__)
constexpr int64_t kSteps = 1 << 16;

// The empty asm keeps the value in a register and the compiler from folding
// the adds, so each add waits for the one before: one a cycle.
inline void Add(uint64_t& x) {
  asm volatile("" : "+r"(x));
  x += 1;
}

// Four dependent adds a step; the loop's own work runs beside them, so the
// rate of adds is the clock.
void BM_HostClock(benchmark::State& state) {
  uint64_t a = 0;
  for (auto _ : state) {
#pragma GCC unroll 1
    for (int64_t i = 0; i < kSteps; ++i) {
      Add(a);
      Add(a);
      Add(a);
      Add(a);
    }
  }
  benchmark::DoNotOptimize(a);
  state.counters["clock"] = benchmark::Counter(static_cast<double>(state.iterations() * kSteps * 4),
                                               benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HostClock);

// One add and one taken branch a step: one step a cycle on a core of its own,
// fewer while another thread shares the core's fetching.
void BM_HostBranches(benchmark::State& state) {
  uint64_t a = 0;
  for (auto _ : state) {
#pragma GCC unroll 1
    for (int64_t i = 0; i < kSteps; ++i) Add(a);
  }
  benchmark::DoNotOptimize(a);
  state.counters["branches"] = benchmark::Counter(static_cast<double>(state.iterations() * kSteps),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HostBranches);
#endif

}  // namespace
}  // namespace kestra
