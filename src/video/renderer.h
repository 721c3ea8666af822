// The LCD renderer: composes one line at a time (background, screen 1,
// screen 2, sprites) as HostColours entries and writes it into the
// FrameBuffer in host pixel values.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

constexpr int kLineGuard = 8;
constexpr int kLineBufferWidth = 8 + 224 + 8;

// One composed line of host pixel values; screen x is at pixels[x + 8]. The
// guards take the parts of tiles and sprites that stick out of the line.
struct LineBuffer {
  alignas(64) uint32_t pixels[kLineBufferWidth];
};

// Composes line 0-143 from Iram, the ports, the sprite snapshot and HostColours.
void DrawLine(const Machine& m, int line, LineBuffer& out);

// Draws line 0-143 into the FrameBuffer: 0, or -1 when the line was not
// delivered (no FrameBuffer: a Verbose message).
int RenderLine(Machine& m, int line);

}  // namespace kestra
