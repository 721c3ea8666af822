#include "core/keypad.h"

#include "core/interrupts.h"
#include "core/machine.h"

namespace kestra {

uint8_t KeypadValue(uint8_t select, uint16_t buttons) {
  uint8_t value = select & 0xF0;
  if (select & 0x40) value |= (buttons >> 8) & 0x0F;
  if (select & 0x20) value |= (buttons >> 4) & 0x0F;
  if (select & 0x10) value |= buttons & 0x0F;
  return value;
}

void PollKeypad(Machine& m) {
  SchedulerState& s = m.sched;
  uint8_t* io = m.io.IoPorts;
  s.ButtonMask = m.host.input ? static_cast<uint16_t>(m.host.input->PollInput()) : 0;
  io[kPortKeypad] = KeypadValue(io[kPortKeypad], s.ButtonMask);
  if (s.PrevButtonMask & ~s.ButtonMask) RaiseCause(m, kCauseKey);
  s.PrevButtonMask = s.ButtonMask;
}

}  // namespace kestra
