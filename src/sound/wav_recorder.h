// The mixed sound of a headless run as a WAV file: 16-bit stereo at 48 kHz,
// one emulated frame of output pulled from the mixer at a time and streamed
// to the file, so a long run holds no more than one frame in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sound/host_audio.h"

namespace kestra {

// Output frames per emulated frame of 40,704 CPU cycles at 3,072,000 per
// second: 48,000 / 75.47, exactly 636.
constexpr uint32_t kOutputFramesPerFrame = kOutputRate * 40704ull / 3072000;
static_assert(kOutputFramesPerFrame * 3072000ull == kOutputRate * 40704ull);

class WavRecorder {
 public:
  ~WavRecorder();
  bool Open(const std::string& path);  // false when the file cannot be created
  bool IsOpen() const { return file_ != nullptr; }
  // One emulated frame of the mix: kOutputFramesPerFrame stereo frames.
  void RecordFrame(const int16_t* samples);
  // Completes the header; false if any write failed.
  bool Close();
  uint64_t frames() const { return frames_; }

 private:
  std::FILE* file_ = nullptr;
  uint64_t frames_ = 0;
  bool failed_ = false;
};

}  // namespace kestra
