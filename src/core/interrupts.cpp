#include "core/interrupts.h"

#include <bit>

#include "core/machine.h"
#include "cpu/exec.h"

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
  if (io[0xB2] & cause) io[0xB6] |= cause;
}

void TimerStep(Machine& m) {
  uint8_t* io = m.io.IoPorts;
  const uint8_t control = io[0xA2];
  const uint32_t line = io[0x02];

  if ((control & 0x01) && PortWord(io, 0xA8) != 0) {
    if (CountDown(io, 0xA8, 0xA4, control & 0x02)) RaiseCause(m, kCauseHBlankTimer);
  } else if (PortWord(io, 0xA4) == 1) {
    // A reload of 1 fires on every line even with the timer stopped.
    RaiseCause(m, kCauseHBlankTimer);
  }

  if (line == kVBlankLine) {
    RaiseCause(m, kCauseVBlank);
    if ((control & 0x04) && PortWord(io, 0xAA) != 0 &&
        CountDown(io, 0xAA, 0xA6, control & 0x08)) {
      RaiseCause(m, kCauseVBlankTimer);
    }
  }

  if (line == io[0x03]) RaiseCause(m, kCauseLineCompare);
}

void DispatchInterrupt(Machine& m, uint8_t status) {
  if (status == 0) return;
  const uint32_t n = static_cast<uint32_t>(std::bit_width(status)) - 1;  // highest bit wins
  EnterInterrupt(m, (m.io.IoPorts[0xB0] + n) * 4);
}

void EnterInterrupt(Machine& m, uint32_t vectorAddress) {
  CpuState& c = m.cpu;
  if (!c.flags.interruptEnable) return;
  PushFlags(m);
  c.flags.interruptEnable = 0;
  c.flags.trap = 0;
  const uint16_t ip = ReadMemoryWord(m, vectorAddress);
  const uint16_t cs = ReadMemoryWord(m, vectorAddress + 2);
  cpu::Push(m, c.regs.w[CS]);
  cpu::Push(m, c.regs.w[IP]);
  c.regs.w[IP] = ip;
  cpu::LoadCs(c, cs);
}

}  // namespace kestra
