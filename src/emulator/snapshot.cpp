#include "emulator/snapshot.h"

#include <zstd.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "video/png.h"

namespace kestra {

namespace {

// magic, version, emulator version, raw size, compressed size, thumbnail size
constexpr size_t kVersionText = 16;
constexpr size_t kHeaderSize = 8 + 4 + kVersionText + 8 + 4 + 4;
constexpr size_t kChecksumSize = 4;
constexpr uint64_t kMaxPayload = 64u << 20;  // far above any state; guards the allocation

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }

std::string Format(const char* pattern, uint32_t value) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// Converters from each older format version to the next, by version. None
// yet: version 1 is the first.
using Converter = std::function<bool(std::vector<uint8_t>& payload)>;
const Converter* ConverterFrom(uint32_t) { return nullptr; }

}  // namespace

std::string StateDamaged(const std::string& what) {
  return "the state file is damaged (" + what + ")";
}

std::vector<uint8_t> EncodeStateFile(std::span<const uint8_t> payload,
                                     std::span<const uint8_t> thumbnail) {
  std::vector<uint8_t> compressed(ZSTD_compressBound(payload.size()));
  const size_t packed = ZSTD_compress(compressed.data(), compressed.size(), payload.data(),
                                      payload.size(), 3);
  compressed.resize(ZSTD_isError(packed) ? 0 : packed);

  std::vector<uint8_t> out;
  out.reserve(kHeaderSize + thumbnail.size() + compressed.size() + kChecksumSize);
  out.insert(out.end(), kStateMagic, kStateMagic + 8);
  Put32(out, kStateFormatVersion);
  char version[kVersionText] = {};
  std::snprintf(version, sizeof version, "Kestra %s", KESTRA_VERSION);
  out.insert(out.end(), version, version + kVersionText);
  Put64(out, payload.size());
  Put32(out, static_cast<uint32_t>(compressed.size()));
  Put32(out, static_cast<uint32_t>(thumbnail.size()));
  out.insert(out.end(), thumbnail.begin(), thumbnail.end());
  out.insert(out.end(), compressed.begin(), compressed.end());
  Put32(out, Crc32(out.data(), out.size()));
  return out;
}

bool DecodeStateFile(std::span<const uint8_t> file, StateFile& out, std::string& error) {
  if (file.size() >= 8 && std::memcmp(file.data(), kStateMagic, 8) != 0) {
    error = kStateNotAState;
    return false;
  }
  if (file.size() < kHeaderSize + kChecksumSize) {
    error = kStateTruncated;
    return false;
  }
  const uint8_t* h = file.data();
  const uint32_t version = Get32(h + 8);
  const uint64_t rawSize = Get64(h + 12 + kVersionText);
  const uint64_t packedSize = Get32(h + 20 + kVersionText);
  const uint64_t thumbSize = Get32(h + 24 + kVersionText);
  if (kHeaderSize + thumbSize + packedSize + kChecksumSize > file.size()) {
    error = kStateTruncated;
    return false;
  }
  if (kHeaderSize + thumbSize + packedSize + kChecksumSize < file.size()) {
    error = StateDamaged("bytes after its end");
    return false;
  }
  const size_t body = file.size() - kChecksumSize;
  if (Crc32(file.data(), body) != Get32(file.data() + body)) {
    error = kStateBadChecksum;
    return false;
  }
  if (version > kStateFormatVersion) {
    error = Format(kStateNewer, version);
    return false;
  }
  if (rawSize > kMaxPayload) {
    error = StateDamaged("size");
    return false;
  }
  out.version = version;
  out.thumbnail.assign(h + kHeaderSize, h + kHeaderSize + thumbSize);
  out.payload.resize(rawSize);
  const size_t unpacked = ZSTD_decompress(out.payload.data(), out.payload.size(),
                                          h + kHeaderSize + thumbSize, packedSize);
  if (ZSTD_isError(unpacked) || unpacked != rawSize) {
    error = StateDamaged("its sections cannot be unpacked");
    return false;
  }
  for (uint32_t v = version; v < kStateFormatVersion; ++v) {
    const Converter* convert = ConverterFrom(v);
    if (!convert || !(*convert)(out.payload)) {
      error = Format(kStateOldUnknown, version);
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> StateThumbnail(std::span<const uint8_t> file) {
  if (file.size() < kHeaderSize || std::memcmp(file.data(), kStateMagic, 8) != 0) return {};
  const uint64_t thumbSize = Get32(file.data() + 24 + kVersionText);
  if (kHeaderSize + thumbSize > file.size()) return {};
  return {file.begin() + kHeaderSize, file.begin() + kHeaderSize + static_cast<ptrdiff_t>(thumbSize)};
}

}  // namespace kestra
