// Interrupt causes and the HBlank and VBlank timers. The CPU enters a pending
// cause (DispatchInterrupt).
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

// The timer control port: a started timer's counter from its reload value,
// a stopped one's cleared.
void StartTimers(Machine& m, uint8_t control);
// A reload byte (ports 0xA4-0xA7) also sets the matching counter byte.
void ReloadTimer(Machine& m, uint32_t port, uint8_t value);

// Latches cause into port 0xB6 if port 0xB2 enables it now.
void RaiseCause(Machine& m, uint8_t cause);


}  // namespace kestra
