#include "video/display.h"

#include "core/machine.h"

namespace kestra {

int PresentFrame(Machine&) { return 0; }
void ClearOutput(Machine&) {}

}  // namespace kestra
