// The host side of the sound: six looping 8-bit buffers with rate, volume and
// pan, mixed into 48 kHz 16-bit stereo. The machine talks to it through the
// buffer operations; a back end supplies the device (the SDL output, or none
// for a caller that pulls samples itself).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kestra {

constexpr int kHostBufferCount = 6;
constexpr int kOutputRate = 48000;
constexpr int32_t kDefaultBufferRate = 22050;  // the buffers' nominal format
constexpr int32_t kMinBufferRate = 100;
constexpr int32_t kMaxBufferRate = 100000;
constexpr int32_t kSilentMillibels = -10000;

// A locked byte range of a looping buffer: it may come back in two pieces when
// it runs over the end.
struct LockedRange {
  uint8_t* first = nullptr;
  uint32_t firstBytes = 0;
  uint8_t* second = nullptr;
  uint32_t secondBytes = 0;
};

// What a buffer is doing, for tests and tools.
struct BufferStatus {
  bool exists = false;
  bool playing = false;
  int32_t frequency = 0;  // samples per second
  int32_t volume = 0;     // hundredths of a decibel, 0 ... -10000
  int32_t pan = 0;        // hundredths of a decibel, -10000 ... 10000
  uint32_t position = 0;  // play position in samples
};

class HostAudio {
 public:
  HostAudio();
  virtual ~HostAudio();
  HostAudio(const HostAudio&) = delete;
  HostAudio& operator=(const HostAudio&) = delete;

  // The device: created, then started in shared mode. Releasing it releases
  // every buffer first. Called on the UI thread with no emulation running.
  bool CreateDevice();
  bool StartDevice();
  void ReleaseDevice();
  bool HasDevice() const;

  // Buffers 0-5. Creation allocates; everything else only touches the
  // buffer under the mixer's lock. A call for a missing buffer, or with a
  // value the device refuses, returns false and changes nothing.
  bool CreateBuffer(int buffer, uint32_t bytes);
  void ReleaseBuffer(int buffer);
  bool HasBuffer(int buffer) const;  // takes no lock
  // Lock keeps the mixer's lock held until Unlock: write quickly, call
  // nothing else of this object in between. Unlock releases it in any case
  // and is false when its arguments are not the locked range.
  bool Lock(int buffer, uint32_t offset, uint32_t bytes, LockedRange& range);
  bool Unlock(int buffer, const LockedRange& range);
  bool Play(int buffer);  // loops on from the current play position
  bool Stop(int buffer);  // keeps the play position
  bool SetFrequency(int buffer, int32_t rate);
  bool SetVolume(int buffer, int32_t millibels);
  bool SetPan(int buffer, int32_t millibels);
  BufferStatus Status(int buffer) const;

  // Mixes every playing buffer into `frames` interleaved 16-bit stereo frames
  // at kOutputRate and advances their play positions. Allocates nothing; the
  // SDL back end calls it from its callback thread.
  void Render(int16_t* out, uint32_t frames);

  // A buffer that starts or stops playing fades in or out over `frames`
  // output frames instead of stepping (a stopped one fades its last sample),
  // so stopping and starting the emulation does not click. 0, the default,
  // keeps the offline mixers' output exactly as it was.
  void SetFadeFrames(uint32_t frames);
  // The whole output fades out and stays silent while muted (fast-forward,
  // rewind), and fades back in.
  void SetMuted(bool muted) { muted_.store(muted, std::memory_order_relaxed); }
  bool muted() const { return muted_.load(std::memory_order_relaxed); }

  // The mixer's whole state for a save state: every buffer's bytes, play
  // state, position and settings, and the output filter. LoadState is false,
  // with nothing changed, when the buffers differ from these in number or size.
  void SaveState(std::vector<uint8_t>& out) const;
  bool LoadState(std::span<const uint8_t> in);

 protected:
  // The back end's part of the device. A back end whose output runs on its
  // own thread calls ReleaseDevice in its destructor.
  virtual bool OpenOutput() = 0;
  virtual bool StartOutput() = 0;
  virtual void CloseOutput() = 0;

 private:
  struct Voice;
  Voice* Find(int buffer);
  // Applies `change` to an existing buffer under the lock; false if missing.
  template <typename Change>
  bool Modify(int buffer, Change change);
  void MixVoice(Voice& v, float* mix, uint32_t frames);
  template <bool Fading>
  void MixPlaying(Voice& v, float* mix, uint32_t frames);

  mutable std::mutex lock_;
  std::unique_ptr<Voice[]> voices_;
  bool device_ = false;
  std::atomic<bool> exists_[kHostBufferCount] = {};  // lock-free existence checks
  std::atomic<std::thread::id> lockOwner_{};
  int lockedBuffer_ = -1;  // guarded by lock_
  float fadeStep_ = 0;   // guarded by lock_
  float outputGain_ = 1;  // guarded by lock_
  std::atomic<bool> muted_{false};
  float dcInput_[2] = {0, 0};
  float dcOutput_[2] = {0, 0};
};

// No device: the caller pulls the mixed sound with Render (tests and the
// headless runner's WAV output).
class OfflineAudio final : public HostAudio {
 protected:
  bool OpenOutput() override { return true; }
  bool StartOutput() override { return true; }
  void CloseOutput() override {}
};

}  // namespace kestra
