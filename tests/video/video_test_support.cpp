#include "video_test_support.h"

#include "video/png.h"

namespace kestra::test {

namespace {

PngImage ToRgb(const XrgbImage& decoded) {
  PngImage image;
  image.width = decoded.width;
  image.height = decoded.height;
  image.rgb.reserve(decoded.pixels.size() * 3);
  for (const uint32_t v : decoded.pixels) {
    image.rgb.push_back(static_cast<uint8_t>(v >> 16));
    image.rgb.push_back(static_cast<uint8_t>(v >> 8));
    image.rgb.push_back(static_cast<uint8_t>(v));
  }
  return image;
}

}  // namespace

PngImage DecodeStoredPng(const std::vector<uint8_t>& png) {
  XrgbImage decoded;
  std::string error;
  if (!DecodePng(png.data(), png.size(), decoded, error)) return {};
  return ToRgb(decoded);
}

PngImage ReadStoredPng(const std::string& path) {
  XrgbImage decoded;
  std::string error;
  if (!ReadPngFile(path, decoded, error)) return {};
  return ToRgb(decoded);
}

}  // namespace kestra::test
