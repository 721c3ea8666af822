#include "video/renderer.h"

#include "core/machine.h"

namespace kestra {

int RenderLine(Machine&, int) { return 0; }

}  // namespace kestra
