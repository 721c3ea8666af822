#include "sound/voice.h"

#include "core/machine.h"

namespace kestra {

void PushVoiceSample(Machine&, uint8_t) {}

}  // namespace kestra
