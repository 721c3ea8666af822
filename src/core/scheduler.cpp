#include "core/scheduler.h"

#include "core/machine.h"

namespace kestra {

void RunJob(Machine&) {}
uint8_t RunSlice(Machine& m) { return m.io.IoPorts[0xB6]; }
void TakeSpriteSnapshot(Machine& m) { m.sched.Sprites.count = 0; }

}  // namespace kestra
