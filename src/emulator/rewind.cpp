#include "emulator/rewind.h"

#include <algorithm>
#include <cstring>

namespace kestra {

void Emulator::SetRewind(size_t memoryCap, int interval) {
  rewind_.reset();
  if (memoryCap == 0) return;
  rewind_ = std::make_unique<RewindBuffer>();
  rewind_->cap = memoryCap;
  rewind_->interval = std::max(interval, 1);
}

size_t Emulator::rewindFrames() const {
  if (!rewind_ || rewind_->points.empty()) return 0;
  const uint64_t oldest = rewind_->points.front().frame + 1;
  return rewind_->frame > oldest ? static_cast<size_t>(rewind_->frame - oldest) : 0;
}

size_t Emulator::rewindBytes() const {
  return rewind_ ? rewind_->bytes + rewind_->keys.size() * sizeof(uint16_t) : 0;
}

void Emulator::RecordRewindFrame(uint16_t keys) {
  RewindBuffer& r = *rewind_;
  r.keys.push_back(keys);
  ++r.frame;
}

bool Emulator::RewindStep() {
  if (!rewind_ || replaying_) return false;
  RewindBuffer& r = *rewind_;
  if (r.frame < 2) return false;
  const uint64_t target = r.frame - 1;  // frames run once back
  // The newest state that still leaves a frame to run up to the target, so
  // the picture is the target frame's.
  const RewindBuffer::Point* from = nullptr;
  for (auto it = r.points.rbegin(); it != r.points.rend(); ++it) {
    if (it->frame < target) {
      from = &*it;
      break;
    }
  }
  if (!from) return false;
  std::string error;
  if (!r.Restore(*from, rewindState_) || !ApplyPayload(rewindState_, error)) return false;
  // Drop what lies after the target, then run up to it again.
  const size_t key = from->key;
  while (!r.points.empty() && r.points.back().frame > from->frame) {
    r.bytes -= r.points.back().packed.size();
    r.points.pop_back();
  }
  while (r.fullBase + r.fulls.size() - 1 > key) {
    r.bytes -= r.fulls.back().size();
    r.fulls.pop_back();
  }
  const uint64_t start = r.points.back().frame;
  replaying_ = keyProxy_.replaying = true;
  for (uint64_t f = start; f < target; ++f) {
    keyProxy_.replayMask = r.keys[static_cast<size_t>(f - r.firstKeyFrame)];
    RunSlices(kSlicesPerFrame);
  }
  replaying_ = keyProxy_.replaying = false;
  r.keys.resize(static_cast<size_t>(target - r.firstKeyFrame));
  r.frame = target;
  r.deltasSinceFull = kDeltasPerKey;  // the next state starts a new full one
  return true;
}

void Emulator::RunFrame(uint16_t keys) {
  ownKeys_.mask = keys;
  if (rewind_ && !replaying_ && rewind_->frame % rewind_->interval == 0) {
    BuildPayload(payload_, true);
    rewind_->Add(payload_);
  }
  RunSlices(kSlicesPerFrame);
  if (rewind_ && !replaying_) RecordRewindFrame(keyProxy_.last);
}

}  // namespace kestra
