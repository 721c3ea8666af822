// A display output without a window: surfaces in memory, in 32-bit XRGB
// unless another mode is asked for, keeping the last presented frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "video/display.h"

namespace kestra {

inline constexpr DisplayMode kXrgb32{32, 0xFF0000, 0x00FF00, 0x0000FF};

class HeadlessDisplay : public DisplayHost {
 public:
  explicit HeadlessDisplay(const DisplayMode& mode = kXrgb32) : mode_(mode) {}

  bool Open() override;
  bool QueryDisplayMode(DisplayMode& mode) override;
  bool CreatePrimary(int width, int height, int scale) override;
  bool CreateFrameBuffer(int width, int height, int bytesPerPixel, Surface& out) override;
  // Swaps the FrameBuffer with the published image: the next frame is drawn
  // over the one before last, which every drawn frame overwrites line by line.
  bool Present(Surface& frame) override;
  bool ClearFrameBuffer() override;
  bool ClearPrimary() override;
  void Close() override;

  int width() const { return width_; }
  int height() const { return height_; }
  int scale() const { return scale_; }
  int presentedFrames() const { return presented_; }
  // Pixel values (bytesPerPixel bytes, low first) of the FrameBuffer and of
  // the last presented frame; 0 outside the image.
  uint32_t FramePixel(int x, int y) const { return PixelIn(back_, x, y); }
  uint32_t PresentedPixel(int x, int y) const { return PixelIn(front_, x, y); }
  // The last presented frame's pixels, width() a row, when they are 32-bit;
  // else null.
  const uint32_t* PresentedPixels() const {
    return bytesPerPixel_ == 4 && !front_.empty() ? reinterpret_cast<const uint32_t*>(front_.data())
                                                  : nullptr;
  }
  // The last presented frame as 8-bit red, green, blue triples, row by row.
  std::vector<uint8_t> PresentedRgb() const;

 private:
  uint32_t PixelIn(const std::vector<uint8_t>& image, int x, int y) const;

  DisplayMode mode_;
  int width_ = 0, height_ = 0, scale_ = 1, bytesPerPixel_ = 0;
  int presented_ = 0;
  std::vector<uint8_t> back_;   // the FrameBuffer
  std::vector<uint8_t> front_;  // the published image
};

// Writes the last presented frame as a PNG file: false when there is no
// frame or the file cannot be written.
bool SaveScreenshot(const HeadlessDisplay& display, const std::string& path);

}  // namespace kestra
