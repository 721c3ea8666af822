// The state file: a header (magic, format version, the emulator's version),
// the cartridge's identity, sections by chip each with its length, and a
// CRC-32 over the whole. The sections are compressed with zstd; a PNG of the
// last frame travels beside them for menus that show it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestra {

inline constexpr char kStateMagic[8] = {'K', 'E', 'S', 'T', 'R', 'A', 'S', 'T'};
constexpr uint32_t kStateFormatVersion = 1;

// Why a state was refused.
inline constexpr const char* kStateTruncated = "the state file is cut short";
inline constexpr const char* kStateNotAState = "the file is not a Kestra state";
inline constexpr const char* kStateBadChecksum = "the state file is damaged (bad checksum)";
inline constexpr const char* kStateNewer = "the state was saved by a newer Kestra (format version %u)";
inline constexpr const char* kStateOldUnknown = "the state's format version %u can no longer be read";
inline constexpr const char* kStateOtherCartridge = "the state belongs to another cartridge";
inline constexpr const char* kStateNoCartridge = "no cartridge is loaded";
inline constexpr const char* kStateOutOfRange = "the state holds a value out of range";
// "the state file is damaged (what)"
std::string StateDamaged(const std::string& what);

// The parts of a state file once its header and checksum have been checked.
struct StateFile {
  uint32_t version = 0;
  std::vector<uint8_t> payload;    // the raw sections, uncompressed
  std::vector<uint8_t> thumbnail;  // PNG, may be empty
};

// Builds a state file from the raw payload and a thumbnail.
std::vector<uint8_t> EncodeStateFile(std::span<const uint8_t> payload,
                                     std::span<const uint8_t> thumbnail);
// Checks and unpacks a state file (older versions through the converters):
// false with `error` set.
bool DecodeStateFile(std::span<const uint8_t> file, StateFile& out, std::string& error);

// The thumbnail of a state file without unpacking the rest (empty if none).
std::vector<uint8_t> StateThumbnail(std::span<const uint8_t> file);

}  // namespace kestra
