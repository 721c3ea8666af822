// The public entry points of the renderer and the choice of path: the wide
// one (renderer_wide.cpp) where the processor has it and the display allows,
// else one by one (renderer_scalar.cpp).
#include "video/renderer.h"

#include "core/machine.h"
#include "video/display.h"
#include "video/renderer_common.h"

namespace kestra {

namespace {

using render::ColourIndex;
using render::IndexLine;

// Background, screen 1, screen 2 and sprites as colour entries.
void ComposeLine(const Machine& m, int line, IndexLine& out) {
  const uint8_t ports60 = m.io.IoPorts[kPortVideoMode];
  const uint8_t ports01 = m.io.IoPorts[kPortBackColour];
  // Any of port 0x60 bits 5-7: the background is palette colour port 0x01,
  // else one of the eight shades.
  const ColourIndex background = (ports60 & 0xE0) ? ports01 : kShadeColourBase + (ports01 & 7);
#if defined(KESTRA_RENDER_WIDE)
  if (m.display.wideRendering) {
    render::ComposeLineWide(m, line, background, out);
    return;
  }
#endif
  render::ComposeLineOneByOne(m, line, background, out);
}

}  // namespace

bool HostRendersWide() {
#if defined(KESTRA_RENDER_WIDE)
  static const bool wide =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
      __builtin_cpu_supports("avx512bitalg");
  return wide;
#else
  return false;
#endif
}

void DrawLine(const Machine& m, int line, LineBuffer& out) {
  IndexLine composed;
  ComposeLine(m, line, composed);
  const uint32_t* colours = m.colours.HostColours;
  for (int x = 0; x < kLineBufferWidth; ++x) out.pixels[x] = colours[composed.entries[x]];
}

int RenderLine(Machine& m, int line) {
  const DisplayState& d = m.display;
  if (!d.FrameBuffer) {
    if (m.settings.verbose()) ShowDrawError(m, kMsgNoSurface);
    return -1;
  }
  if (line < 0 || line >= kLcdHeight) return -1;
  IndexLine composed;
  ComposeLine(m, line, composed);
  const ColourIndex* entries = composed.entries + kLineGuard;
#if defined(KESTRA_RENDER_WIDE)
  if (d.format.bytesPerPixel == 4 && !d.DisplayVertical && d.wideRendering) {
    render::CopyLineWide(m.colours, entries,
                         d.FrameBuffer + static_cast<ptrdiff_t>(line) * d.FramePitch);
    return 0;
  }
#endif
  render::CopyLineOneByOne(d, line, entries, m.colours.HostColours);
  return 0;
}

}  // namespace kestra
