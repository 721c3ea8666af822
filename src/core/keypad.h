// The console's keys: the keypad port's value for a row selection, and the
// poll at line 144 that takes the held keys from the front end.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

constexpr uint32_t kPollLine = 144;

// The keypad port 0xB5 for a row selection (bits 4-6 of select) and the keys held.
uint8_t KeypadValue(uint8_t select, uint16_t buttons);

// Phase 0 of line 144: the keys into port 0xB5 and the key-release cause.
void PollKeypad(Machine& m);

}  // namespace kestra
