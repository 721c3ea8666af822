// PNG pictures through libpng: screenshots and thumbnails out as 8-bit RGB,
// and any PNG libpng reads back in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

// zlib's checksums, as PNG chunks and zlib streams carry them.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

// rgb: width x height triples, row by row. Empty when the sizes do not fit.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb);
// Replaces the file at path as a whole; false when it could not be written.
bool WritePngFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

// An XRGB8888 picture (pixel values 0x??RRGGBB in host order, the top byte
// unused), `pitch` bytes from one row to the next, as a PNG in memory. False
// with `png` empty when the sizes are unusable.
bool EncodePngXrgb(const uint8_t* pixels, int width, int height, int pitch,
                   std::vector<uint8_t>& png);

// A decoded picture: pixel (x, y) at pixels[y * width + x] as 0x00RRGGBB;
// transparency is laid over black.
struct XrgbImage {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// Reads a PNG from memory or a file: true, or false with `image` empty and
// a message in `error` saying what is wrong.
bool DecodePng(const uint8_t* data, size_t size, XrgbImage& image, std::string& error);
bool ReadPngFile(const std::string& path, XrgbImage& image, std::string& error);

}  // namespace kestra
