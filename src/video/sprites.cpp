#include "video/sprites.h"

#include <algorithm>
#include <cstring>

#include "core/machine.h"
#include "video/renderer.h"

namespace kestra {

const uint8_t FrameSkipTable[5][5] = {
    {1, 1, 1, 1, 1}, {0, 1, 1, 1, 1}, {0, 1, 0, 1, 1}, {0, 0, 1, 0, 1}, {0, 0, 0, 0, 1},
};

void TakeSpriteSnapshot(Machine& m) {
  const uint8_t* io = m.io.IoPorts;
  const int count = std::min<int>(io[kPortSpriteCount], kSpriteSnapshotEntries);
  // At most 31 * 512 + 255 * 4 + 128 * 4 bytes: always inside Iram.
  const uint32_t offset = (io[kPortSpriteBase] & 0x1Fu) * 512 + io[kPortSpriteFirst] * 4u;
  std::memcpy(m.sprites.entries, m.mem.Iram + offset, static_cast<size_t>(count) * 4);
  m.sprites.count = count;
}

void VideoLine(Machine& m) {
  SchedulerState& s = m.sched;
  const uint32_t line = m.io.IoPorts[kPortLine];
  if (line == kSnapshotLine) TakeSpriteSnapshot(m);
  if (!(m.io.IoPorts[kPortLcdControl] & 0x01)) return;
  if (line == 0 && --s.FrameSkipCounter < 0) s.FrameSkipCounter = 4;
  const int skip = std::clamp(m.settings.frameSkip(), 0, 4);
  if (!FrameSkipTable[skip][s.FrameSkipCounter]) return;
  if (line < kVisibleLines) {
    RenderLine(m, static_cast<int>(line));
  } else if (line == kVisibleLines) {
    PresentFrame(m);
  }
}

}  // namespace kestra
