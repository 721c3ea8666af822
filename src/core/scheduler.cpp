#include "core/scheduler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/interrupts.h"
#include "core/machine.h"
#include "sound/voice.h"
#include "video/renderer.h"

namespace kestra {

const uint8_t FrameSkipTable[5][5] = {
    {1, 1, 1, 1, 1}, {0, 1, 1, 1, 1}, {0, 1, 0, 1, 1}, {0, 0, 1, 0, 1}, {0, 0, 0, 0, 1},
};

namespace {

constexpr uint32_t kSnapshotLine = 140;
constexpr uint32_t kVisibleLines = 144;
constexpr uint32_t kPollLine = 144;

// Phase 0 of line 144: the keys into port 0xB5 and the key-release cause.
void PollKeys(Machine& m) {
  SchedulerState& s = m.sched;
  uint8_t* io = m.io.IoPorts;
  s.ButtonMask = m.host.input ? static_cast<uint16_t>(m.host.input->PollInput()) : 0;
  io[0xB5] = KeypadValue(io[0xB5], s.ButtonMask);
  if (s.PrevButtonMask & ~s.ButtonMask) RaiseCause(m, kCauseKey);
  s.PrevButtonMask = s.ButtonMask;
}

// Phase 2: the noise counter and one voice sample.
void SoundStep(Machine& m) {
  uint8_t* io = m.io.IoPorts;
  const uint16_t noise = SoundLineStep(m);
  io[0x92] = noise & 0xFF;
  io[0x93] = noise >> 8;
  PushVoiceSample(m, VoiceOutputLevel(NextVoiceSample(m)));
}

// Phase 4: the sprite copy at line 140, then the line or the frame for frames
// that frame skipping lets through.
void VideoStep(Machine& m) {
  SchedulerState& s = m.sched;
  const uint32_t line = m.io.IoPorts[0x02];
  if (line == kSnapshotLine) TakeSpriteSnapshot(m);
  if (!(m.io.IoPorts[0x14] & 0x01)) return;
  if (line == 0 && --s.FrameSkipCounter < 0) s.FrameSkipCounter = 4;
  const int skip = std::clamp(m.settings.frameSkip(), 0, 4);
  if (!FrameSkipTable[skip][s.FrameSkipCounter]) return;
  if (line < kVisibleLines) {
    RenderLine(m, static_cast<int>(line));
  } else if (line == kVisibleLines) {
    PresentFrame(m);
  }
}

}  // namespace

uint8_t VoiceOutputLevel(uint8_t sample) {
  return static_cast<uint8_t>(std::clamp((sample >> 1) + 0x40, 0x55, 0xAA));
}

uint8_t NextVoiceSample(Machine& m) {
  uint8_t* io = m.io.IoPorts;
  if ((io[0x52] & 0x88) == 0x80) {
    uint32_t source = io[0x4C] << 16 | io[0x4B] << 8 | io[0x4A];
    int32_t count = io[0x4F] << 8 | io[0x4E];
    uint8_t sample = ReadMemory(m, source);
    if (!m.settings.sound(SoundDMA)) sample = 0x80;
    io[0x89] = sample;
    --count;
    ++source;
    if (count < 32) {
      count = 0;
      io[0x52] &= 0x7F;
    }
    io[0x4A] = source & 0xFF;
    io[0x4B] = (source >> 8) & 0xFF;
    io[0x4C] = (source >> 16) & 0xFF;
    io[0x4E] = count & 0xFF;
    io[0x4F] = (count >> 8) & 0xFF;
    return sample;
  }
  if ((io[0x90] & 0x22) == 0x22) return m.settings.sound(SoundPCM) ? io[0x89] : 0x80;
  return 0x80;
}

void TakeSpriteSnapshot(Machine& m) {
  const uint8_t* io = m.io.IoPorts;
  const int count = std::min<int>(io[0x06], kSpriteSnapshotEntries);
  // At most 31 * 512 + 255 * 4 + 128 * 4 bytes: always inside Iram.
  const uint32_t offset = (io[0x04] & 0x1Fu) * 512 + io[0x05] * 4u;
  std::memcpy(m.sched.Sprites.entries, m.mem.Iram + offset, static_cast<size_t>(count) * 4);
  m.sched.Sprites.count = count;
}

namespace {

// The work of one phase of the current line.
template <int Phase>
inline void PhaseWork(Machine& m) {
  uint8_t* io = m.io.IoPorts;
  if constexpr (Phase == 0) {
    if (io[0x02] == kPollLine) PollKeys(m);
  } else if constexpr (Phase == 2) {
    SoundStep(m);
  } else if constexpr (Phase == 4) {
    VideoStep(m);
  } else if constexpr (Phase == 6) {
    TimerStep(m);
  } else if constexpr (Phase == 7) {
    if (++io[0x02] >= kLinesPerFrame) io[0x02] = 0;
  }
}

// The CPU's part of a slice; the balance carries an over-run into the next.
inline void SliceCpu(Machine& m) {
  SchedulerState& s = m.sched;
  s.CycleBalance += kCyclesPerSlice - CpuRun(m, s.CycleBalance);
}

inline void DispatchPending(Machine& m) {
  const uint8_t status = m.io.IoPorts[0xB6];
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
  return m.io.IoPorts[0xB6];
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
