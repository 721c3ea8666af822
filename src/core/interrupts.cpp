#include "core/interrupts.h"

#include "core/machine.h"

namespace kestra {

void TimerStep(Machine&) {}
void DispatchInterrupt(Machine&, uint8_t) {}
void EnterInterrupt(Machine&, uint32_t) {}

}  // namespace kestra
