// Voice output: one sample per LCD line streamed into the voice buffer.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

void PushVoiceSample(Machine& m, uint8_t sample);

}  // namespace kestra
