#include "video/palette.h"

#include "core/machine.h"

namespace kestra {

void WritePaletteByte(Machine&, uint32_t, uint8_t) {}
void WriteShadePort(Machine&, uint32_t, uint8_t) {}
void WriteMonoPalettePort(Machine&, uint32_t, uint8_t) {}

}  // namespace kestra
