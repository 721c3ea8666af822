// The LCD renderer: one line at a time, straight into the host pixel format.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

// 0, or -1 when the line was not delivered.
int RenderLine(Machine& m, int line);

}  // namespace kestra
