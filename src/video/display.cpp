#include "video/display.h"

#include <algorithm>

#include "core/machine.h"

namespace kestra {

namespace {

int FailOpen(Machine& m, const char* text) {
  ShowDrawError(m, text);
  CloseDisplay(m);
  return -1;
}

void VerboseDrawError(Machine& m, const char* text) {
  if (m.settings.verbose()) ShowDrawError(m, text);
}

}  // namespace

DisplayGeometry GeometryFor(int scale, int vertical) {
  DisplayGeometry g;
  g.frameWidth = vertical ? kLcdHeight : kLcdWidth;
  g.frameHeight = vertical ? kLcdWidth : kLcdHeight;
  g.imageWidth = scale * g.frameWidth;
  g.imageHeight = scale * g.frameHeight;
  g.clientWidth = g.imageWidth;
  g.clientHeight = g.imageHeight + kStatusBarHeight;
  return g;
}

int BytesPerPixelForDepth(int bitsPerPixel) {
  if (bitsPerPixel == 16) return 2;
  if (bitsPerPixel >= 17 && bitsPerPixel <= 24) return 3;
  if (bitsPerPixel >= 25 && bitsPerPixel <= 32) return 4;
  return 0;
}

int OpenDisplay(Machine& m) {
  DisplayState& d = m.display;
  DisplayHost* host = m.host.display;
  d.windowKnown = true;
  CloseDisplay(m);  // one output at a time
  if (!host || !host->Open()) return FailOpen(m, kMsgCannotCreateDisplay);
  d.openHost = host;

  DisplayMode mode;
  if (!host->QueryDisplayMode(mode)) return FailOpen(m, kMsgNoDisplayMode);
  // The depth is checked before the surfaces are made, since the FrameBuffer
  // is created in the mode's format.
  const int bytesPerPixel = BytesPerPixelForDepth(mode.bitsPerPixel);
  if (bytesPerPixel == 0) return FailOpen(m, kMsgBadDepth);
  const PixelFormat format =
      MakePixelFormat(bytesPerPixel, mode.redMask, mode.greenMask, mode.blueMask);

  const DisplayGeometry g = GeometryFor(d.DisplayScale, d.DisplayVertical);
  if (!host->CreatePrimary(g.frameWidth, g.frameHeight, d.DisplayScale)) {
    return FailOpen(m, kMsgCannotCreatePrimary);
  }
  Surface surface;
  if (!host->CreateFrameBuffer(g.frameWidth, g.frameHeight, bytesPerPixel, surface)) {
    return FailOpen(m, kMsgCannotCreateFrameBuffer);
  }
  // A surface without pixels or with rows too short cannot be described.
  if (!surface.pixels || surface.pitch < g.frameWidth * bytesPerPixel) {
    return FailOpen(m, kMsgNoDisplayMode);
  }
  d.FrameBuffer = surface.pixels;
  d.FramePitch = surface.pitch;
  // The colours survive a re-creation; should the desktop's format have
  // changed meanwhile they would be wrong, so they follow it.
  if (!(format == d.format)) {
    d.format = format;
    ConvertAllColours(m);
  }
  ClearOutput(m);
  return 0;
}

void CloseDisplay(Machine& m) {
  DisplayState& d = m.display;
  if (!d.openHost) return;
  d.openHost->Close();
  d.openHost = nullptr;
  d.FrameBuffer = nullptr;
  d.FramePitch = 0;
}

int SetDisplayGeometry(Machine& m, int scale, int vertical) {
  DisplayState& d = m.display;
  scale = std::clamp(scale, 1, 3);
  vertical = vertical ? 1 : 0;
  if (scale == d.DisplayScale && vertical == d.DisplayVertical) return 0;
  CloseDisplay(m);
  d.DisplayScale = scale;
  d.DisplayVertical = vertical;
  // Before the window first opened the output, only the values are kept.
  if (d.windowKnown) OpenDisplay(m);
  return 0;
}

int PresentFrame(Machine& m) {
  DisplayState& d = m.display;
  if (!d.FrameBuffer) {
    VerboseDrawError(m, kMsgNoFrameBuffer);
    return -1;
  }
  Surface frame{d.FrameBuffer, d.FramePitch};
  if (!d.openHost->Present(frame)) {
    VerboseDrawError(m, kMsgCannotBlitPrimary);
    return -1;
  }
  if (frame.pixels) {
    d.FrameBuffer = frame.pixels;
    d.FramePitch = frame.pitch;
  }
  return 0;
}

void ClearOutput(Machine& m) {
  if (!m.display.FrameBuffer) return;
  DisplayHost* host = m.display.openHost;
  if (!host->ClearFrameBuffer()) {
    VerboseDrawError(m, kMsgCannotBlitFrameBuffer);
    return;
  }
  if (!host->ClearPrimary()) VerboseDrawError(m, kMsgCannotBlitPrimary);
}

void ShowDrawError(Machine& m, const char* text) {
  ShowMessage(m, kCaptionDrawError, text, MessageIcon::Warning);
}

}  // namespace kestra
