#include "core/interrupts.h"

#include "core/machine.h"

namespace kestra {

namespace {

constexpr uint32_t kVBlankLine = 144;  // VBlank and the VBlank timer count here

uint16_t PortWord(const uint8_t* io, uint32_t port) {
  return static_cast<uint16_t>(io[port] | io[port + 1] << 8);
}

void SetPortWord(uint8_t* io, uint32_t port, uint16_t value) {
  io[port] = value & 0xFF;
  io[port + 1] = value >> 8;
}

// One step of a running timer (counter not 0): true when it has expired;
// a repeating timer then starts again from its reload value.
bool CountDown(uint8_t* io, uint32_t counterPort, uint32_t reloadPort, bool repeat) {
  uint16_t counter = static_cast<uint16_t>(PortWord(io, counterPort) - 1);
  const bool expired = counter == 0;
  if (expired && repeat) counter = PortWord(io, reloadPort);
  SetPortWord(io, counterPort, counter);
  return expired;
}

}  // namespace

void RaiseCause(Machine& m, uint8_t cause) {
  uint8_t* io = m.io.IoPorts;
  if (io[kPortInterruptEnable] & cause) io[kPortInterruptStatus] |= cause;
}

void StartTimers(Machine& m, uint8_t control) {
  uint8_t* io = m.io.IoPorts;
  const bool hblank = control & 0x01;
  const bool vblank = control & 0x04;
  SetPortWord(io, kPortHBlankCounter, hblank ? PortWord(io, kPortHBlankReload) : 0);
  SetPortWord(io, kPortVBlankCounter, vblank ? PortWord(io, kPortVBlankReload) : 0);
}

void ReloadTimer(Machine& m, uint32_t port, uint8_t value) {
  m.io.IoPorts[port - kPortHBlankReload + kPortHBlankCounter] = value;
}

void TimerStep(Machine& m) {
  uint8_t* io = m.io.IoPorts;
  const uint8_t control = io[kPortTimerControl];
  const uint32_t line = io[kPortLine];

  if ((control & 0x01) && PortWord(io, kPortHBlankCounter) != 0) {
    if (CountDown(io, kPortHBlankCounter, kPortHBlankReload, control & 0x02)) {
      RaiseCause(m, kCauseHBlankTimer);
    }
  } else if (PortWord(io, kPortHBlankReload) == 1) {
    // A reload of 1 fires on every line even with the timer stopped.
    RaiseCause(m, kCauseHBlankTimer);
  }

  if (line == kVBlankLine) {
    RaiseCause(m, kCauseVBlank);
    if ((control & 0x04) && PortWord(io, kPortVBlankCounter) != 0 &&
        CountDown(io, kPortVBlankCounter, kPortVBlankReload, control & 0x08)) {
      RaiseCause(m, kCauseVBlankTimer);
    }
  }

  if (line == io[kPortLineCompare]) RaiseCause(m, kCauseLineCompare);
}


}  // namespace kestra
