// A game is untrusted code: random instructions from a random CPU state run
// for a few slices on the real memory map, with every OUT reaching the port
// side effects, interrupts dispatched between slices.
//
// Input: 13 register words (AX CX DX BX SP BP SI DI ES CS SS DS IP), the
// flags word, one byte for the cartridge (bits 0-1 save type: none, 32 KB
// SRAM, 128-byte EEPROM, 2 KB EEPROM; bit 2 colour; bit 3 Verbose), one
// byte for the slice count; the rest is code placed at CS:IP.
#include "core/interrupts.h"
#include "system/scheduler.h"
#include "fuzz_support.h"

using namespace kestra;
using namespace kestra::fuzz;

namespace {

constexpr uint8_t kSaveTypes[4] = {0x00, 0x02, 0x10, 0x20};
constexpr int kRegisterIndex[13] = {2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzMachine fm;
  Machine& m = *fm;
  Reader in(data, size);
  uint16_t regs[13];
  for (uint16_t& r : regs) r = in.Word();
  const uint16_t flags = in.Word();
  const uint8_t setup = in.Byte();
  const int slices = 1 + in.Byte() % 96;

  LoadTestCartridge(fm, kSaveTypes[setup & 3], (setup & 4) != 0);
  m.sched = SchedulerState{};
  m.settings.Verbose = (setup & 8) ? 1 : 0;
  m.settings.FrameSkip = 0;
  for (int i = 0; i < 13; ++i) SetCpuRegister(m, kRegisterIndex[i], regs[i]);
  SetCpuRegister(m, 10, flags);

  // The code goes into whatever page each byte's address maps to: RAM, save
  // memory, the image's bank or the fill page.
  const uint32_t base = static_cast<uint32_t>(regs[9]) << 4;
  uint16_t ip = regs[12];
  while (in.left() > 0) {
    const uint32_t linear = base + ip;
    m.map.BankReadTable[(linear >> 16) & 0xF][linear & 0xFFFF] = in.Byte();
    ++ip;
  }

  RunSlices(m, slices);
  CheckMemoryMap(m);
  FUZZ_CHECK(m.sched.SlicePhase >= 0 && m.sched.SlicePhase < 8);
  FUZZ_CHECK(m.sprites.count >= 0 && m.sprites.count <= kSpriteSnapshotEntries);
  FUZZ_CHECK(m.cpu.segOverride.active == 0);
  return 0;
}
