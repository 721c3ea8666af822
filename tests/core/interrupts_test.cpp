// Interrupt causes, the two timers, priority and the interrupt entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "core/interrupts.h"
#include "core/machine.h"
#include "loaded_machine.h"

namespace kestra {
namespace {

using test::LoadedMachineTest;

constexpr int kIp = 1, kSp = 6, kCs = 12, kSs = 13;

class InterruptTest : public LoadedMachineTest {
 protected:
  void SetUp() override {
    Load();
    m->sched.SlicePhase = 0;  // lines start at phase 1
  }

  // The lines (counted from now) whose phase 6 latched `cause`; each one is
  // acknowledged at once.
  std::vector<int> LinesRaising(uint8_t cause, int lines) {
    std::vector<int> raised;
    for (int i = 0; i < lines; ++i) {
      StepLines(1);
      if (Port(0xB6) & cause) raised.push_back(i);
      Port(0xB6) &= static_cast<uint8_t>(~cause);
    }
    return raised;
  }

  // Frames (counted from 0) in which `cause` was latched at line 144.
  std::vector<int> FramesRaising(uint8_t cause, int frames) {
    std::vector<int> raised;
    for (int f = 0; f < frames; ++f) {
      StepLines(159);
      if (Port(0xB6) & cause) raised.push_back(f);
      Port(0xB6) = 0;
    }
    return raised;
  }

