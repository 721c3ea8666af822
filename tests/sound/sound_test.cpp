#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace kestra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Each;
using ::testing::IsEmpty;

TEST(SoundTables, VolumeIsTheDecibelsOfTheFourBitLevel) {
  EXPECT_EQ(VolumeTable[0], -10000);
  EXPECT_EQ(VolumeTable[15], 0);
  for (int i = 1; i < 16; ++i) {
    EXPECT_EQ(VolumeTable[i], std::lround(2000 * std::log10(i / 15.0))) << i;
  }
  EXPECT_EQ(VolumeTable[8], -546);
}

TEST(SoundTables, PanFollowsTheRatioOfRightToLeft) {
  EXPECT_EQ(PanTable[0][0], 0);
  EXPECT_EQ(PanTable[0][7], 10000);
  EXPECT_EQ(PanTable[7][0], -10000);
  EXPECT_EQ(PanTable[4][8], 602);
  EXPECT_EQ(PanTable[9][9], 0);
  EXPECT_EQ(PanTable[15][1], -2352);
  // The two entries that are not the rounded logarithm (2083).
  EXPECT_EQ(PanTable[1][11], 2082);
  EXPECT_EQ(PanTable[11][1], -2082);
}

TEST(SoundTables, RateIsTheCpuClockOverTheRemainingPeriod) {
  EXPECT_EQ(PeriodRate(0), 1500);
  EXPECT_EQ(PeriodRate(1792), 12000);
  EXPECT_EQ(PeriodRate(2016), 96000);
  EXPECT_EQ(PeriodRate(2047), 100000);  // 3,072,000 clamped
}

TEST(SoundNoise, FirstStatesFromStartUp) {
  NoiseLfsr s;
  std::vector<uint32_t> states;
  for (int i = 0; i < 16; ++i) states.push_back(StepNoise(s, 15));
  EXPECT_THAT(states, ElementsAre(0x0001, 0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100,
                                  0x0080, 0x0040, 0x0020, 0x0010, 0x0008, 0x0004, 0x0002, 0x4001));
}

TEST(SoundNoise, NarrowerWidthMasksTheRegisterAndNeverLeavesItZero) {
  NoiseLfsr s;
  StepNoise(s, 15);  // 0x0001
  StepNoise(s, 15);  // 0x4000: nothing below bit 7 survives the mask to width 8
  const uint32_t v = StepNoise(s, 8);
  // Masked to 0 it restarts at 0xFF; the taps 0x1D see four bits set (even),
  // so the top bit stays clear before the shift.
  EXPECT_EQ(v, 0x7Fu);
  for (int i = 0; i < 600; ++i) EXPECT_LT(StepNoise(s, 8), 0x100u);
}

using SoundDevice = SoundTest;

TEST_F(SoundDevice, NoisePatternZeroStartsWithTheFirstStates) {
  const uint8_t* t = SharedNoisePatterns().Tables[0];
  EXPECT_EQ(t[0], 152);
  for (int i = 1; i <= 14; ++i) EXPECT_EQ(t[i], 107) << i;
  EXPECT_EQ(t[15], 152);
  for (int p = 0; p < 8; ++p) {
    EXPECT_THAT(std::vector<uint8_t>(SharedNoisePatterns().Tables[p], SharedNoisePatterns().Tables[p] + 4096),
                Each(::testing::AnyOf(107, 152)));
  }
}

TEST_F(SoundDevice, LineStepWalksTheNoiseSequence) {
  const uint32_t start = m->sound.NoiseReadIndex;
  for (uint32_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(SoundLineStep(*m), SharedNoisePatterns().Sequence[(start + i) & 0xFFFF]);
  }
  for (uint16_t v : SharedNoisePatterns().Sequence) ASSERT_LT(v, 0x8000);
}

TEST_F(SoundDevice, OpenLeavesSixSilentStoppedBuffers) {
  const uint32_t sizes[6] = {1024, 1024, 1024, 1024, 2544, 65536};
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(audio.Status(i).exists);
    EXPECT_FALSE(audio.Status(i).playing);
    EXPECT_THAT(HostBytes(i, 0, sizes[i]), Each(107)) << i;
  }
  EXPECT_THAT(m.messages.texts(), IsEmpty());
}

