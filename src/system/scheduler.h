// The heartbeat: RunJob runs 480 slices of 32 CPU cycles, each followed by one
// of the eight phases of the current LCD line; JobLoop paces jobs at 5 ms of
// wall-clock time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestra {

struct Machine;

constexpr int kCyclesPerSlice = 32;
constexpr int kSlicesPerLine = 8;
constexpr int kSlicesPerJob = 480;
constexpr int kLinesPerFrame = 159;
constexpr int kSlicesPerFrame = kSlicesPerLine * kLinesPerFrame;  // 1,272
constexpr uint32_t kJobMilliseconds = 5;
constexpr uint32_t kCatchUpLimitMilliseconds = 100;

// Carried over across stops and cartridge loads; a fresh machine starts with
// the values of the program's start.
struct SchedulerState {
  int32_t CycleBalance = kCyclesPerSlice;  // budget of the next slice
  int32_t SlicePhase = 0;                  // the first slice runs phase 1
  uint16_t ButtonMask = 0;
  uint16_t PrevButtonMask = 0;
  int32_t FrameSkipCounter = 0;
};

// One slice: CPU for the balance, a phase, and the dispatch of a pending cause.
void RunSlices(Machine& m, int count);
inline void RunJob(Machine& m) { RunSlices(m, kSlicesPerJob); }

// Advances the phase, does its work and returns the interrupt status port.
uint8_t RunSlice(Machine& m);

// The emulation thread's run loop without the thread: a job every 5 ms of the
// tick source, spinning (not sleeping) until the next mark, never making up
// more than 100 ms. Once a second the load figure ("%d%%") goes to the status
// callback. The front end runs it on a thread of its own.
class JobLoop {
 public:
  using StatusCallback = std::function<void(const std::string&)>;

  JobLoop(Machine& m, StatusCallback status);

  // Runs jobs until terminateRequested() is true; it is asked once per job.
  void Run(const std::function<bool()>& terminateRequested);

  // Waits for the next mark, runs one job and updates the load figure.
  void RunOnce();

  void (*job)(Machine&) = RunJob;  // replaceable so the pacing can be tested alone

  uint32_t NextTick = 0;
  uint32_t StatusTick = 0;
  int JobCount = 0;
  int LoadPercent = 0;

 private:
  Machine& m_;
  StatusCallback status_;
  bool started_ = false;
};

}  // namespace kestra
