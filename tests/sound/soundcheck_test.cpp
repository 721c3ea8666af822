// Our soundcheck cartridge through kestra-headless --wav: the tone of channel 1
// and the sound-DMA stream must both be in the file.
#include <gtest/gtest.h>


#include "options.h"
#include "sound/wav_recorder.h"
#include "sound_fixture.h"

namespace kestra::test {
namespace {

struct Wav {
  std::vector<uint8_t> header;
  std::vector<int16_t> frames;  // interleaved stereo
};

Wav ReadWav(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  Wav wav;
  if (bytes.size() < 44) return wav;
  wav.header.assign(bytes.begin(), bytes.begin() + 44);
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
    wav.frames.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
  }
  return wav;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// Emulated frames [first, last) of the output.
std::vector<int16_t> Frames(const Wav& wav, int first, int last) {
  return {wav.frames.begin() + 2 * kOutputFramesPerFrame * first,
          wav.frames.begin() + 2 * kOutputFramesPerFrame * last};
}

TEST(Soundcheck, ToneAndStreamAreInTheWav) {
  TempDir dir;
  const std::string path = dir.file("out.wav");
  ASSERT_EQ(RunHeadlessLine("-n 130 --wav " + path + " " + RomPath("soundcheck.ws")).status, 0);
  const Wav wav = ReadWav(path);
  ASSERT_EQ(wav.header.size(), 44u);
  EXPECT_EQ(std::string(wav.header.begin(), wav.header.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(wav.header, 24), 48000u);                       // rate
  EXPECT_EQ(wav.header[22] | wav.header[23] << 8, 2);            // channels
  EXPECT_EQ(Le32(wav.header, 40), 130u * 636 * 4);               // data bytes
  EXPECT_EQ(Le32(wav.header, 4), 36 + 130u * 636 * 4);
  ASSERT_EQ(wav.frames.size(), 2u * 636 * 130);

  // Frames 0-74: channel 1's square at 375 Hz, levels 107 and 152.
  const std::vector<int16_t> tone = Frames(wav, 10, 70);
  const double square = 4 / M_PI * (45.0 / 256 * 32768);
  for (int channel : {0, 1}) {
    EXPECT_NEAR(CrossingsPerSecond(tone, channel), 375, 1.5);
    EXPECT_NEAR(ToneAmplitude(tone, channel, 375), square, square * 0.02);
    EXPECT_LT(ToneAmplitude(tone, channel, 200), square * 0.01);
  }

  // Then the stream: each DMA byte s plays as (s >> 1) + 0x40 within
  // 0x55-0xAA, one per line. The file's harmonics must be the stream's own.
  std::vector<int16_t> expected;
  for (int period = 0; period < 10; ++period) {
    for (uint8_t s : {0x20, 0x60, 0xA0, 0xE0}) {
      const int level = std::clamp((s >> 1) + 0x40, 0x55, 0xAA);
      for (int line = 0; line < 15; ++line) expected.insert(expected.end(), 2, int16_t((level - 128) * 256));
    }
  }
  const std::vector<int16_t> voice = Frames(wav, 85, 110);
  EXPECT_NEAR(CrossingsPerSecond(voice, 0), 200, 1.5);
  for (double hz : {200.0, 400.0, 600.0}) {
    const double want = ToneAmplitude(expected, 0, hz, 12000);
    EXPECT_NEAR(ToneAmplitude(voice, 0, hz), want, want * 0.03) << hz;
    EXPECT_NEAR(ToneAmplitude(voice, 1, hz), want, want * 0.03) << hz;
  }
  EXPECT_LT(ToneAmplitude(voice, 0, 375), square * 0.03);  // channel 1 is off

  // After the 6,000 lines of the stream: silence.
  EXPECT_EQ(Rms(Frames(wav, 125, 130), 0), 0.0);
}

TEST(Soundcheck, UnwritableWavFailsTheRun) {
  TempDir dir;
  EXPECT_EQ(
      RunHeadlessLine("-n 1 --wav " + dir.file("no/such/dir.wav") + " " + RomPath("soundcheck.ws"))
          .status,
      1);
}

TEST(Soundcheck, WavOption) {
  headless::HeadlessOptions options;
  std::string error;
  ASSERT_TRUE(headless::ParseOptions({"--wav", "a.wav", "x.ws"}, options, error)) << error;
  EXPECT_EQ(options.wav, "a.wav");
  EXPECT_NE(headless::Usage().find("--wav FILE"), std::string::npos);
}

}  // namespace
}  // namespace kestra::test