TEST_F(SoundDevice, LowPeriodByteAloneChangesNothing) {
  Out(0x81, 0x07);
  const int32_t before = audio.Status(0).frequency;
  Out(0x80, 0x00);
  EXPECT_EQ(audio.Status(0).frequency, before);
  Out(0x81, 0x07);  // 0x700 = 1792
  EXPECT_EQ(audio.Status(0).frequency, 12000);
  Out(0x84, 0xE0);
  Out(0x85, 0x07);  // 2016
  EXPECT_EQ(audio.Status(2).frequency, 96000);
  EXPECT_EQ(m->sound.SweepPeriod, 2016);
}

TEST_F(SoundDevice, RepeatedPeriodIsSentOnce) {
  Out(0x82, 0x00);
  Out(0x83, 0x07);
  EXPECT_EQ(audio.Status(1).frequency, 12000);
  audio.SetFrequency(1, 5000);  // something else moved the host's rate
  Out(0x83, 0x07);
  EXPECT_EQ(audio.Status(1).frequency, 5000);
  ClearBuffer(*m, 1);  // forgets the cache
  Out(0x83, 0x07);
  EXPECT_EQ(audio.Status(1).frequency, 12000);
}

TEST_F(SoundDevice, ChannelFourPeriodAndVolumeAlsoDriveTheNoise) {
  Out(0x86, 0x00);
  Out(0x87, 0x04);
  Out(0x8B, 0x3C);
  for (int b : {3, kNoiseBuffer}) {
    EXPECT_EQ(audio.Status(b).frequency, PeriodRate(0x400)) << b;
    EXPECT_EQ(audio.Status(b).volume, VolumeTable[12]) << b;
    EXPECT_EQ(audio.Status(b).pan, PanTable[3][12]) << b;
  }
}

TEST_F(SoundDevice, VolumeBytesBecomeVolumeAndPan) {
  Out(0x88, 0x00);
  EXPECT_EQ(audio.Status(0).volume, -10000);
  EXPECT_EQ(audio.Status(0).pan, 0);
  Out(0x88, 0xF0);
  EXPECT_EQ(audio.Status(0).volume, 0);
  EXPECT_EQ(audio.Status(0).pan, -10000);
  Out(0x88, 0x48);
  EXPECT_EQ(audio.Status(0).volume, -546);
  EXPECT_EQ(audio.Status(0).pan, 602);
}

TEST_F(SoundDevice, VoiceModeKeepsPortEightyNineFromTheVolume) {
  Out(0x89, 0xFF);
  EXPECT_EQ(audio.Status(1).volume, 0);
  Out(0x90, 0x22);
  Out(0x89, 0x11);  // a voice sample now
  EXPECT_EQ(audio.Status(1).volume, 0);
  Out(0x90, 0x02);
  Out(0x89, 0x11);
  EXPECT_EQ(audio.Status(1).volume, VolumeTable[1]);
}

TEST_F(SoundDevice, WaveformIsUploadedWithItsLastByte) {
  const std::vector<uint8_t> silent = HostBytes(1, 0, 1024);
  for (uint32_t k = 0; k < 15; ++k) WaveHook(*m, 16 + k, static_cast<uint8_t>(0x10 * (k & 15) + 1));
  EXPECT_EQ(HostBytes(1, 0, 1024), silent);
  WaveHook(*m, 31, 0xF0);
  const std::vector<uint8_t> bytes = HostBytes(1, 0, 1024);
  for (uint32_t r = 0; r < 32; ++r) {
    EXPECT_EQ(bytes[32 * r + 0], 107 + 3 * 1);      // byte 0, low nibble
    EXPECT_EQ(bytes[32 * r + 1], 107);              // byte 0, high nibble
    EXPECT_EQ(bytes[32 * r + 29], 107 + 3 * 14);    // byte 14, high nibble
    EXPECT_EQ(bytes[32 * r + 30], 107);             // byte 15, low nibble
    EXPECT_EQ(bytes[32 * r + 31], 152);             // byte 15, high nibble
  }
  EXPECT_THAT(HostBytes(0, 0, 1024), Each(107));  // other channels untouched
}

TEST_F(SoundDevice, WaveTableWritesInRamReachTheChannels) {
  Out(0x8F, 0x20);  // the table at 0x0800
  for (uint32_t k = 0; k < 16; ++k) WriteMemory(*m, 0x0800 + 48 + k, 0x5A);
  WriteMemory(*m, 0x0800 + 64, 0xFF);  // past the table
  EXPECT_EQ(m->mem.Iram[0x0800 + 48], 0x5A);
  const std::vector<uint8_t> bytes = HostBytes(3, 0, 1024);
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(bytes[i], i % 2 ? 107 + 15 : 107 + 30) << i;
  EXPECT_THAT(HostBytes(0, 0, 1024), Each(107));
}

