#include "sound/host_audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>

namespace kestra {

namespace {

// One pole at about 20 Hz: takes away the offset of buffers that idle at
// 107 rather than at the 128 mid-point, and nothing audible.
constexpr float kDcPole = 0.9974f;
constexpr uint32_t kMixChunk = 256;

float MillibelsToGain(int32_t millibels) {
  return static_cast<float>(std::pow(10.0, millibels / 2000.0));
}

}  // namespace

struct HostAudio::Voice {
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
  bool playing = false;
  uint64_t position = 0;  // 32.32 fixed point, in samples
  uint64_t step = 0;      // position advance per output frame
  int32_t frequency = kDefaultBufferRate;
  int32_t volume = 0;
  int32_t pan = 0;
  float gainLeft = 0;  // includes the scale of an 8-bit sample to +-1
  float gainRight = 0;
  float fade = 0;  // 0 ... 1 while starting or stopping with fades on
  float heldLeft = 0, heldRight = 0;  // the last sample mixed, faded after a stop

  void UpdateStep() { step = (static_cast<uint64_t>(frequency) << 32) / kOutputRate; }
  void UpdateGains() {
    const float gain = MillibelsToGain(volume) / 128.0f;
    gainLeft = pan > 0 ? gain * MillibelsToGain(-pan) : gain;
    gainRight = pan < 0 ? gain * MillibelsToGain(pan) : gain;
  }
};

HostAudio::HostAudio() : voices_(new Voice[kHostBufferCount]) {}

HostAudio::~HostAudio() = default;

bool HostAudio::CreateDevice() {
  if (HasDevice()) return true;
  if (!OpenOutput()) return false;
  std::lock_guard<std::mutex> guard(lock_);
  device_ = true;
  dcInput_[0] = dcInput_[1] = dcOutput_[0] = dcOutput_[1] = 0;
  return true;
}

bool HostAudio::StartDevice() { return HasDevice() && StartOutput(); }

void HostAudio::ReleaseDevice() {
  if (!HasDevice()) return;
  for (int i = 0; i < kHostBufferCount; ++i) ReleaseBuffer(i);
  CloseOutput();
  std::lock_guard<std::mutex> guard(lock_);
  device_ = false;
}

bool HostAudio::HasDevice() const {
  std::lock_guard<std::mutex> guard(lock_);
  return device_;
}

HostAudio::Voice* HostAudio::Find(int buffer) {
  if (buffer < 0 || buffer >= kHostBufferCount || !voices_[buffer].data) return nullptr;
  return &voices_[buffer];
}

bool HostAudio::CreateBuffer(int buffer, uint32_t bytes) {
  if (buffer < 0 || buffer >= kHostBufferCount || bytes == 0 || !HasDevice()) return false;
  // Allocated outside the lock so the mixer never waits on the allocator.
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[bytes]);
  if (!data) return false;
  std::memset(data.get(), 0x80, bytes);
  std::lock_guard<std::mutex> guard(lock_);
  Voice& v = voices_[buffer];
  if (v.data) return false;
  v = Voice{};
  v.data = std::move(data);
  v.size = bytes;
  v.UpdateStep();
  v.UpdateGains();
  exists_[buffer] = true;
  return true;
}

void HostAudio::ReleaseBuffer(int buffer) {
  if (buffer < 0 || buffer >= kHostBufferCount) return;
  std::unique_ptr<uint8_t[]> old;
  {
    std::lock_guard<std::mutex> guard(lock_);
    exists_[buffer] = false;
    old = std::move(voices_[buffer].data);
    voices_[buffer] = Voice{};
  }
}

bool HostAudio::HasBuffer(int buffer) const {
  return buffer >= 0 && buffer < kHostBufferCount && exists_[buffer].load(std::memory_order_acquire);
}

bool HostAudio::Lock(int buffer, uint32_t offset, uint32_t bytes, LockedRange& range) {
  lock_.lock();
  Voice* v = Find(buffer);
  if (!v || offset >= v->size || bytes == 0 || bytes > v->size) {
    lock_.unlock();
    return false;
  }
  range.first = v->data.get() + offset;
  range.firstBytes = std::min(bytes, v->size - offset);
  range.secondBytes = bytes - range.firstBytes;
  range.second = range.secondBytes ? v->data.get() : nullptr;
  lockedBuffer_ = buffer;
  lockOwner_ = std::this_thread::get_id();
  return true;  // the lock stays held until Unlock
}

