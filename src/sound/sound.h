// The four sound channels on six looping host audio buffers.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

struct SoundState {
  int32_t SweepAmount = 0;
};

// Side effects of ports 0x80-0x94 (the port still holds its old value).
void WriteSoundPort(Machine& m, uint32_t port, uint8_t value);
void WaveHook(Machine& m, uint32_t index, uint8_t value);
uint16_t SoundLineStep(Machine& m);
void SetPeriod(Machine& m, int buffer, int period);
void ClearBuffer(Machine& m, int buffer);
int PlayBuffer(Machine& m, int buffer);
int StopBuffer(Machine& m, int buffer);

}  // namespace kestra
