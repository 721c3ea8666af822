#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace kestra::test {
namespace {

using ::testing::Each;

constexpr uint32_t kSettle = kOutputRate / 4;  // the DC filter's start-up

// Channel 1 playing a square wave at period 1792 (375 Hz) with volume byte v.
class MixedTone : public SoundTest {
 protected:
  void StartTone(uint8_t volume) {
    WriteSquareWave(0);
    Out(0x80, 0x00);
    Out(0x81, 0x07);
    Out(0x88, volume);
    Out(0x90, 0x01);
  }
  std::vector<int16_t> Settled(uint32_t frames) {
    RenderFrames(audio, kSettle);
    return RenderFrames(audio, frames);
  }
};

TEST_F(MixedTone, SquareAtPeriod1792Is375Hz) {
  StartTone(0xFF);
  const std::vector<int16_t> out = Settled(kOutputRate);
  EXPECT_NEAR(CrossingsPerSecond(out, 0), 375.0, 1.0);
  EXPECT_NEAR(CrossingsPerSecond(out, 1), 375.0, 1.0);
  // Levels 0 and 15 are bytes 107 and 152: a square of 45/256 of full scale
  // peak to peak, whose fundamental is 4/pi of its half height.
  const double fundamental = 4 / M_PI * (45.0 / 256 * 32768);
  EXPECT_NEAR(ToneAmplitude(out, 0, 375), fundamental, fundamental * 0.02);
  EXPECT_LT(ToneAmplitude(out, 0, 365), fundamental * 0.02);
  EXPECT_LT(ToneAmplitude(out, 0, 385), fundamental * 0.02);
}

TEST_F(MixedTone, VolumeEightIsFiveDecibelsBelowFifteen) {
  StartTone(0xFF);
  const double full = Rms(Settled(kOutputRate / 2), 0);
  Out(0x88, 0x88);
  const double eight = Rms(Settled(kOutputRate / 2), 0);
  EXPECT_NEAR(Decibels(eight, full), -5.46, 0.05);
}

TEST_F(MixedTone, LeftFourRightEightPansSixDecibelsRight) {
  StartTone(0x48);
  const std::vector<int16_t> out = Settled(kOutputRate / 2);
  EXPECT_NEAR(Decibels(Rms(out, 0), Rms(out, 1)), -6.02, 0.05);
  StartTone(0x84);
  const std::vector<int16_t> mirrored = Settled(kOutputRate / 2);
  EXPECT_NEAR(Decibels(Rms(mirrored, 1), Rms(mirrored, 0)), -6.02, 0.05);
}

TEST_F(MixedTone, NoiseBufferLoopsItsPattern) {
  Out(0x86, 0x00);
  Out(0x87, 0x07);  // 12,000 samples per second
  Out(0x8B, 0xFF);
  Out(0x8E, 0x00);
  Out(0x90, 0x88);
  const std::vector<int16_t> out = Settled(kOutputRate / 2);
  EXPECT_GT(Rms(out, 0), 1000.0);
  EXPECT_EQ(Rms(RenderFrames(audio, 0), 0), 0.0);
}

// Two sources with their own rates straight on the mixer.
class Mixer : public ::testing::Test {
 protected:
  static void Open(HostAudio& a) {
    ASSERT_TRUE(a.CreateDevice());
    ASSERT_TRUE(a.StartDevice());
    for (int b = 0; b < 2; ++b) ASSERT_TRUE(a.CreateBuffer(b, 1024));
  }
  static void Fill(HostAudio& a, int buffer, uint8_t (*pattern)(uint32_t)) {
    LockedRange r;
    ASSERT_TRUE(a.Lock(buffer, 0, 1024, r));
    for (uint32_t i = 0; i < r.firstBytes; ++i) r.first[i] = pattern(i);
    ASSERT_TRUE(a.Unlock(buffer, r));
  }
  static uint8_t Square(uint32_t i) { return (i & 16) ? 60 : 200; }
  static uint8_t Noise(uint32_t i) { return static_cast<uint8_t>(i * 97 + (i >> 3) * 31); }
  static uint8_t Ramp(uint32_t i) { return static_cast<uint8_t>(i); }
};

TEST_F(Mixer, StoppedBufferContributesNothing) {
  OfflineAudio a, b;
  Open(a);
  Open(b);
  EXPECT_THAT(RenderFrames(a, 4096), Each(0));  // nothing plays yet
  for (HostAudio* x : {&a, &b}) {
    Fill(*x, 0, Square);
    x->SetFrequency(0, 30000);
    x->Play(0);
  }
  Fill(a, 1, Noise);
  a.SetFrequency(1, 44100);
  a.Play(1);
  RenderFrames(a, 100);
  a.Stop(1);
  RenderFrames(b, 100);
  // b never had the second source: a must now sound the same apart from the
  // decaying step its stop left in the DC filter.
  const std::vector<int16_t> withStopped = RenderFrames(a, kOutputRate);
  const std::vector<int16_t> alone = RenderFrames(b, kOutputRate);
  for (size_t i = withStopped.size() - 2000; i < withStopped.size(); ++i) {
    ASSERT_NEAR(withStopped[i], alone[i], 1) << i;
  }
  const uint32_t kept = a.Status(1).position;
  RenderFrames(a, 1000);
  EXPECT_EQ(a.Status(1).position, kept);
}

TEST_F(Mixer, PlayResumesFromThePlayPosition) {
  OfflineAudio a;
  Open(a);
  a.SetFrequency(0, 24000);
  a.Play(0);
  RenderFrames(a, 200);
  EXPECT_EQ(a.Status(0).position, 100u);
  a.Stop(0);
  RenderFrames(a, 200);
  a.Play(0);
  RenderFrames(a, 2000);
  EXPECT_EQ(a.Status(0).position, (100u + 1000u) % 1024u);  // looped round
}

TEST_F(Mixer, ResamplesWithLinearInterpolation) {
  OfflineAudio a;
  Open(a);
  Fill(a, 0, Ramp);
  a.SetFrequency(0, 12000);  // four output frames per source sample
  a.Play(0);
  RenderFrames(a, 4 * 300);  // into the second ramp of 256
  const std::vector<int16_t> out = RenderFrames(a, 4 * 150);
  std::vector<int> steps;
  for (size_t i = 2; i < out.size(); i += 2) steps.push_back(out[i] - out[i - 2]);
  // One source step (256 in the output) spread evenly over four frames; a held
  // sample would step 0, 0, 0, 256. The DC filter only bends the slope slowly.
  EXPECT_NEAR(std::accumulate(steps.begin(), steps.end(), 0.0) / steps.size(), 64, 40);
  for (size_t i = 1; i < steps.size(); ++i) ASSERT_LE(std::abs(steps[i] - steps[i - 1]), 3) << i;
}

// A buffer shorter than one output frame's step (two source samples at the
// top rate) must still wrap inside itself, not read past its end.
TEST_F(Mixer, BufferShorterThanAStepStaysInside) {
  OfflineAudio a;
  ASSERT_TRUE(a.CreateDevice());
  for (uint32_t bytes : {1u, 2u}) {
    const int buffer = static_cast<int>(bytes) + 1;
    ASSERT_TRUE(a.CreateBuffer(buffer, bytes));
    ASSERT_TRUE(a.SetFrequency(buffer, kMaxBufferRate));
    a.Play(buffer);
  }
  RenderFrames(a, 1000);
  EXPECT_LT(a.Status(2).position, 1u);
  EXPECT_LT(a.Status(3).position, 2u);
}

TEST_F(Mixer, RefusesValuesOutsideTheDevicesRanges) {
  OfflineAudio a;
  Open(a);
  EXPECT_FALSE(a.SetFrequency(0, 99));
  EXPECT_FALSE(a.SetFrequency(0, 100001));
  EXPECT_TRUE(a.SetFrequency(0, 100));
  EXPECT_TRUE(a.SetFrequency(0, 100000));
  EXPECT_EQ(a.Status(0).frequency, 100000);
  EXPECT_FALSE(a.SetVolume(0, 1));
  EXPECT_FALSE(a.SetVolume(0, -10001));
  EXPECT_FALSE(a.SetPan(0, 10001));
  EXPECT_TRUE(a.SetPan(0, -10000));
  EXPECT_FALSE(a.Play(2));  // never created
  EXPECT_FALSE(a.SetFrequency(5, 1000));
}

TEST_F(Mixer, LockComesBackInTwoPiecesAtTheWrap) {
  OfflineAudio a;
  Open(a);
  LockedRange r;
  ASSERT_TRUE(a.Lock(0, 1000, 100, r));
  EXPECT_EQ(r.firstBytes, 24u);
  EXPECT_EQ(r.secondBytes, 76u);
  EXPECT_EQ(r.second + 1000, r.first);
  EXPECT_TRUE(a.Unlock(0, r));
  EXPECT_FALSE(a.Unlock(0, r));  // nothing locked any more
  ASSERT_TRUE(a.Lock(0, 0, 10, r));
  EXPECT_FALSE(a.Unlock(1, r));  // not the locked buffer, but released all the same
  EXPECT_FALSE(a.Lock(0, 1024, 1, r));
  EXPECT_FALSE(a.Lock(0, 0, 1025, r));
  EXPECT_FALSE(a.Lock(3, 0, 1, r));
  EXPECT_TRUE(a.Lock(0, 0, 1024, r));  // the lock was given back each time
  EXPECT_EQ(r.second, nullptr);
  EXPECT_TRUE(a.Unlock(0, r));
}

}  // namespace
}  // namespace kestra::test
