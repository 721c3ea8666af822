// Helpers of the video tests: a machine with an open in-memory display whose
// steps can be made to fail, and a reader for the PNG files we write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "video/display.h"
#include "video/headless_display.h"

namespace kestra::test {

inline constexpr DisplayMode kRgb565{16, 0xF800, 0x07E0, 0x001F};
inline constexpr DisplayMode kRgb555{16, 0x7C00, 0x03E0, 0x001F};
inline constexpr DisplayMode kRgb24{24, 0xFF0000, 0x00FF00, 0x0000FF};

// An in-memory display that counts its calls and fails the step it is told to.
class ScriptedDisplay : public HeadlessDisplay {
 public:
  enum Step {
    kNone, kOpen, kMode, kPrimary, kFrameBuffer, kSurfaceShape, kPresent, kClearFrame, kClearPrimary
  };
  using HeadlessDisplay::HeadlessDisplay;

  bool Open() override {
    ++opens;
    return Ok(kOpen) && HeadlessDisplay::Open();
  }
  bool QueryDisplayMode(DisplayMode& mode) override {
    return Ok(kMode) && HeadlessDisplay::QueryDisplayMode(mode);
  }
  bool CreatePrimary(int w, int h, int scale) override {
    return Ok(kPrimary) && HeadlessDisplay::CreatePrimary(w, h, scale);
  }
  bool CreateFrameBuffer(int w, int h, int bpp, Surface& out) override {
    if (!Ok(kFrameBuffer) || !HeadlessDisplay::CreateFrameBuffer(w, h, bpp, out)) return false;
    if (!Ok(kSurfaceShape)) out.pitch = w * bpp - 1;  // rows too short for the frame
    return true;
  }
  bool Present(Surface& frame) override { return Ok(kPresent) && HeadlessDisplay::Present(frame); }
  bool ClearFrameBuffer() override {
    ++frameClears;
    return Ok(kClearFrame) && HeadlessDisplay::ClearFrameBuffer();
  }
  bool ClearPrimary() override {
    ++primaryClears;
    return Ok(kClearPrimary) && HeadlessDisplay::ClearPrimary();
  }
  void Close() override {
    ++closes;
    HeadlessDisplay::Close();
  }

  Step fail = kNone;
  int opens = 0, closes = 0, frameClears = 0, primaryClears = 0;

 private:
  bool Ok(Step step) const { return fail != step; }
};

// Closes the test machine's display output and gives it `host` as a platform
// (or none) on which no output has been opened yet.
inline void DetachDisplay(TestMachine& m, DisplayHost* host) {
  CloseDisplay(*m);
  m->display = DisplayState{};
  m->host.display = host;
}

// A test machine whose display output is open in `mode`.
struct VideoMachine {
  explicit VideoMachine(const DisplayMode& mode = kXrgb32) : display(mode) {
    DetachDisplay(machine, &display);
    OpenDisplay(*machine);
  }
  Machine& operator*() { return *machine; }
  Machine* operator->() { return machine.operator->(); }

  ScriptedDisplay display;
  TestMachine machine;
};

struct PngImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // empty when the file could not be read
};

// Reads a PNG file (ours or a golden picture) through the program's own
// decoder, as RGB triples; empty when it is not a PNG.
PngImage ReadStoredPng(const std::string& path);
PngImage DecodeStoredPng(const std::vector<uint8_t>& png);

}  // namespace kestra::test
