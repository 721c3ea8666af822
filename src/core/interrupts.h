// Interrupt causes, the HBlank and VBlank timers, and the dispatch that the
// scheduler runs after every slice with a cause pending.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

// Phase 6 of every line: timers and interrupt causes.
void TimerStep(Machine& m);

// Enters the highest pending cause of status (port 0xB6).
void DispatchInterrupt(Machine& m, uint8_t status);

// The CPU's hardware interrupt entry through the vector at vectorAddress.
void EnterInterrupt(Machine& m, uint32_t vectorAddress);

}  // namespace kestra
