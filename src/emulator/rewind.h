// Rewind: the keys of every frame and, every `interval` frames, the
// raw state, compressed as its difference from the last full state kept.
// A step back restores the nearest state before the target and runs the
// frames up to it again with the keys they had, so every picture on the way
// back is the one that was shown.
#pragma once

#include <zstd.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "emulator/emulator.h"

namespace kestra {

constexpr int kDeltasPerKey = 30;    // states compressed against one full one

class RewindBuffer {
 public:
  struct Point {
    uint64_t frame;        // frames run when it was taken
    size_t key;            // index in keys_ of its full state
    std::vector<uint8_t> packed;  // zstd of the state XOR its full state (or the full state)
  };

  size_t cap = 0;
  int interval = Emulator::kRewindInterval;  // frames between states
  uint64_t frame = 0;               // frames run since recording began
  uint64_t firstKeyFrame = 0;       // frame of keys.front()
  std::deque<uint16_t> keys;        // the polled keys of each frame
  std::deque<Point> points;
  std::deque<std::vector<uint8_t>> fulls;  // full states, packed
  size_t fullBase = 0;              // index of fulls.front()
  std::vector<uint8_t> lastFull;    // the newest full state, raw
  size_t deltasSinceFull = kDeltasPerKey;
  size_t bytes = 0;
  size_t groupBytes = 0;  // of the newest full state and its deltas
  std::vector<uint8_t> scratch, unpacked, packBuffer;
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  ZSTD_DCtx* dctx = ZSTD_createDCtx();

  ~RewindBuffer() {
    ZSTD_freeCCtx(cctx);
    ZSTD_freeDCtx(dctx);
  }

  std::vector<uint8_t> Pack(const std::vector<uint8_t>& raw) {
    if (packBuffer.size() < ZSTD_compressBound(raw.size())) {
      packBuffer.resize(ZSTD_compressBound(raw.size()));
    }
    const size_t n =
        ZSTD_compressCCtx(cctx, packBuffer.data(), packBuffer.size(), raw.data(), raw.size(), 1);
    if (ZSTD_isError(n)) return {};
    return {packBuffer.begin(), packBuffer.begin() + static_cast<ptrdiff_t>(n)};
  }

  // out = a ^ b, eight bytes at a time.
  static void Xor(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t size) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      x ^= y;
      std::memcpy(out + i, &x, 8);
    }
    for (; i < size; ++i) out[i] = a[i] ^ b[i];
  }

  bool Unpack(const std::vector<uint8_t>& packed, std::vector<uint8_t>& raw) {
    const size_t n = ZSTD_decompressDCtx(dctx, raw.data(), raw.size(), packed.data(), packed.size());
    return !ZSTD_isError(n) && n == raw.size();
  }

  void Add(const std::vector<uint8_t>& state) {
    Point p{frame, 0, {}};
    // A group that outgrows half the cap ends, so older ones can go.
    if (deltasSinceFull >= kDeltasPerKey || lastFull.size() != state.size() ||
        groupBytes > cap / 2) {
      lastFull = state;
      fulls.push_back(Pack(state));
      bytes += fulls.back().size();
      groupBytes = fulls.back().size();
      deltasSinceFull = 0;
    } else {
      scratch.resize(state.size());
      Xor(state.data(), lastFull.data(), scratch.data(), state.size());
      p.packed = Pack(scratch);
      bytes += p.packed.size();
      groupBytes += p.packed.size();
      ++deltasSinceFull;
    }
    p.key = fullBase + fulls.size() - 1;
    points.push_back(std::move(p));
    // The group being written is never dropped: its full state is the base of the next.
    while (bytes + keys.size() * sizeof(uint16_t) > cap && points.front().key != points.back().key) {
      DropOldest();
    }
  }

  // Drops the oldest full state and the states made against it.
  void DropOldest() {
    const size_t key = points.front().key;
    while (!points.empty() && points.front().key == key) {
      bytes -= points.front().packed.size();
      points.pop_front();
    }
    bytes -= fulls.front().size();
    fulls.pop_front();
    ++fullBase;
    const uint64_t oldest = points.empty() ? frame : points.front().frame;
    while (firstKeyFrame < oldest && !keys.empty()) {
      keys.pop_front();
      ++firstKeyFrame;
    }
  }

  bool Restore(const Point& p, std::vector<uint8_t>& state) {
    state.resize(lastFull.size());
    if (!Unpack(fulls[p.key - fullBase], state)) return false;
    if (p.packed.empty()) return true;
    unpacked.resize(state.size());
    if (!Unpack(p.packed, unpacked)) return false;
    Xor(state.data(), unpacked.data(), state.data(), state.size());
    return true;
  }
};


}  // namespace kestra