bool HostAudio::Unlock(int buffer, const LockedRange& range) {
  // Only the thread holding the lock may release it; it always does, so a
  // mismatched call cannot leave the mixer locked for good.
  if (lockOwner_.load() != std::this_thread::get_id()) return false;
  const Voice& v = voices_[lockedBuffer_];
  const bool matches = buffer == lockedBuffer_ && range.first >= v.data.get() &&
                       range.first < v.data.get() + v.size;
  lockedBuffer_ = -1;
  lockOwner_ = std::thread::id();
  lock_.unlock();
  return matches;
}

template <typename Change>
bool HostAudio::Modify(int buffer, Change change) {
  std::lock_guard<std::mutex> guard(lock_);
  Voice* v = Find(buffer);
  if (!v) return false;
  change(*v);
  return true;
}

bool HostAudio::Play(int buffer) {
  return Modify(buffer, [](Voice& v) { v.playing = true; });
}

bool HostAudio::Stop(int buffer) {
  return Modify(buffer, [](Voice& v) { v.playing = false; });
}

bool HostAudio::SetFrequency(int buffer, int32_t rate) {
  if (rate < kMinBufferRate || rate > kMaxBufferRate) return false;
  return Modify(buffer, [rate](Voice& v) {
    v.frequency = rate;
    v.UpdateStep();
  });
}

bool HostAudio::SetVolume(int buffer, int32_t millibels) {
  if (millibels < kSilentMillibels || millibels > 0) return false;
  return Modify(buffer, [millibels](Voice& v) {
    v.volume = millibels;
    v.UpdateGains();
  });
}

bool HostAudio::SetPan(int buffer, int32_t millibels) {
  if (millibels < kSilentMillibels || millibels > -kSilentMillibels) return false;
  return Modify(buffer, [millibels](Voice& v) {
    v.pan = millibels;
    v.UpdateGains();
  });
}

BufferStatus HostAudio::Status(int buffer) const {
  std::lock_guard<std::mutex> guard(lock_);
  BufferStatus s;
  if (buffer < 0 || buffer >= kHostBufferCount || !voices_[buffer].data) return s;
  const Voice& v = voices_[buffer];
  s.exists = true;
  s.playing = v.playing;
  s.frequency = v.frequency;
  s.volume = v.volume;
  s.pan = v.pan;
  s.position = static_cast<uint32_t>(v.position >> 32);
  return s;
}

void HostAudio::SetFadeFrames(uint32_t frames) {
  std::lock_guard<std::mutex> guard(lock_);
  fadeStep_ = frames ? 1.0f / static_cast<float>(frames) : 0.0f;
}

void HostAudio::MixVoice(Voice& v, float* mix, uint32_t frames) {
  if (fadeStep_ == 0) {
    v.fade = 0;
    if (!v.playing) return;
  } else if (!v.playing) {
    // Stopped: the last sample dies away rather than dropping to the centre.
    for (uint32_t f = 0; f < frames && v.fade > 0; ++f) {
      v.fade = std::max(0.0f, v.fade - fadeStep_);
      mix[2 * f] += v.heldLeft * v.fade;
      mix[2 * f + 1] += v.heldRight * v.fade;
    }
    return;
  } else if (v.fade < 1) {
    MixPlaying<true>(v, mix, frames);
    return;
  }
  MixPlaying<false>(v, mix, frames);
  if (fadeStep_ != 0 && frames > 0) {
    const uint32_t i = static_cast<uint32_t>(v.position >> 32);
    const float s = static_cast<float>(v.data[i]) - 128.0f;
    v.heldLeft = s * v.gainLeft;
    v.heldRight = s * v.gainRight;
  }
}

