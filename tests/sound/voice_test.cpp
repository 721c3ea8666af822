#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace kestra::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

class Voice : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    // What the machine reset does: rate 12,000, then a cleared ring.
    SetPeriod(*m, kVoiceBuffer, 0);
    SetPeriod(*m, kVoiceBuffer, 0x700);
    for (int b = 0; b < 6; ++b) ClearBuffer(*m, b);
  }
  void Push(uint32_t count, uint8_t first = 0) {
    for (uint32_t i = 0; i < count; ++i) PushVoiceSample(*m, static_cast<uint8_t>(first + i));
  }
  std::vector<uint8_t> Block(uint32_t b) { return HostBytes(kVoiceBuffer, b * kVoiceBlockSize, kVoiceBlockSize); }
};

TEST_F(Voice, TheHundredFiftyNinthSampleFlushesTheBlock) {
  Push(158, 0x60);
  EXPECT_THAT(Block(0), Each(107));
  EXPECT_EQ(m->sound.voice.VoiceFill, 158u);
  Push(1, 0x60 + 158);
  const std::vector<uint8_t> block = Block(0);
  for (uint32_t i = 0; i < kVoiceBlockSize; ++i) ASSERT_EQ(block[i], uint8_t(0x60 + i)) << i;
  EXPECT_EQ(m->sound.voice.VoiceFill, 0u);
  EXPECT_EQ(m->sound.voice.VoiceBlock, 1u);
  EXPECT_THAT(std::vector<uint8_t>(m->sound.voice.VoiceStage, m->sound.voice.VoiceStage + kVoiceRingSize),
              Each(107));
  Push(1, 0xAA);  // the 160th starts the next block at its start
  EXPECT_EQ(m->sound.voice.VoiceStage[0], 0xAA);
  EXPECT_THAT(Block(1), Each(107));
}

TEST_F(Voice, SixteenFlushesGoRoundTheRing) {
  for (uint32_t b = 0; b < kVoiceBlockCount; ++b) Push(kVoiceBlockSize, static_cast<uint8_t>(b));
  EXPECT_EQ(m->sound.voice.VoiceBlock, 0u);
  EXPECT_EQ(Block(15)[0], 15);
  EXPECT_EQ(Block(15)[158], uint8_t(15 + 158));
  Push(kVoiceBlockSize, 0x80);
  EXPECT_EQ(Block(0)[0], 0x80);
  EXPECT_EQ(Block(1)[0], 1);
  EXPECT_EQ(m->sound.voice.VoiceBlock, 1u);
}

TEST_F(Voice, RateFollowsTheSamplesOfEachEighthOfASecond) {
  SetPeriod(*m, kVoiceBuffer, 0x700);
  std::vector<int32_t> rates;
  // The first sample measures a count of 1: rate 8, which the host refuses.
  Push(1);
  rates.push_back(audio.Status(kVoiceBuffer).frequency);
  for (uint32_t perWindow : {1200u, 2000u, 1500u, 1249u}) {
    Push(perWindow - 1);
    ticks.now += 125;
    Push(1);
    rates.push_back(audio.Status(kVoiceBuffer).frequency);
  }
  EXPECT_THAT(rates, ElementsAre(12000, 9600, 12000, 12000, 9992));
  // The measurement leaves the period cache alone.
  EXPECT_EQ(m->sound.CachedPeriod[kVoiceBuffer], 0x700);
}

TEST_F(Voice, NoMeasurementBeforeTheWindowEnds) {
  Push(1);
  ticks.now += 124;
  Push(5000);
  EXPECT_EQ(audio.Status(kVoiceBuffer).frequency, 12000);
  ticks.now += 1;
  Push(1);
  EXPECT_EQ(audio.Status(kVoiceBuffer).frequency, 12000);  // 5001 samples: full speed
}

TEST_F(Voice, StateSurvivesTheReset) {
  Push(kVoiceBlockSize + 10);
  ClearBuffer(*m, kVoiceBuffer);
  EXPECT_EQ(m->sound.voice.VoiceBlock, 1u);
  EXPECT_EQ(m->sound.voice.VoiceFill, 10u);
  EXPECT_THAT(Block(0), Each(107));  // the ring itself is cleared
}

TEST_F(Voice, MissingBufferDropsTheBlock) {
  CloseSound(*m);
  m->settings.Verbose = 1;
  Push(kVoiceBlockSize * 3 + 5);
  EXPECT_EQ(m->sound.voice.VoiceFill, 5u);
  EXPECT_EQ(m->sound.voice.VoiceBlock, 0u);
  EXPECT_THAT(m.messages.texts(), ElementsAre("ﾊﾞｯｸﾊﾞｯﾌｧがありません", "ﾊﾞｯｸﾊﾞｯﾌｧがありません",
                                              "ﾊﾞｯｸﾊﾞｯﾌｧがありません"));
}

TEST_F(Voice, StreamPlaysAtTheVoiceRate) {
  SetStereo(*m, kVoiceBuffer, 15, 15);
  // A square of 30 samples low, 30 high: 200 Hz at 12,000 samples per second.
  std::vector<int16_t> out;
  for (int frame = 0; frame < 150; ++frame) {
    for (uint32_t i = 0; i < kVoiceBlockSize; ++i) {
      PushVoiceSample(*m, ((frame * kVoiceBlockSize + i) / 30) % 2 ? 0xAA : 0x55);
    }
    // Started after the first frame, the mix reads one block behind the
    // writer and never meets a block that is still being collected.
    if (frame == 1) PlayBuffer(*m, kVoiceBuffer);
    const std::vector<int16_t> part = RenderFrames(audio, 636);  // one frame at 48 kHz
    if (frame >= 20) out.insert(out.end(), part.begin(), part.end());
  }
  EXPECT_NEAR(CrossingsPerSecond(out, 0), 200.0, 1.0);
  EXPECT_GT(ToneAmplitude(out, 0, 200), 4 / M_PI * (0x55 / 2.0) * 256 * 0.95);
}

}  // namespace
}  // namespace kestra::test
