// The real sound device: SDL2's default output at 48 kHz 16-bit stereo, whose
// callback thread pulls the mix of the six buffers.
#pragma once

#include <atomic>
#include <cstdint>

#include "sound/host_audio.h"

namespace kestra {

class SdlAudio final : public HostAudio {
 public:
  ~SdlAudio() override;

  // Output frames the device has pulled so far.
  uint64_t FramesRendered() const { return framesRendered_.load(std::memory_order_relaxed); }

 protected:
  bool OpenOutput() override;
  bool StartOutput() override;
  void CloseOutput() override;

 private:
  static void Callback(void* self, uint8_t* stream, int bytes);

  uint32_t device_ = 0;  // SDL_AudioDeviceID; 0 while closed
  bool subsystem_ = false;
  std::atomic<uint64_t> framesRendered_{0};
};

}  // namespace kestra
