// Palettes: colour RAM words and monochrome shades folded into PaletteWords,
// with HostColours kept converted to the host pixel format.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

struct PixelFormat {
  int bytesPerPixel = 4;
  uint32_t redMask = 0xFF0000, greenMask = 0x00FF00, blueMask = 0x0000FF;
  int redShift = 8, greenShift = 16, blueShift = 24;
};

struct PaletteState {
  uint8_t PaletteWords[0x210];
  uint32_t HostColours[264];  // host pixel values, low-order byte first when stored
  uint8_t ShadePool[8];
};

void WritePaletteByte(Machine& m, uint32_t position, uint8_t value);
// Side effects of ports 0x1C-0x1F and 0x20-0x3F (monochrome mode only).
void WriteShadePort(Machine& m, uint32_t port, uint8_t value);
void WriteMonoPalettePort(Machine& m, uint32_t port, uint8_t value);

}  // namespace kestra