// A playing buffer into the mix; Fading: while it fades in after a start,
// keeping its last sample for a stop.
template <bool Fading>
void HostAudio::MixPlaying(Voice& v, float* mix, uint32_t frames) {
  const uint8_t* data = v.data.get();
  const uint32_t size = v.size;
  const uint64_t end = static_cast<uint64_t>(size) << 32;
  uint64_t position = v.position;
  float fade = v.fade;
  for (uint32_t f = 0; f < frames; ++f) {
    const uint32_t i = static_cast<uint32_t>(position >> 32);
    const uint32_t j = i + 1 == size ? 0 : i + 1;
    const float frac = static_cast<float>(position & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
    const float a = static_cast<float>(data[i]);
    const float s = a + (static_cast<float>(data[j]) - a) * frac - 128.0f;
    if constexpr (Fading) {
      fade = std::min(1.0f, fade + fadeStep_);
      v.heldLeft = s * v.gainLeft;
      v.heldRight = s * v.gainRight;
      mix[2 * f] += v.heldLeft * fade;
      mix[2 * f + 1] += v.heldRight * fade;
    } else {
      mix[2 * f] += s * v.gainLeft;
      mix[2 * f + 1] += s * v.gainRight;
    }
    position += v.step;
    if (position >= end) position %= end;  // a step may span a short buffer more than once
  }
  v.position = position;
  if constexpr (Fading) v.fade = fade;
}

void HostAudio::Render(int16_t* out, uint32_t frames) {
  std::lock_guard<std::mutex> guard(lock_);
  float mix[2 * kMixChunk];
  while (frames > 0) {
    const uint32_t n = std::min(frames, kMixChunk);
    std::fill(mix, mix + 2 * n, 0.0f);
    for (int i = 0; i < kHostBufferCount; ++i) {
      Voice& v = voices_[i];
      if (v.data && (v.playing || v.fade > 0)) MixVoice(v, mix, n);
    }
    const float target = muted_.load(std::memory_order_relaxed) ? 0.0f : 1.0f;
    const float gainStep = fadeStep_ != 0 ? fadeStep_ : 1.0f;
    for (uint32_t k = 0; k < 2 * n; ++k) {
      const int c = k & 1;
      if (c == 0 && outputGain_ != target) {
        outputGain_ = target > outputGain_ ? std::min(target, outputGain_ + gainStep)
                                           : std::max(target, outputGain_ - gainStep);
      }
      float y = mix[k] - dcInput_[c] + kDcPole * dcOutput_[c];
      if (std::fabs(y) < 1e-20f) y = 0.0f;  // no denormals while it decays in silence
      dcInput_[c] = mix[k];
      dcOutput_[c] = y;
      const float scaled = std::clamp(y * outputGain_ * 32767.0f, -32768.0f, 32767.0f);
      out[k] = static_cast<int16_t>(std::lrint(scaled));
    }
    out += 2 * n;
    frames -= n;
  }
}

}  // namespace kestra

namespace kestra {

namespace {

template <typename T>
void Put(std::vector<uint8_t>& out, const T& value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof value);
}

template <typename T>
bool Take(std::span<const uint8_t>& in, T& value) {
  if (in.size() < sizeof value) return false;
  std::memcpy(&value, in.data(), sizeof value);
  in = in.subspan(sizeof value);
  return true;
}

}  // namespace

void HostAudio::SaveState(std::vector<uint8_t>& out) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (int i = 0; i < kHostBufferCount; ++i) {
    const Voice& v = voices_[i];
    Put(out, v.size);
    out.insert(out.end(), v.data.get(), v.data.get() + (v.data ? v.size : 0));
    Put(out, static_cast<uint8_t>(v.playing));
    Put(out, v.position);
    Put(out, v.frequency);
    Put(out, v.volume);
    Put(out, v.pan);
  }
  for (float f : {dcInput_[0], dcInput_[1], dcOutput_[0], dcOutput_[1]}) Put(out, f);
}

bool HostAudio::LoadState(std::span<const uint8_t> in) {
  std::lock_guard<std::mutex> guard(lock_);
  // Checked whole before anything changes.
  std::span<const uint8_t> check = in;
  for (int i = 0; i < kHostBufferCount; ++i) {
    uint32_t size = 0;
    if (!Take(check, size) || size != (voices_[i].data ? voices_[i].size : 0) ||
        check.size() < size + 1 + 8 + 12) {
      return false;
    }
    check = check.subspan(size + 1 + 8 + 12);
  }
  if (check.size() != 4 * sizeof(float)) return false;
  for (int i = 0; i < kHostBufferCount; ++i) {
    Voice& v = voices_[i];
    uint32_t size = 0;
    uint8_t playing = 0;
    Take(in, size);
    if (size) std::memcpy(v.data.get(), in.data(), size);
    in = in.subspan(size);
    Take(in, playing);
    Take(in, v.position);
    Take(in, v.frequency);
    Take(in, v.volume);
    Take(in, v.pan);
    v.playing = playing != 0;
    v.frequency = std::clamp(v.frequency, kMinBufferRate, kMaxBufferRate);
    v.volume = std::clamp(v.volume, kSilentMillibels, 0);
    v.pan = std::clamp(v.pan, kSilentMillibels, -kSilentMillibels);
    if (size) v.position %= static_cast<uint64_t>(size) << 32;
    v.UpdateStep();
    v.UpdateGains();
  }
  Take(in, dcInput_[0]);
  Take(in, dcInput_[1]);
  Take(in, dcOutput_[0]);
  Take(in, dcOutput_[1]);
  return true;
}

}  // namespace kestra
