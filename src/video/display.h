// The display output: FrameBuffer, pixel format, scale and orientation, and
// the presentation of finished frames through the platform's display host.
#pragma once

#include <cstdint>
#include <vector>

#include "video/palette.h"

namespace kestra {

struct Machine;

struct DisplayState {
  PixelFormat format;
  int DisplayScale = 1;
  int DisplayVertical = 0;
  std::vector<uint8_t> FrameBuffer;  // empty while the output is absent
  int pitch = 0;
};

int PresentFrame(Machine& m);
void ClearOutput(Machine& m);

}  // namespace kestra
