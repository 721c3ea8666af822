// The window's run loop: JobLoop's pacing, with frames kept whole so that a
// pause ends between frames and rewind records what was played.
#include <algorithm>
#include <cstdio>
#include <thread>

#include "emulator/emulator.h"
#include "emulator/rewind.h"

namespace kestra {

namespace {

// Slices one second of real time runs at 100%.
constexpr uint64_t kSlicesPerSecond = kSlicesPerJob * (1000 / kJobMilliseconds);

}  // namespace

void Emulator::RunTracked(int slices) {
  while (slices > 0) {
    // As RunFrame does: a state at the start of every kRewindInterval-th frame.
    if (framePos_ == 0 && rewind_ && !replaying_ && rewind_->frame % kRewindInterval == 0) {
      BuildPayload(payload_);
      rewind_->Add(payload_);
    }
    const int step = std::min(slices, kSlicesPerFrame - framePos_);
    RunSlices(step);
    framePos_ += step;
    slices -= step;
    if (framePos_ == kSlicesPerFrame) {
      framePos_ = 0;
      playFrames_.store(playFrames_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
      if (rewind_ && !replaying_) RecordRewindFrame(keyProxy_.last);
    }
  }
}

bool Emulator::StepBack() {
  if (!RewindStep()) return false;
  const uint64_t frames = playFrames_.load(std::memory_order_relaxed);
  if (frames > 0) playFrames_.store(frames - 1, std::memory_order_relaxed);
  return true;
}

void Emulator::AdvanceFrame() {
  if (loaded()) RunTracked(kSlicesPerFrame - framePos_);
}

void Emulator::RunPlay(PlayControl& control, const std::function<bool()>& stop,
                       const std::function<void(const std::string&)>& status) {
  TickSource& ticks = *m_->host.ticks;
  uint32_t next = ticks.Ticks();
  uint32_t statusTick = next, secondStart = next;
  int jobCount = 0, loadPercent = 0, rewindCredit = 0;
  uint64_t slicesThisSecond = 0;
  int lastFast = control.fastForward.load(std::memory_order_relaxed);
  bool lastRewinding = control.rewinding.load(std::memory_order_relaxed);
  while (true) {
    if (stop()) {
      if (control.finishFrame.load(std::memory_order_acquire) && framePos_ != 0 && loaded()) {
        RunTracked(kSlicesPerFrame - framePos_);
      }
      break;
    }
    const int fast = control.fastForward.load(std::memory_order_relaxed);
    const bool rewinding = control.rewinding.load(std::memory_order_relaxed);
    uint32_t now = ticks.Ticks();
    if (fast != lastFast || rewinding != lastRewinding) {
      // A new pace: its figure counts a whole second of its own.
      lastFast = fast;
      lastRewinding = rewinding;
      statusTick = now + 1000;
      secondStart = now;
      slicesThisSecond = 0;
      jobCount = 0;
    }
    if (fast == 0 && !rewinding) {
      next = now;  // unpaced: no time to make up afterwards
    } else {
      // Spin to the next mark; the tick count wraps, so compare by difference.
      while (static_cast<int32_t>(now - next) < 0) {
        std::this_thread::yield();
        now = ticks.Ticks();
      }
      if (now - next >= kCatchUpLimitMilliseconds) next = now;  // lost time stays lost
    }
    next += kJobMilliseconds;
    if (rewinding) {
      // One step back per frame period of 1,272 slices' time.
      rewindCredit += kSlicesPerJob;
      while (rewindCredit >= kSlicesPerFrame) {
        rewindCredit -= kSlicesPerFrame;
        StepBack();
      }
    } else {
      rewindCredit = 0;
      const int jobs = fast > 0 ? fast : 1;
      RunTracked(jobs * kSlicesPerJob);
      slicesThisSecond += static_cast<uint64_t>(jobs) * kSlicesPerJob;
    }
    if (static_cast<int32_t>(now - statusTick) >= 0) {
      if (jobCount != 0) loadPercent = 20000 / jobCount;
      char text[24];
      const uint32_t elapsed = now - secondStart;
      if (fast >= 0 && !rewinding && elapsed > 0) {
        // Fast-forward shows how fast it really went.
        const uint64_t speed = slicesThisSecond * 100 * 1000 / (kSlicesPerSecond * elapsed);
        std::snprintf(text, sizeof text, "%d%%", static_cast<int>(std::min<uint64_t>(speed, 99999)));
      } else {
        std::snprintf(text, sizeof text, "%d%%", loadPercent);
      }
      if (status) status(text);
      statusTick = now + 1000;
      secondStart = now;
      slicesThisSecond = 0;
      jobCount = 0;
    }
    ++jobCount;
  }
}

}  // namespace kestra