TEST_F(SoundDevice, WaveTableBaseAndMasterIndexPorts) {
  m->sound.MasterIndex = 2;
  Out(0x8F, 0x03);
  EXPECT_EQ(m->mem.WaveTableBase, 0xC0);
  Out(0x91, 0x00);
  EXPECT_EQ(m->sound.MasterIndex, 0);
  Out(0x8C, 0xF0);
  Out(0x8D, 0x02);
  EXPECT_EQ(m->sound.SweepAmount, 0xF0);
  EXPECT_EQ(m->sound.SweepReload, 96);
}

TEST_F(SoundDevice, MasterIndexAttenuatesDownToSilence) {
  m->sound.MasterIndex = 3;
  SetVolumeIndex(*m, 0, 15);
  EXPECT_EQ(audio.Status(0).volume, -1806);
  SetVolumeIndex(*m, 0, 1);
  EXPECT_EQ(audio.Status(0).volume, -2352 - 1806);
  m->sound.MasterIndex = 1;
  SetVolumeIndex(*m, 0, 0);
  EXPECT_EQ(audio.Status(0).volume, -10000);
}

TEST_F(SoundDevice, NoisePatternPortUploadsThePattern) {
  Out(0x8E, 0x0B);  // pattern 3
  const std::vector<uint8_t> bytes = HostBytes(kNoiseBuffer, 0, 65536);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), SharedNoisePatterns().Tables[3]));
}

TEST_F(SoundDevice, ControlPortEdgesStartAndStopBuffers) {
  Out(0x90, 0x0F);
  for (int b : {0, 1, 2, 3}) EXPECT_TRUE(audio.Status(b).playing) << b;
  EXPECT_FALSE(audio.Status(kNoiseBuffer).playing);

  Out(0x90, 0x8F);  // channel 4 turns to noise
  EXPECT_FALSE(audio.Status(3).playing);
  EXPECT_TRUE(audio.Status(kNoiseBuffer).playing);

  Out(0x90, 0xAF);  // channel 2 turns to voice
  EXPECT_FALSE(audio.Status(1).playing);
  EXPECT_TRUE(audio.Status(0).playing);

  Out(0x90, 0x00);
  for (int b = 0; b < 6; ++b) EXPECT_FALSE(audio.Status(b).playing) << b;
  EXPECT_FALSE(audio.Status(kVoiceBuffer).playing);  // never touched by the port
}

TEST_F(SoundDevice, SwitchOffBlocksOnlyTheRisingEdge) {
  m->settings.setSound(Sound3, false);
  Out(0x90, 0x04);
  EXPECT_FALSE(audio.Status(2).playing);
  audio.Play(2);  // as if it had been playing
  Out(0x90, 0x00);
  EXPECT_FALSE(audio.Status(2).playing);

  m->settings.setSound(SoundNoise, false);
  Out(0x90, 0x88);
  EXPECT_FALSE(audio.Status(kNoiseBuffer).playing);
  EXPECT_FALSE(audio.Status(3).playing);
}

TEST_F(SoundDevice, MenuSwitchActsOnlyOnEnabledChannels) {
  Out(0x90, 0x08);
  ASSERT_TRUE(audio.Status(3).playing);
  SwitchChannel(*m, Sound4, false);
  EXPECT_FALSE(m->settings.sound(Sound4));
  EXPECT_FALSE(audio.Status(3).playing);
  SwitchChannel(*m, Sound4, true);
  EXPECT_TRUE(audio.Status(3).playing);

  SwitchChannel(*m, Sound1, false);
  SwitchChannel(*m, Sound1, true);  // channel 1 is not enabled in the port
  EXPECT_FALSE(audio.Status(0).playing);
  SwitchChannel(*m, SoundNoise, true);
  EXPECT_FALSE(audio.Status(kNoiseBuffer).playing);
}

TEST_F(SoundDevice, SweepPastTheTopRateSilencesChannelThreeUntilItsVolumeIsWritten) {
  Out(0x84, 0xD0);
  Out(0x85, 0x07);  // period 2000: 64,000 per second
  Out(0x8A, 0xFF);
  Out(0x8C, 0x08);  // +8 per step
  Out(0x90, 0x44);  // channel 3 with sweep
  ASSERT_EQ(audio.Status(2).frequency, 64000);

  SoundLineStep(*m);  // reload 0: a step every line
  EXPECT_EQ(m->sound.SweepPeriod, 2008);
  EXPECT_EQ(audio.Status(2).frequency, 3072000 / 40);
  EXPECT_EQ(audio.Status(2).volume, 0);
  SoundLineStep(*m);
  SoundLineStep(*m);  // 2024: above 100,000
  EXPECT_EQ(audio.Status(2).frequency, 100000);
  EXPECT_EQ(audio.Status(2).volume, -10000);
  EXPECT_EQ(m->sound.CachedPeriod[2], 2000);

  // The period written before the sweep is cached: nothing moves.
  Out(0x85, 0x07);
  EXPECT_EQ(m->sound.SweepPeriod, 2024);
  EXPECT_EQ(audio.Status(2).frequency, 100000);

  Out(0x8A, 0xFF);
  EXPECT_EQ(audio.Status(2).volume, 0);
}

