#include "video/palette.h"

#include <bit>

#include "core/machine.h"
#include "video/display.h"

namespace kestra {

namespace {

bool ColourMode(const Machine& m) { return (m.io.IoPorts[kPortVideoMode] & 0x80) != 0; }

// 64-bit so that an empty mask (shift 32) gives 0 instead of undefined shifting.
uint32_t PlaceComponent(uint32_t level8, int shift, uint32_t mask) {
  return static_cast<uint32_t>((static_cast<uint64_t>(level8) << 24) >> shift) & mask;
}

uint16_t WordAt(const PaletteState& p, uint32_t position) {
  const uint32_t low = position & ~1u;
  return static_cast<uint16_t>(p.PaletteWords[low] | p.PaletteWords[low + 1] << 8);
}

void ApplyMonoPalette(Machine& m, uint32_t port, uint8_t value) {
  const uint32_t palette = (port - 0x20) >> 1;
  const uint32_t base = 32 * palette + 2 * (2 * (port & 1));
  const uint8_t s0 = m.palette.ShadePool[value & 7];
  const uint8_t s1 = m.palette.ShadePool[(value >> 4) & 7];
  WritePaletteByte(m, base, s0);
  WritePaletteByte(m, base + 1, s0);
  WritePaletteByte(m, base + 2, s1);
  WritePaletteByte(m, base + 3, s1);
}

}  // namespace

int MaskShift(uint32_t mask) { return std::countl_zero(mask); }

PixelFormat MakePixelFormat(int bytesPerPixel, uint32_t redMask, uint32_t greenMask,
                            uint32_t blueMask) {
  PixelFormat f;
  f.bytesPerPixel = bytesPerPixel;
  f.redMask = redMask;
  f.greenMask = greenMask;
  f.blueMask = blueMask;
  f.redShift = MaskShift(redMask);
  f.greenShift = MaskShift(greenMask);
  f.blueShift = MaskShift(blueMask);
  return f;
}

uint32_t ConvertColour(const PixelFormat& f, uint16_t word) {
  const uint32_t red = ((word >> 8) & 15) * 0x11;
  const uint32_t green = ((word >> 4) & 15) * 0x11;
  const uint32_t blue = (word & 15) * 0x11;
  return PlaceComponent(red, f.redShift, f.redMask) |
         PlaceComponent(green, f.greenShift, f.greenMask) |
         PlaceComponent(blue, f.blueShift, f.blueMask);
}

void WritePaletteByte(Machine& m, uint32_t position, uint8_t value) {
  if (!m.display.FrameBuffer) {
    if (m.settings.verbose()) ShowDrawError(m, kMsgNoSurface);
    return;
  }
  if (position >= kPaletteBytes) return;
  PaletteState& p = m.palette;
  p.PaletteWords[position] = value;
  StoreHostColour(m.colours, position >> 1, ConvertColour(m.display.format, WordAt(p, position)));
}

void WriteShadePort(Machine& m, uint32_t port, uint8_t value) {
  if (ColourMode(m)) return;
  const uint32_t j = (port - 0x1C) & 3;
  const uint8_t lo = ShadeLevelTable[value & 15];
  const uint8_t hi = ShadeLevelTable[value >> 4];
  WritePaletteByte(m, 0x200 + 4 * j, lo);
  WritePaletteByte(m, 0x201 + 4 * j, lo);
  WritePaletteByte(m, 0x202 + 4 * j, hi);
  WritePaletteByte(m, 0x203 + 4 * j, hi);
  m.palette.ShadePool[2 * j] = lo;
  m.palette.ShadePool[2 * j + 1] = hi;
  // Every palette follows its shades: re-apply all 32 palette ports.
  for (uint32_t p = 0x20; p <= 0x3F; ++p) ApplyMonoPalette(m, p, m.io.IoPorts[p]);
}

void WriteMonoPalettePort(Machine& m, uint32_t port, uint8_t value) {
  if (ColourMode(m)) return;
  ApplyMonoPalette(m, 0x20 + ((port - 0x20) & 0x1F), value);
}

void ConvertAllColours(Machine& m) {
  const PaletteState& p = m.palette;
  for (uint32_t n = 0; n < kHostColourCount; ++n) {
    StoreHostColour(m.colours, n, ConvertColour(m.display.format, WordAt(p, 2 * n)));
  }
}

}  // namespace kestra
