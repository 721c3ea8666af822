// Palettes: the colour RAM words and the monochrome shades folded into one
// table, PaletteWords, with HostColours kept converted into the host pixel
// format so that drawing never converts a colour.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

// The host display's pixel layout. A shift is the number of zero bits above
// the mask's highest set bit (0xF800 -> 16, 0xFF0000 -> 8, an empty mask -> 32).
struct PixelFormat {
  int bytesPerPixel = 0;  // 2, 3 or 4 once the display output is set up
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  int redShift = 32, greenShift = 32, blueShift = 32;

  bool operator==(const PixelFormat&) const = default;
};

constexpr int kPaletteBytes = 0x210;  // 16 palettes x 16 colours, then 8 shades
constexpr int kHostColourCount = 264;
constexpr int kShadeColourBase = 256;  // HostColours entry of shade 0

struct PaletteState {
  uint8_t PaletteWords[kPaletteBytes] = {};
  uint8_t ShadePool[8] = {};  // the level byte of each shade 0-7
};

// PaletteWords in the host's pixel format: derived, rebuilt by
// ConvertAllColours when the format changes or a state is restored.
struct HostColourTables {
  // Entry n is the word at PaletteWords 2n, 2n+1 as a host pixel value; its
  // low bytesPerPixel bytes are stored, low-order byte first.
  uint32_t HostColours[kHostColourCount] = {};
  // Byte b of HostColours entry n (0-255) at [b][n], so that a whole line
  // can be converted with byte table lookups in vector registers. Kept by
  // StoreHostColour with HostColours.
  alignas(64) uint8_t HostColourBytes[4][256] = {};
};

// Level n of the sixteen greys: 0 white ... 15 black, as a byte 0x11 x (15 - n).
inline constexpr uint8_t ShadeLevelTable[16] = {0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x99, 0x88,
                                                0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00};

// Sets HostColours entry n and its bytes in HostColourBytes.
inline void StoreHostColour(HostColourTables& p, uint32_t n, uint32_t value) {
  p.HostColours[n] = value;
  if (n < 256) {
    for (int b = 0; b < 4; ++b) p.HostColourBytes[b][n] = static_cast<uint8_t>(value >> (8 * b));
  }
}

int MaskShift(uint32_t mask);
PixelFormat MakePixelFormat(int bytesPerPixel, uint32_t redMask, uint32_t greenMask,
                            uint32_t blueMask);

// A colour word (blue bits 0-3, green 4-7, red 8-11) as a host pixel value:
// each component widened to 8 bits, then cut to the top bits its mask holds.
uint32_t ConvertColour(const PixelFormat& format, uint16_t word);

// Stores one byte of PaletteWords (position 0x000-0x20F) and reconverts its
// colour. Without a FrameBuffer the byte is lost (Verbose: a message).
void WritePaletteByte(Machine& m, uint32_t position, uint8_t value);

// Side effects of ports 0x1C-0x1F and 0x20-0x3F, called before the port file
// stores the value; they do nothing in colour mode (port 0x60 bit 7).
void WriteShadePort(Machine& m, uint32_t port, uint8_t value);
void WriteMonoPalettePort(Machine& m, uint32_t port, uint8_t value);

// Reconverts all 264 colours, for a display output whose format has changed.
void ConvertAllColours(Machine& m);

}  // namespace kestra
