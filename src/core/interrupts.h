// Interrupt causes, the HBlank and VBlank timers, and the dispatch that the
// scheduler runs after every slice with a cause pending.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

// Cause bits of the interrupt enable (0xB2) and status (0xB6) ports.
enum InterruptCause : uint8_t {
  kCauseKey = 0x02,
  kCauseLineCompare = 0x10,
  kCauseVBlankTimer = 0x20,
  kCauseVBlank = 0x40,
  kCauseHBlankTimer = 0x80,
};

// Phase 6 of every line: timers and interrupt causes.
void TimerStep(Machine& m);

// Latches cause into port 0xB6 if port 0xB2 enables it now.
void RaiseCause(Machine& m, uint8_t cause);

// Enters the highest pending cause of status (port 0xB6): the vector is
// (port 0xB0 + bit number) * 4 in bank 0.
void DispatchInterrupt(Machine& m, uint8_t status);

// The CPU's hardware interrupt entry through the vector at vectorAddress.
// Does nothing while IF is clear: the cause stays pending.
void EnterInterrupt(Machine& m, uint32_t vectorAddress);

}  // namespace kestra
