#include "video/headless_display.h"

#include <algorithm>
#include <bit>

#include "video/png.h"

namespace kestra {

namespace {

// The 8-bit value of a component held under `mask`: its bits at the top,
// repeated downwards so that a full field gives 0xFF.
uint8_t Expand(uint32_t pixel, uint32_t mask) {
  if (!mask) return 0;
  const int width = std::popcount(mask);
  const uint32_t field = (pixel & mask) >> std::countr_zero(mask);
  uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += width) out = (out << width) | field;
  const int total = ((8 + width - 1) / width) * width;
  return static_cast<uint8_t>(out >> (total - 8));
}

}  // namespace

bool HeadlessDisplay::Open() { return true; }

bool HeadlessDisplay::QueryDisplayMode(DisplayMode& mode) {
  mode = mode_;
  return true;
}

bool HeadlessDisplay::CreatePrimary(int width, int height, int scale) {
  width_ = width;
  height_ = height;
  scale_ = scale;
  return true;
}

bool HeadlessDisplay::CreateFrameBuffer(int width, int height, int bytesPerPixel, Surface& out) {
  bytesPerPixel_ = bytesPerPixel;
  const size_t size = static_cast<size_t>(width) * height * bytesPerPixel;
  back_.assign(size, 0);
  front_.assign(size, 0);
  out.pixels = back_.data();
  out.pitch = width * bytesPerPixel;
  return true;
}

bool HeadlessDisplay::Present(Surface& frame) {
  if (frame.pixels != back_.data()) return false;
  back_.swap(front_);
  frame.pixels = back_.data();
  ++presented_;
  return true;
}

bool HeadlessDisplay::ClearFrameBuffer() {
  std::fill(back_.begin(), back_.end(), 0);
  return true;
}

bool HeadlessDisplay::ClearPrimary() {
  std::fill(front_.begin(), front_.end(), 0);
  return true;
}

void HeadlessDisplay::Close() {
  back_.clear();
  front_.clear();
  width_ = height_ = bytesPerPixel_ = 0;
}

uint32_t HeadlessDisplay::PixelIn(const std::vector<uint8_t>& image, int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || image.empty()) return 0;
  const uint8_t* p = image.data() + (static_cast<size_t>(y) * width_ + x) * bytesPerPixel_;
  uint32_t v = 0;
  for (int b = 0; b < bytesPerPixel_; ++b) v |= static_cast<uint32_t>(p[b]) << (8 * b);
  return v;
}

std::vector<uint8_t> HeadlessDisplay::PresentedRgb() const {
  std::vector<uint8_t> rgb;
  rgb.reserve(static_cast<size_t>(width_) * height_ * 3);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const uint32_t v = PresentedPixel(x, y);
      rgb.push_back(Expand(v, mode_.redMask));
      rgb.push_back(Expand(v, mode_.greenMask));
      rgb.push_back(Expand(v, mode_.blueMask));
    }
  }
  return rgb;
}

bool SaveScreenshot(const HeadlessDisplay& display, const std::string& path) {
  if (display.width() == 0 || display.height() == 0) return false;
  return WritePngFile(path, display.width(), display.height(), display.PresentedRgb());
}

}  // namespace kestra