  void SetVector(int vector, uint16_t cs, uint16_t ip) {
    uint8_t* v = m->mem.Iram + vector * 4;
    v[0] = ip & 0xFF, v[1] = ip >> 8, v[2] = cs & 0xFF, v[3] = cs >> 8;
  }
  uint16_t StackWord(int offset) {
    const uint32_t a = GetCpuRegister(*m, kSs) * 16u + GetCpuRegister(*m, kSp) + offset;
    return static_cast<uint16_t>(ReadMemory(*m, a) | ReadMemory(*m, a + 1) << 8);
  }
};

TEST_F(InterruptTest, HighestCauseIsEnteredThroughItsVector) {
  Port(0xB0) = 0x08;
  SetVector(0x0C, 0x1111, 0x2222);  // line compare
  SetVector(0x0E, 0x2000, 0x1234);  // VBlank: linear 0x38
  SetCpuRegister(*m, kCs, 0xF000);
  SetCpuRegister(*m, kIp, 0x0100);
  SetCpuRegister(*m, kSs, 0x0000);
  m->cpu.flags.interruptEnable = 1;
  m->cpu.flags.trap = 1;
  Port(0xB6) = 0x50;

  DispatchInterrupt(*m, Port(0xB6));
  EXPECT_EQ(GetCpuRegister(*m, kCs), 0x2000);
  EXPECT_EQ(GetCpuRegister(*m, kIp), 0x1234);
  EXPECT_EQ(StackWord(0), 0x0100);  // IP, then CS above it
  EXPECT_EQ(StackWord(2), 0xF000);
  EXPECT_EQ(StackWord(4) & 0x0300, 0x0300);  // flags pushed with IF and TF still set
  EXPECT_EQ(m->cpu.flags.interruptEnable, 0);
  EXPECT_EQ(m->cpu.flags.trap, 0);
  EXPECT_EQ(Port(0xB6), 0x50);  // only the game acknowledges
}

TEST_F(InterruptTest, NothingIsEnteredWhileInterruptsAreDisabled) {
  SetVector(0x06, 0x2000, 0x1234);
  SetCpuRegister(*m, kCs, 0xF000);
  SetCpuRegister(*m, kIp, 0x0100);
  const uint16_t sp = GetCpuRegister(*m, kSp);
  DispatchInterrupt(*m, 0x40);
  EXPECT_EQ(GetCpuRegister(*m, kCs), 0xF000);
  EXPECT_EQ(GetCpuRegister(*m, kIp), 0x0100);
  EXPECT_EQ(GetCpuRegister(*m, kSp), sp);
}

TEST_F(InterruptTest, VBlankAndLineCompareCauses) {
  Port(0xB2) = kCauseVBlank | kCauseLineCompare;
  Port(0x03) = 17;
  EXPECT_EQ(LinesRaising(kCauseVBlank, 159), std::vector<int>{144});
  Port(0xB6) = 0;
  EXPECT_EQ(LinesRaising(kCauseLineCompare, 159), std::vector<int>{17});
}

TEST_F(InterruptTest, CausesAreLatchedOnlyWhileEnabled) {
  Port(0xB2) = 0;
  Port(0x03) = 200;  // no line compare
  StepTo(145, 0);    // line 144 is over
  EXPECT_EQ(Port(0xB6), 0);
  Port(0xB2) = 0xFF;  // enabling later does not bring the event back
  StepLines(3);
  EXPECT_EQ(Port(0xB6), 0);
  // A latched cause outlives its enable bit.
  StepTo(145, 0);
  EXPECT_EQ(Port(0xB6), kCauseVBlank);
  Port(0xB2) = 0;
  StepLines(3);
  EXPECT_EQ(Port(0xB6), kCauseVBlank);
}

TEST_F(InterruptTest, RepeatingHBlankTimerFiresEveryThirdLine) {
  Port(0xB2) = kCauseHBlankTimer;
  WritePort(*m, 0xA4, 3);
  WritePort(*m, 0xA2, 0x03);
  EXPECT_EQ(LinesRaising(kCauseHBlankTimer, 12), (std::vector<int>{2, 5, 8, 11}));
}

TEST_F(InterruptTest, OneShotHBlankTimerStopsAtZero) {
  Port(0xB2) = kCauseHBlankTimer;
  WritePort(*m, 0xA4, 4);
  WritePort(*m, 0xA2, 0x01);
  EXPECT_EQ(LinesRaising(kCauseHBlankTimer, 20), std::vector<int>{3});
  EXPECT_EQ(Port(0xA8), 0);
  // Writing the reload starts it again.
  WritePort(*m, 0xA4, 2);
  EXPECT_EQ(LinesRaising(kCauseHBlankTimer, 6), std::vector<int>{1});
}

TEST_F(InterruptTest, HBlankReloadOfOneFiresEveryLineEvenWhenStopped) {
  Port(0xB2) = kCauseHBlankTimer;
  WritePort(*m, 0xA4, 1);
  WritePort(*m, 0xA2, 0x00);
  EXPECT_EQ(LinesRaising(kCauseHBlankTimer, 5), (std::vector<int>{0, 1, 2, 3, 4}));
  Port(0xB2) = 0;
  EXPECT_TRUE(LinesRaising(kCauseHBlankTimer, 5).empty());
  // A 16-bit reload of 0x0101 is not 1.
  Port(0xB2) = kCauseHBlankTimer;
  WritePort(*m, 0xA5, 1);
  EXPECT_TRUE(LinesRaising(kCauseHBlankTimer, 5).empty());
}

TEST_F(InterruptTest, VBlankTimerCountsFrames) {
  Port(0xB2) = kCauseVBlankTimer;
  WritePort(*m, 0xA6, 2);
  WritePort(*m, 0xA2, 0x04);  // one-shot
  EXPECT_EQ(FramesRaising(kCauseVBlankTimer, 6), std::vector<int>{1});
  EXPECT_EQ(Port(0xAA), 0);

  WritePort(*m, 0xA2, 0x0C);  // repeating
  EXPECT_EQ(FramesRaising(kCauseVBlankTimer, 6), (std::vector<int>{1, 3, 5}));
}

TEST_F(InterruptTest, PendingCauseWaitsForTheFirstSliceEndingWithInterruptsEnabled) {
  // CLI, 40 NOPs, STI, JMP $; the handler is JMP $ too.
  std::vector<uint8_t> code = {0xFA};
  code.insert(code.end(), 40, 0x90);
  code.insert(code.end(), {0xFB, 0xEB, 0xFE});
  Program(0x400, code);
  m->mem.Iram[0x500] = 0xEB, m->mem.Iram[0x501] = 0xFE;
  SetVector(0x06, 0x0000, 0x0500);
  Port(0xB6) = kCauseVBlank;
  m->cpu.flags.interruptEnable = 1;

  RunSlices(*m, 1);  // CLI (4 cycles) and 28 NOPs
  EXPECT_EQ(GetCpuRegister(*m, kIp), 0x41D);
  RunSlices(*m, 1);  // the rest, STI, the idle loop: entered after this slice
  EXPECT_EQ(GetCpuRegister(*m, kIp), 0x500);
  EXPECT_EQ(StackWord(0), 0x42A);
  EXPECT_EQ(Port(0xB6), kCauseVBlank);
}

TEST_F(InterruptTest, UnacknowledgedCauseIsEnteredAgain) {
  Program(0x400, {0xFB, 0xEB, 0xFE});  // STI, JMP $
  const uint8_t counting[] = {0xFE, 0x06, 0x00, 0x03, 0xCF};  // INC BYTE [0x300], IRET
  std::copy(std::begin(counting), std::end(counting), m->mem.Iram + 0x500);
  SetVector(0x06, 0x0000, 0x0500);
  Port(0xB6) = kCauseVBlank;
  RunSlices(*m, 10);
  EXPECT_GE(m->mem.Iram[0x300], 8);
  EXPECT_EQ(Port(0xB6), kCauseVBlank);

  // A handler that acknowledges runs once.
  const uint8_t acknowledging[] = {0xB0, 0x40, 0xE6, 0xB6,        // MOV AL,0x40; OUT 0xB6,AL
                                   0xFE, 0x06, 0x01, 0x03, 0xCF};  // INC BYTE [0x301], IRET
  std::copy(std::begin(acknowledging), std::end(acknowledging), m->mem.Iram + 0x500);
  RunSlices(*m, 10);
  EXPECT_EQ(m->mem.Iram[0x301], 1);
  EXPECT_EQ(Port(0xB6), 0);
}

}  // namespace
}  // namespace kestra
