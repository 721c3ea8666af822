#include "sound/sound.h"

#include "core/machine.h"

namespace kestra {

void WriteSoundPort(Machine&, uint32_t, uint8_t) {}
void WaveHook(Machine&, uint32_t, uint8_t) {}
uint16_t SoundLineStep(Machine&) { return 0; }
void SetPeriod(Machine&, int, int) {}
void ClearBuffer(Machine&, int) {}
int PlayBuffer(Machine&, int) { return 0; }
int StopBuffer(Machine&, int) { return 0; }

}  // namespace kestra
