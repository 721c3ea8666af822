// The console as a whole: a new machine, the reset that follows every load,
// and the rebuild of what is derived from the state.
#pragma once

#include <memory>

namespace kestra {

struct Machine;

// A machine with no cartridge, stderr messages and a steady clock; the caller
// may replace any host service afterwards.
std::unique_ptr<Machine> CreateMachine();

// Runs at the end of every successful load, after Iram and the ports are
// cleared.
void ResetMachine(Machine& m);

// Rebuilds the derived part (bank pointers, code window, map bases, host
// colours) from MachineState and the cartridge, after a state was copied in.
void RebuildDerived(Machine& m);

}  // namespace kestra
