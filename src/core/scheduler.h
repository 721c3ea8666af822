// The heartbeat: RunJob runs 480 slices of 32 CPU cycles, each followed by one
// of the eight phases of the current LCD line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestra {

struct Machine;

constexpr int kCyclesPerSlice = 32;
constexpr int kSlicesPerJob = 480;
constexpr int kLinesPerFrame = 159;
constexpr int kSpriteSnapshotEntries = 128;

struct SpriteSnapshot {
  uint8_t entries[kSpriteSnapshotEntries * 4];
  int count = 0;  // the renderer walks entries count-1 down to 0
};

struct SchedulerState {
  int32_t CycleBalance = kCyclesPerSlice;
  bool firstJobDone = false;
  int SlicePhase = 0;
  uint16_t ButtonMask = 0;
  uint16_t PrevButtonMask = 0;
  int FrameSkipCounter = 0;
  SpriteSnapshot Sprites;
};

void RunJob(Machine& m);
uint8_t RunSlice(Machine& m);

// Copies the sprite table named by ports 0x04-0x06 (at most 128 entries).
void TakeSpriteSnapshot(Machine& m);

}  // namespace kestra
