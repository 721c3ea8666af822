#include "video_test_support.h"

namespace kestra::test {

namespace {

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// The data of a zlib stream made of stored blocks only; empty otherwise.
std::vector<uint8_t> InflateStored(const std::vector<uint8_t>& z) {
  std::vector<uint8_t> out;
  size_t pos = 2;
  for (bool last = false; !last;) {
    if (pos + 5 > z.size() || (z[pos] & 6) != 0) return {};
    last = z[pos] & 1;
    const size_t len = z[pos + 1] | z[pos + 2] << 8;
    const size_t nlen = z[pos + 3] | z[pos + 4] << 8;
    pos += 5;
    if ((len ^ 0xFFFF) != nlen || pos + len > z.size()) return {};
    out.insert(out.end(), z.begin() + static_cast<ptrdiff_t>(pos),
               z.begin() + static_cast<ptrdiff_t>(pos + len));
    pos += len;
  }
  return out;
}

}  // namespace

PngImage DecodeStoredPng(const std::vector<uint8_t>& png) {
  PngImage image;
  std::vector<uint8_t> zlib;
  for (size_t pos = 8; pos + 12 <= png.size();) {
    const uint32_t len = Be32(&png[pos]);
    const std::string type(png.begin() + static_cast<ptrdiff_t>(pos + 4),
                           png.begin() + static_cast<ptrdiff_t>(pos + 8));
    const uint8_t* data = &png[pos + 8];
    if (pos + 12 + len > png.size()) return {};
    if (type == "IHDR") {
      image.width = static_cast<int>(Be32(data));
      image.height = static_cast<int>(Be32(data + 4));
      if (data[8] != 8 || data[9] != 2) return {};
    } else if (type == "IDAT") {
      zlib.insert(zlib.end(), data, data + len);
    }
    pos += 12 + len;
  }
  const std::vector<uint8_t> raw = InflateStored(zlib);
  const size_t row = static_cast<size_t>(image.width) * 3;
  if (raw.size() != (row + 1) * image.height) return {};
  for (int y = 0; y < image.height; ++y) {
    const auto start = raw.begin() + static_cast<ptrdiff_t>(y * (row + 1));
    if (*start != 0) return {};
    image.rgb.insert(image.rgb.end(), start + 1, start + 1 + static_cast<ptrdiff_t>(row));
  }
  return image;
}

PngImage ReadStoredPng(const std::string& path) {
  try {
    return DecodeStoredPng(ReadFile(path));
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace kestra::test
