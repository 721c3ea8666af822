// The phases of a line, frame skipping, the sprite copy, sound DMA and the
// voice sample, the key poll, and the 5 ms pacing of the run loop.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/interrupts.h"
#include "core/machine.h"
#include "system/loader.h"
#include "loaded_machine.h"

namespace kestra {
namespace {

using test::LoadedMachineTest;

class SchedulerTest : public LoadedMachineTest {
 protected:
  void SetUp() override { Load(); }
};

TEST_F(SchedulerTest, LineCounterAdvancesAtPhaseSevenAndWraps) {
  m->sched.SlicePhase = 0;
  for (int i = 0; i < 6; ++i) RunSlice(*m);
  EXPECT_EQ(Port(0x02), 0);
  RunSlice(*m);  // phase 7
  EXPECT_EQ(Port(0x02), 1);
  StepTo(158, 6);
  RunSlice(*m);
  EXPECT_EQ(Port(0x02), 0);
}

TEST_F(SchedulerTest, OverrunShortensTheNextSlice) {
  // 25 NOPs leave 7 cycles; AAM (17) then overruns by 10.
  std::vector<uint8_t> code(25, 0x90);
  code.insert(code.end(), {0xD4, 0x0A, 0xEB, 0xFE});
  Program(0x400, code);
  m->sched.CycleBalance = 32;
  RunSlices(*m, 1);
  EXPECT_EQ(m->sched.CycleBalance, 22);
  EXPECT_EQ(GetCpuRegister(*m, 1), 0x400 + 27);  // stopped after AAM
}

// RunSlices runs whole lines with the phase fixed; chunks that start and end
// anywhere in a line must match slices run one at a time.
TEST(SchedulerSlices, ChunksMatchSliceBySlice) {
  test::TestMachine chunked, single;
  for (Machine* m : {&*chunked, &*single}) {
    ASSERT_EQ(LoadCartridge(*m, test::RomPath("bench.wsc")), 0);
    m->settings.FrameSkip = 0;
  }
  const int chunks[] = {1, 3, 8, 13, 96, 7, 480, 2, 1272, 5, 17, 9, 8, 640};
  for (int round = 0; round < 3; ++round) {
    for (int n : chunks) {
      RunSlices(*chunked, n);
      for (int i = 0; i < n; ++i) {
        SchedulerState& s = single->sched;
        s.CycleBalance += kCyclesPerSlice - CpuRun(*single, s.CycleBalance);
        const uint8_t status = RunSlice(*single);
        if (status != 0) DispatchInterrupt(*single, status);
      }
      SCOPED_TRACE(testing::Message() << "round " << round << ", chunk " << n);
      ASSERT_EQ(chunked->sched.SlicePhase, single->sched.SlicePhase);
      ASSERT_EQ(chunked->sched.CycleBalance, single->sched.CycleBalance);
      ASSERT_EQ(chunked->sched.FrameSkipCounter, single->sched.FrameSkipCounter);
      for (int r = 1; r <= 14; ++r) {
        ASSERT_EQ(GetCpuRegister(*chunked, r), GetCpuRegister(*single, r)) << "register " << r;
      }
      ASSERT_EQ(0, std::memcmp(chunked->io.IoPorts, single->io.IoPorts, 0x100));
      ASSERT_EQ(0, std::memcmp(chunked->mem.Iram, single->mem.Iram, kPageSize));
    }
  }
  EXPECT_EQ(chunked.display.presentedFrames(), single.display.presentedFrames());
  EXPECT_GT(chunked.display.presentedFrames(), 0);
}

TEST_F(SchedulerTest, FrameSkipDrawsOneFrameInFive) {
  const struct {
    int skip;
    uint32_t drawn;
  } cases[] = {{0, 5}, {1, 4}, {2, 3}, {3, 2}, {4, 1}};
  for (const auto& c : cases) {
    m->settings.FrameSkip = c.skip;
    StepTo(0, 3);
    const int before = m.display.presentedFrames();
    StepLines(5 * 159);
    EXPECT_EQ(m.display.presentedFrames() - before, c.drawn) << "FrameSkip " << c.skip;
  }
  // Row 2 draws counters 3, 1 and 4 of the 4, 3, 2, 1, 0 walk.
  EXPECT_EQ(FrameSkipTable[2][4] + FrameSkipTable[2][2] + FrameSkipTable[2][0], 1);
}

TEST_F(SchedulerTest, LcdOffDrawsNothingButStillCopiesSprites) {
  m->settings.FrameSkip = 0;
  Port(0x14) = 0;
  Port(0x04) = 0x03;  // table at 0x600
  Port(0x05) = 2;     // from entry 2
  Port(0x06) = 3;
  for (int i = 0; i < 32; ++i) m->mem.Iram[0x600 + i] = static_cast<uint8_t>(0x40 + i);
  const int counter = m->sched.FrameSkipCounter;
  StepTo(140, 3);
  EXPECT_EQ(m->sprites.count, 0);
  RunSlice(*m);  // phase 4 of line 140
  ASSERT_EQ(m->sprites.count, 3);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(m->sprites.entries[i], 0x48 + i) << i;
  StepLines(3 * 159);
  EXPECT_EQ(m.display.presentedFrames(), 0);
  EXPECT_EQ(m->sched.FrameSkipCounter, counter);
}

TEST_F(SchedulerTest, SpriteSnapshotHoldsAtMost128Entries) {
  Port(0x04) = 0x1F;  // the highest table, 0x3E00
  Port(0x05) = 0xFF;  // from its last entry on: 0x3E00 + 0x3FC
  Port(0x06) = 0xFF;
  for (int i = 0; i < 0x1000; ++i) m->mem.Iram[0x3E00 + i] = static_cast<uint8_t>(i * 7);
  TakeSpriteSnapshot(*m);
  ASSERT_EQ(m->sprites.count, 128);
  for (int i = 0; i < 512; ++i) {
    ASSERT_EQ(m->sprites.entries[i], m->mem.Iram[0x3E00 + 0x3FC + i]) << i;
  }
  Port(0x06) = 0;
  TakeSpriteSnapshot(*m);
  EXPECT_EQ(m->sprites.count, 0);
}

TEST_F(SchedulerTest, NoiseCounterAndSoundDmaAtPhaseTwo) {
  // 40 samples requested from 0x1_0FFE (SRAM-less bank 1 reads 0xFF), but the
  // DMA stops once fewer than 32 remain: 9 samples.
  for (int i = 0; i < 16; ++i) m->mem.Iram[0x0100 + i] = static_cast<uint8_t>(0x10 + i);
  Port(0x4A) = 0x00;
  Port(0x4B) = 0x01;
  Port(0x4C) = 0x00;
  Port(0x4E) = 40;
  Port(0x4F) = 0;
  Port(0x52) = 0x80;
  m->sched.SlicePhase = 0;
  std::vector<uint8_t> samples;
  for (int line = 0; line < 12; ++line) {
    const bool running = (Port(0x52) & 0x80) != 0;
    StepLines(1);
    if (running) samples.push_back(Port(0x89));
  }
  ASSERT_EQ(samples.size(), 9u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(samples[i], 0x10 + i);
  EXPECT_EQ(Port(0x4E), 0);
  EXPECT_EQ(Port(0x4F), 0);
  EXPECT_EQ(Port(0x4A), 0x09);
  EXPECT_EQ(Port(0x4B), 0x01);
  EXPECT_EQ(Port(0x52), 0x00);
}

TEST_F(SchedulerTest, SoundDmaRunsOnlyWithBit80AndWithoutBit08) {
  Port(0x4E) = 0x40;
  Port(0x89) = 0x11;
  Port(0x52) = 0x88;
  EXPECT_EQ(NextVoiceSample(*m), 0x80);
  EXPECT_EQ(Port(0x4E), 0x40);
  Port(0x52) = 0x80;
  m->mem.Iram[0] = 0x33;
  m->settings.setSound(SoundDMA, false);
  EXPECT_EQ(NextVoiceSample(*m), 0x80);  // muted, but the DMA advances
  EXPECT_EQ(Port(0x89), 0x80);
  EXPECT_EQ(Port(0x4E), 0x3F);
  EXPECT_EQ(Port(0x4A), 0x01);
}

TEST_F(SchedulerTest, VoiceSampleSelectionAndLevel) {
  Port(0x89) = 0x37;
  Port(0x90) = 0x20;  // voice mode but channel 2 off
  EXPECT_EQ(NextVoiceSample(*m), 0x80);
  Port(0x90) = 0x22;
  EXPECT_EQ(NextVoiceSample(*m), 0x37);
  m->settings.setSound(SoundPCM, false);
  EXPECT_EQ(NextVoiceSample(*m), 0x80);

  EXPECT_EQ(VoiceOutputLevel(0x00), 0x55);
  EXPECT_EQ(VoiceOutputLevel(0xFF), 0xAA);
  EXPECT_EQ(VoiceOutputLevel(0x80), 0x80);
  EXPECT_EQ(VoiceOutputLevel(0x2A), 0x55);
  EXPECT_EQ(VoiceOutputLevel(0x2C), 0x56);
  EXPECT_EQ(VoiceOutputLevel(0xD4), 0xAA);
  EXPECT_EQ(VoiceOutputLevel(0xD2), 0xA9);
}

class FakeInput final : public InputSource {
 public:
  uint32_t PollInput() override {
    ++polls;
    return held;
  }
  uint32_t held = 0;
  int polls = 0;
};

TEST_F(SchedulerTest, KeysArePolledOncePerFrameAndReleaseRaisesTheKeyCause) {
  FakeInput input;
  m->host.input = &input;
  Port(0xB2) = 0x02;
  Port(0xB5) = 0x20;  // X row selected

  input.held = 0x0150 | 0x10000;  // bits above 16 are not keys
  StepTo(144, 0);
  EXPECT_EQ(input.polls, 1);
  EXPECT_EQ(m->sched.ButtonMask, 0x0150);
  EXPECT_EQ(Port(0xB5), 0x25);
  EXPECT_EQ(Port(0xB6), 0);  // a press raises nothing

  input.held = 0x0100;  // X row released before the next poll
  StepLines(100);
  EXPECT_EQ(Port(0xB6), 0);
  EXPECT_EQ(Port(0xB5), 0x25);  // the port changes only at the poll
  StepTo(144, 0);
  EXPECT_EQ(input.polls, 2);
  EXPECT_EQ(Port(0xB5), 0x20);
  EXPECT_EQ(Port(0xB6), 0x02);

  // With the cause disabled a release is not latched.
  Port(0xB6) = 0;
  Port(0xB2) = 0;
  input.held = 0;
  StepTo(144, 0);
  EXPECT_EQ(Port(0xB6), 0);

  // Without an input source no key is held.
  m->host.input = nullptr;
  m->sched.ButtonMask = 0x0FFF;
  StepTo(144, 0);
  EXPECT_EQ(m->sched.ButtonMask, 0);
}

// A clock that moves by `step` on every read (time passing while the loop
// spins) and by whatever the job adds.
class FakeTicks final : public TickSource {
 public:
  uint32_t Ticks() override {
    const uint32_t t = now;
    now += step;
    return t;
  }
  uint32_t now = 1000;
  uint32_t step = 1;
};

// The job of the loop under test: records the clock and takes `length` ms.
struct RecordedJobs {
  FakeTicks* clock = nullptr;
  uint32_t length = 0;
  std::vector<uint32_t> starts;
};
RecordedJobs* g_jobs = nullptr;
void RecordJob(Machine&) {
  g_jobs->starts.push_back(g_jobs->clock->now);
  g_jobs->clock->now += g_jobs->length;
}

class JobLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m->host.ticks = &ticks;
    jobs.clock = &ticks;
    g_jobs = &jobs;
    loop.job = RecordJob;
  }
  void TearDown() override { g_jobs = nullptr; }
  test::TestMachine m;
  FakeTicks ticks;
  RecordedJobs jobs;
  std::vector<std::string> texts;
  JobLoop loop{*m, [this](const std::string& t) { texts.push_back(t); }};
};

TEST_F(JobLoopTest, JobsStartEveryFiveMillisecondsAndAStallIsNotMadeUp) {
  jobs.length = 1;
  for (int i = 0; i < 4; ++i) loop.RunOnce();
  ticks.now += 250;  // the host stalls
  for (int i = 0; i < 4; ++i) loop.RunOnce();

  const auto& starts = jobs.starts;
  ASSERT_EQ(starts.size(), 8u);
  for (int i = 2; i < 4; ++i) EXPECT_EQ(starts[i] - starts[i - 1], 5u) << i;
  // The job after the stall starts at once, the ones after it 5 ms apart.
  EXPECT_GE(starts[4] - starts[3], 250u);
  EXPECT_LE(starts[4] - starts[3], 252u);
  for (int i = 5; i < 8; ++i) EXPECT_EQ(starts[i] - starts[i - 1], 5u) << i;
}

TEST_F(JobLoopTest, FallingBehindLessThan100MillisecondsIsMadeUp) {
  jobs.length = 1;
  for (int i = 0; i < 2; ++i) loop.RunOnce();
  ticks.now += 90;
  for (int i = 0; i < 40; ++i) loop.RunOnce();
  // Jobs ran back to back until the loop was on its 5 ms marks again.
  const auto& starts = jobs.starts;
  EXPECT_LT(starts[3] - starts[2], 5u);
  EXPECT_EQ(starts[41] - starts[1], 40u * 5);
}

TEST_F(JobLoopTest, LoadFigureOncePerSecond) {
  ticks.step = 0;
  jobs.length = 10;  // each job takes twice its time
  for (int i = 0; i < 101; ++i) loop.RunOnce();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "0%");
  EXPECT_EQ(texts[1], "200%");
  EXPECT_EQ(loop.LoadPercent, 200);
}

TEST_F(JobLoopTest, RunAsksForTerminationOncePerJob) {
  ticks.step = 0;
  jobs.length = 5;  // exactly on time: 200 jobs in a second
  int asked = 0;
  loop.Run([&] { return ++asked > 300 || texts.size() == 2; });
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], "100%");
  EXPECT_EQ(asked, static_cast<int>(jobs.starts.size()) + 1);
}

}  // namespace
}  // namespace kestra
