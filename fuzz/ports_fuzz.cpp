// Random sequences of port writes, memory writes and slices without the
// CPU: the display, sound, DMA, timer and EEPROM side effects on their own.
//
// Input: byte 0 the cartridge (bits 0-1 save type: none, 32 KB SRAM,
// 128-byte EEPROM, 2 KB EEPROM; bit 2 colour; bit 3 Verbose; bits 4-6 frame
// skip, taken mod 5), then records of three bytes [op, a, b]:
//   op & 3 = 0: WritePort(a, b); with op bit 2 the port is 0x100 + a, with
//               bit 3 0xFF00 + a (ports without meaning)
//   op & 3 = 1: WriteMemory(op >> 4 << 16 | a << 8 | x, b) for x = 0-255
//               in steps of op bits 2-3 + 1 (tile data, maps, palettes)
//   op & 3 = 2: a + 1 slices through RunSlice, interrupts dispatched
//   op & 3 = 3: the keys (a, b) as the ButtonMask of the next poll
#include "core/interrupts.h"
#include "core/ports.h"
#include "system/scheduler.h"
#include "fuzz_support.h"

using namespace kestra;
using namespace kestra::fuzz;

namespace {

constexpr uint8_t kSaveTypes[4] = {0x00, 0x02, 0x10, 0x20};

class FixedKeys final : public InputSource {
 public:
  uint32_t PollInput() override { return mask; }
  uint32_t mask = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzMachine fm;
  static FixedKeys keys;
  Machine& m = *fm;
  m.host.input = &keys;
  Reader in(data, size);
  const uint8_t setup = in.Byte();
  LoadTestCartridge(fm, kSaveTypes[setup & 3], (setup & 4) != 0);
  m.sched = SchedulerState{};
  keys.mask = 0;
  m.settings.Verbose = (setup & 8) ? 1 : 0;
  m.settings.FrameSkip = ((setup >> 4) & 7) % 5;

  while (in.left() >= 3) {
    const uint8_t op = in.Byte();
    const uint8_t a = in.Byte();
    const uint8_t b = in.Byte();
    switch (op & 3) {
      case 0: {
        uint32_t port = a;
        if (op & 4) port += 0x100;
        if (op & 8) port += 0xFF00;
        WritePort(m, port, b);
        break;
      }
      case 1: {
        const uint32_t page = static_cast<uint32_t>(op >> 4) << 16 | static_cast<uint32_t>(a) << 8;
        const uint32_t step = ((op >> 2) & 3) + 1;
        for (uint32_t x = 0; x < 256; x += step) WriteMemory(m, page | x, b);
        break;
      }
      case 2:
        for (int i = 0; i <= a; ++i) {
          const uint8_t status = RunSlice(m);
          if (status != 0) DispatchInterrupt(m, status);
        }
        break;
      default:
        keys.mask = static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8;
        break;
    }
    CheckMemoryMap(m);
  }
  FUZZ_CHECK(m.sprites.count >= 0 && m.sprites.count <= kSpriteSnapshotEntries);
  return 0;
}
