// A machine with the offline mixer opened as its sound device, and helpers to
// look at the host buffers and at the mixed output.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/machine.h"
#include "core/ports.h"
#include "sound/host_audio.h"
#include "support/test_support.h"

namespace kestra::test {

class ManualTicks final : public TickSource {
 public:
  uint32_t Ticks() override { return now; }
  uint32_t now = 1000;
};

// The test machine's own offline device, opened once as the program does.
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m->host.ticks = &ticks;
    ASSERT_TRUE(audio.HasDevice());
  }

  // A port write as the CPU's OUT makes it.
  void Out(uint32_t port, uint8_t value) { WritePort(*m, port, value); }

  // Channel c's 16 wave bytes: samples 0-15 at full level, 16-31 at zero.
  void WriteSquareWave(int channel) {
    for (uint32_t k = 0; k < 16; ++k) WaveHook(*m, channel * 16 + k, k < 8 ? 0xFF : 0x00);
  }

  std::vector<uint8_t> HostBytes(int buffer, uint32_t offset, uint32_t bytes) {
    LockedRange range;
    EXPECT_TRUE(audio.Lock(buffer, offset, bytes, range));
    std::vector<uint8_t> out(range.first, range.first + range.firstBytes);
    if (range.second) out.insert(out.end(), range.second, range.second + range.secondBytes);
    EXPECT_TRUE(audio.Unlock(buffer, range));
    return out;
  }

  TestMachine m;
  OfflineAudio& audio = m.audio;
  ManualTicks ticks;
};

// Interleaved 16-bit stereo frames pulled from a mixer.
inline std::vector<int16_t> RenderFrames(HostAudio& audio, uint32_t frames) {
  std::vector<int16_t> out(2 * static_cast<size_t>(frames));
  audio.Render(out.data(), frames);
  return out;
}

inline double Rms(const std::vector<int16_t>& frames, int channel) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = channel; i < frames.size(); i += 2, ++n) sum += double(frames[i]) * frames[i];
  return n ? std::sqrt(sum / n) : 0;
}

inline double Decibels(double a, double b) { return 20 * std::log10(a / b); }

// Rising zero crossings of one channel per second of kOutputRate frames.
inline double CrossingsPerSecond(const std::vector<int16_t>& frames, int channel) {
  int crossings = 0;
  for (size_t i = channel + 2; i < frames.size(); i += 2) {
    if (frames[i - 2] < 0 && frames[i] >= 0) ++crossings;
  }
  return crossings * double(kOutputRate) / (frames.size() / 2);
}

// Amplitude of the `hz` component of one channel (a single DFT bin).
inline double ToneAmplitude(const std::vector<int16_t>& frames, int channel, double hz,
                            double rate = kOutputRate) {
  double re = 0, im = 0;
  const size_t n = frames.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    const double phase = 2 * M_PI * hz * i / rate;
    re += frames[2 * i + channel] * std::cos(phase);
    im -= frames[2 * i + channel] * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / n;
}

}  // namespace kestra::test