TEST_F(SoundDevice, SweepWaitsItsReloadAndNeedsItsEnableBit) {
  Out(0x84, 0x00);
  Out(0x85, 0x04);  // period 1024
  Out(0x8C, 0x01);
  Out(0x8D, 0x00);  // 32 lines
  SoundLineStep(*m);
  EXPECT_EQ(m->sound.SweepPeriod, 1024);  // bit 6 of port 0x90 is clear
  Out(0x90, 0x40);
  for (int line = 0; line < 34; ++line) SoundLineStep(*m);
  // A step at once (the counter starts at -1), the next one 33 lines later.
  EXPECT_EQ(m->sound.SweepPeriod, 1026);
  EXPECT_EQ(audio.Status(2).frequency, 3072000 / (2048 - 1026));
}

TEST_F(SoundDevice, CloseReleasesEverything) {
  Out(0x90, 0x01);
  CloseSound(*m);
  EXPECT_FALSE(audio.HasDevice());
  for (int b = 0; b < 6; ++b) EXPECT_FALSE(audio.Status(b).exists);
  EXPECT_EQ(PlayBuffer(*m, 0), -1);
}

TEST(SoundWithoutDevice, EveryOperationIsASilentNoOp) {
  TestMachine m(TestMachine::NoSound);
  EXPECT_EQ(OpenSound(*m), -1);
  EXPECT_THAT(m.messages.texts(), ElementsAre("DSoundが作成できません"));
  EXPECT_EQ(m.messages.messages[0].caption, "WsSoundｴﾗｰ");
  EXPECT_EQ(m.messages.messages[0].icon, MessageIcon::Warning);
  m.messages.messages.clear();

  auto everything = [&] {
    WriteSoundPort(*m, 0x81, 0x07);
    WriteSoundPort(*m, 0x88, 0xFF);
    WriteSoundPort(*m, 0x8E, 0x01);
    WriteSoundPort(*m, 0x90, 0xFF);
    for (uint32_t k = 0; k < 16; ++k) WaveHook(*m, k, 0x77);
    ClearBuffer(*m, 4);
    EXPECT_EQ(PlayBuffer(*m, 4), -1);
    EXPECT_EQ(StopBuffer(*m, 4), -1);
    for (int line = 0; line < 200; ++line) {
      EXPECT_EQ(SoundLineStep(*m), 0);
      PushVoiceSample(*m, 0x80);
    }
  };
  everything();
  EXPECT_THAT(m.messages.texts(), IsEmpty());
  EXPECT_LT(m->sound.voice.VoiceFill, kVoiceBlockSize);  // the full block was dropped

  m->settings.Verbose = 1;
  everything();
  EXPECT_THAT(m.messages.texts(), ::testing::Not(IsEmpty()));
  EXPECT_THAT(m.messages.texts(), Each(std::string("ﾊﾞｯｸﾊﾞｯﾌｧがありません")));
}

// A device whose output cannot be opened or started.
class BrokenAudio final : public HostAudio {
 public:
  explicit BrokenAudio(bool opens) : opens_(opens) {}

 protected:
  bool OpenOutput() override { return opens_; }
  bool StartOutput() override { return false; }
  void CloseOutput() override {}

 private:
  bool opens_;
};

TEST(SoundOpenFailure, DeviceThatCannotBeCreatedOrStarted) {
  for (bool opens : {false, true}) {
    TestMachine m(TestMachine::NoSound);
    BrokenAudio audio(opens);
    m->host.audio = &audio;
    EXPECT_EQ(OpenSound(*m), -1);
    EXPECT_THAT(m.messages.texts(),
                ElementsAre(opens ? "協調ﾚﾍﾞﾙ設定ができません" : "DSoundが作成できません"));
    EXPECT_FALSE(audio.HasDevice());  // closed again
    EXPECT_EQ(SoundLineStep(*m), 0);  // no noise without the device
  }
}

}  // namespace
}  // namespace kestra::test
