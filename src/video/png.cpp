#include "video/png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "base/files.h"

namespace kestra {

namespace {

// Pictures larger than this are refused before anything is allocated: a
// broken or hostile file may claim any size.
constexpr int64_t kMaxPixels = 1 << 24;
constexpr int64_t kMaxSide = 1 << 16;

bool UsableSize(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
         width * height <= kMaxPixels;
}

// 8-bit RGB rows (`stride` bytes apart) into a PNG: libpng works out the
// size first, then writes into a buffer of that size.
std::vector<uint8_t> WriteRgb(const uint8_t* rgb, int width, int height, int stride) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, rgb, stride, nullptr)) {
    png_image_free(&image);
    return {};
  }
  std::vector<uint8_t> png(size);
  if (!png_image_write_to_memory(&image, png.data(), &size, 0, rgb, stride, nullptr)) {
    png_image_free(&image);
    return {};
  }
  png.resize(size);
  return png;
}

// Finishes a read that png_image_begin_read_* began.
bool FinishRead(png_image& image, XrgbImage& out, std::string& error) {
  if (!UsableSize(image.width, image.height)) {
    error = "the picture is too large (" + std::to_string(image.width) + " x " +
            std::to_string(image.height) + ")";
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  const png_color black{0, 0, 0};
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, &black, rgb.data(), 0, nullptr)) {
    error = image.message;
    png_image_free(&image);
    return false;
  }
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const uint8_t* p = &rgb[3 * i];
    out.pixels[i] = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
  }
  return true;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  uLong c = crc;
  // zlib takes its lengths as uInt: large buffers go in pieces.
  for (size_t done = 0; done < size;) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(size - done, 1u << 30));
    c = crc32(c, data + done, piece);
    done += piece;
  }
  return static_cast<uint32_t>(c);
}

uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler) {
  uLong a = adler;
  for (size_t done = 0; done < size;) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(size - done, 1u << 30));
    a = adler32(a, data + done, piece);
    done += piece;
  }
  return static_cast<uint32_t>(a);
}

std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb) {
  if (!UsableSize(width, height) || rgb.size() != static_cast<size_t>(width) * height * 3) {
    return {};
  }
  return WriteRgb(rgb.data(), width, height, width * 3);
}

bool WritePngFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  const std::vector<uint8_t> png = EncodePng(width, height, rgb);
  if (png.empty()) return false;
  return ReplaceFile(path, {std::span<const uint8_t>(png)});
}

bool EncodePngXrgb(const uint8_t* pixels, int width, int height, int pitch,
                   std::vector<uint8_t>& png) {
  png.clear();
  if (!pixels || !UsableSize(width, height) || pitch < width * 4) return false;
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint8_t* out = rgb.data();
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * pitch;
    for (int x = 0; x < width; ++x, out += 3) {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      out[0] = static_cast<uint8_t>(v >> 16);
      out[1] = static_cast<uint8_t>(v >> 8);
      out[2] = static_cast<uint8_t>(v);
    }
  }
  png = WriteRgb(rgb.data(), width, height, width * 3);
  return !png.empty();
}

bool DecodePng(const uint8_t* data, size_t size, XrgbImage& image, std::string& error) {
  image = {};
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!data || !png_image_begin_read_from_memory(&png, data, size)) {
    error = data ? png.message : "no data";
    png_image_free(&png);
    return false;
  }
  if (FinishRead(png, image, error)) return true;
  image = {};
  return false;
}

bool ReadPngFile(const std::string& path, XrgbImage& image, std::string& error) {
  image = {};
  std::FILE* file = nullptr;
  switch (OpenRegularFile(path, file)) {
    case OpenResult::Opened: break;
    case OpenResult::Missing: error = path + ": no such file"; return false;
    case OpenResult::Directory: error = path + ": a directory, not a file"; return false;
    case OpenResult::NotRegular: error = path + ": not a regular file"; return false;
    default: error = path + ": cannot be read"; return false;
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  const bool begun = png_image_begin_read_from_stdio(&png, file);
  bool read = false;
  if (!begun) {
    error = png.message;
    png_image_free(&png);
  } else {
    read = FinishRead(png, image, error);
  }
  std::fclose(file);
  if (!read) {
    error = path + ": " + error;
    image = {};
  }
  return read;
}

}  // namespace kestra
