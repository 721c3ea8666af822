// The video chip's work once per line: the sprite table copied at line 140,
// and the line drawn (or the frame presented) for frames that frame skipping
// lets through.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

constexpr int kSpriteSnapshotEntries = 128;
constexpr uint32_t kSnapshotLine = 140;
constexpr uint32_t kVisibleLines = 144;

// A frame is drawn when FrameSkipTable[FrameSkip][FrameSkipCounter] is 1.
extern const uint8_t FrameSkipTable[5][5];

struct SpriteSnapshot {
  uint8_t entries[kSpriteSnapshotEntries * 4];
  int32_t count = 0;  // the renderer walks entries count-1 down to 0
};

// Copies the sprite table named by ports 0x04-0x06 (at most 128 entries).
void TakeSpriteSnapshot(Machine& m);

// Phase 4 of every line.
void VideoLine(Machine& m);

}  // namespace kestra
