// State files from anywhere through the emulator's LoadState and
// LoadStateRaw. Whatever the bytes hold, a state is either taken whole or
// refused with a reason, and a refused one leaves the machine exactly as it
// was; a taken one runs on without a fault.
//
// Input: byte 0 bit 0 the raw sections (LoadStateRaw) instead of a state
// file; the rest is the state.
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "fuzz_support.h"
#include "system/scheduler.h"

using namespace kestra;
using namespace kestra::fuzz;

namespace {

struct StateFuzz {
  FuzzMachine fm;
  Emulator emulator;
  std::vector<uint8_t> start;  // the raw state every input starts from

  static EmulatorHost Host(FuzzMachine& fm) {
    EmulatorHost host;
    host.messages = &fm.messages;
    host.audio = &fm.audio;
    host.display = &fm.display;
    return host;
  }

  StateFuzz() : emulator(*fm, Host(fm)) {
    LoadTestCartridge(fm, 0x01, true);  // 8 KB of save RAM
    emulator.StartVoice();
    emulator.RunFrames(3, 0);
    start = Raw();
  }

  std::vector<uint8_t> Raw() {
    std::vector<uint8_t> raw(emulator.StateSize());
    FUZZ_CHECK(emulator.SaveStateRaw(raw));
    return raw;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static StateFuzz f;
  std::string error;
  FUZZ_CHECK(f.emulator.LoadStateRaw(f.start, error));
  if (size == 0) return 0;
  const std::span<const uint8_t> state(data + 1, size - 1);
  const bool taken = (data[0] & 1) ? f.emulator.LoadStateRaw(state, error)
                                   : f.emulator.LoadState(state, error);
  if (!taken) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(f.Raw() == f.start);
    return 0;
  }
  CheckMemoryMap(*f.fm);
  f.emulator.RunFrames(2, 0);
  CheckMemoryMap(*f.fm);
  return 0;
}
