#include "system/scheduler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/interrupts.h"
#include "core/keypad.h"
#include "core/machine.h"
#include "sound/voice.h"
#include "video/sprites.h"

namespace kestra {

namespace {

// The work of one phase of the current line.
template <int Phase>
inline void PhaseWork(Machine& m) {
  uint8_t& line = m.io.IoPorts[kPortLine];
  if constexpr (Phase == 0) {
    if (line == kPollLine) PollKeypad(m);
  } else if constexpr (Phase == 2) {
    SoundLine(m);
  } else if constexpr (Phase == 4) {
    VideoLine(m);
  } else if constexpr (Phase == 6) {
    TimerStep(m);
  } else if constexpr (Phase == 7) {
    if (++line >= kLinesPerFrame) line = 0;
  }
}

// The CPU's part of a slice; the balance carries an over-run into the next.
inline void SliceCpu(Machine& m) {
  SchedulerState& s = m.sched;
  s.CycleBalance += kCyclesPerSlice - CpuRun(m, s.CycleBalance);
}

inline void DispatchPending(Machine& m) {
  const uint8_t status = m.io.IoPorts[kPortInterruptStatus];
  if (status != 0) DispatchInterrupt(m, status);
}

template <int Phase>
inline void SliceOfPhase(Machine& m) {
  SliceCpu(m);
  m.sched.SlicePhase = Phase;
  PhaseWork<Phase>(m);
  DispatchPending(m);
}

}  // namespace

uint8_t RunSlice(Machine& m) {
  SchedulerState& s = m.sched;
  if (++s.SlicePhase == kSlicesPerLine) s.SlicePhase = 0;
  switch (s.SlicePhase) {
    case 0: PhaseWork<0>(m); break;
    case 2: PhaseWork<2>(m); break;
    case 4: PhaseWork<4>(m); break;
    case 6: PhaseWork<6>(m); break;
    case 7: PhaseWork<7>(m); break;
    default: break;
  }
  return m.io.IoPorts[kPortInterruptStatus];
}

void RunSlices(Machine& m, int count) {
  SchedulerState& s = m.sched;
  const auto single = [&m] {
    SliceCpu(m);
    const uint8_t status = RunSlice(m);
    if (status != 0) DispatchInterrupt(m, status);
  };
  // Slice by slice to the end of the line, then whole lines with the phase
  // known at each step, then what is left.
  for (; count > 0 && s.SlicePhase != kSlicesPerLine - 1; --count) single();
  for (; count >= kSlicesPerLine; count -= kSlicesPerLine) {
    SliceOfPhase<0>(m);
    SliceOfPhase<1>(m);
    SliceOfPhase<2>(m);
    SliceOfPhase<3>(m);
    SliceOfPhase<4>(m);
    SliceOfPhase<5>(m);
    SliceOfPhase<6>(m);
    SliceOfPhase<7>(m);
  }
  for (; count > 0; --count) single();
}

JobLoop::JobLoop(Machine& m, StatusCallback status) : m_(m), status_(std::move(status)) {}

void JobLoop::Run(const std::function<bool()>& terminateRequested) {
  while (!terminateRequested()) RunOnce();
}

void JobLoop::RunOnce() {
  TickSource& ticks = *m_.host.ticks;
  if (!started_) {
    NextTick = StatusTick = ticks.Ticks();
    started_ = true;
  }
  // Spin to the next mark; the tick count wraps, so compare by difference.
  uint32_t now = ticks.Ticks();
  while (static_cast<int32_t>(now - NextTick) < 0) {
    std::this_thread::yield();
    now = ticks.Ticks();
  }
  if (now - NextTick >= kCatchUpLimitMilliseconds) NextTick = now;  // lost time stays lost
  NextTick += kJobMilliseconds;
  job(m_);
  if (static_cast<int32_t>(now - StatusTick) >= 0) {
    if (JobCount != 0) LoadPercent = 20000 / JobCount;
    StatusTick = now + 1000;
    JobCount = 0;
    if (status_) {
      char text[16];
      std::snprintf(text, sizeof text, "%d%%", LoadPercent);
      status_(text);
    }
  }
  ++JobCount;
}

}  // namespace kestra
