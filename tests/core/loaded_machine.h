// A machine with a small cartridge loaded, for tests that need the reset
// state; helpers that step the scheduler without running the CPU.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/machine.h"
#include "system/loader.h"
#include "support/test_support.h"

namespace kestra::test {

class LoadedMachineTest : public ::testing::Test {
 protected:
  // An 8-bank image with the given save type; the machine is reset.
  void Load(uint8_t saveTypeCode = 0) {
    Footer f;
    f.romSizeCode = 2;
    f.saveTypeCode = saveTypeCode;
    imagePath = dir.file("game.ws");
    WriteFile(imagePath, MakeImage(8, f));
    ASSERT_EQ(LoadCartridge(*m, imagePath), 0);
  }

  uint8_t& Port(uint32_t port) { return m->io.IoPorts[port]; }

  // Phases only (no CPU): until a slice of `phase` has run and the line
  // counter reads `line` (after phase 7 it already shows the next line).
  void StepTo(int line, int phase) {
    for (int i = 0; i < 8 * 159 * 2; ++i) {
      RunSlice(*m);
      if (Port(0x02) == line && m->sched.SlicePhase == phase) return;
    }
    FAIL() << "line " << line << " phase " << phase << " never reached";
  }

  // Phases only: the given number of whole lines.
  void StepLines(int lines) {
    for (int i = 0; i < lines * 8; ++i) RunSlice(*m);
  }

  // Code in Iram at 0000:at, where the CPU goes next.
  void Program(uint16_t at, const std::vector<uint8_t>& code) {
    uint16_t a = at;
    for (uint8_t byte : code) m->mem.Iram[a++] = byte;
    SetCpuRegister(*m, 12, 0x0000);  // CS
    SetCpuRegister(*m, 1, at);       // IP
  }

  TempDir dir;
  TestMachine m;
  std::string imagePath;
};

}  // namespace kestra::test
