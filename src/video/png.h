// A minimal PNG writer: 8-bit true colour, deflate "stored" blocks, so no
// compression library is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

// rgb: width x height triples, row by row.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb);
bool WritePngFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

}  // namespace kestra
