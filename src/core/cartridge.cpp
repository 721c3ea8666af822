#include "core/cartridge.h"

#include <algorithm>

#include "core/memory.h"

namespace kestra {

namespace {

int RomBanksForCode(uint8_t code) {
  switch (code) {
    case 1:
    case 2:
      return 8;
    case 3:
      return 16;
    case 4:
      return 32;
    case 6:
      return 64;
    case 8:
      return 128;
    case 9:
      return 256;
    default:
      return 0;
  }
}

SaveType SaveTypeForCode(uint8_t code) {
  switch (code) {
    case 0x01:
      return {1, 8192, false};
    case 0x02:
      return {1, 32768, false};
    case 0x10:
      return {1, 128, true};
    case 0x20:
      return {1, 2048, true};
    default:
      return {0, 0, false};
  }
}

}  // namespace

const char* ParseImage(std::span<const uint8_t> tail, uint64_t fileSize, ImageInfo& info) {
  info = ImageInfo{};
  if (fileSize < kFooterSize || tail.size() < kFooterSize || tail.size() > fileSize) {
    return kMsgCannotRead;
  }
  std::copy_n(tail.end() - kFooterSize, kFooterSize, info.footer);
  const uint8_t* footer = info.footer;

  info.romBanks = RomBanksForCode(footer[4]);
  if (info.romBanks == 0) return kMsgBadRomSize;

  info.save = SaveTypeForCode(footer[5]);
  if (footer[0] == 1 && footer[2] == 22) {
    info.sram256k = true;
    info.save = {1, 32768, false};
  }

  // A short image loads the whole banks it has, its last 64 KB as bank 255
  // downwards; the banks it lacks stay FillPage. A longer one than its
  // footer says loads every whole bank it holds: home-made images often
  // declare less than they use.
  const uint64_t wholeBanks = fileSize / kPageSize;
  const uint64_t held = std::min<uint64_t>(wholeBanks, tail.size() / kPageSize);
  info.loadBanks = static_cast<int>(std::min<uint64_t>(
      held, std::max<uint64_t>(info.romBanks, std::min<uint64_t>(wholeBanks, kMaxRomBanks))));
  if (info.loadBanks == 0) return kMsgCannotRead;

  uint32_t check = (footer[9] << 8 | footer[8]) + footer[8] + footer[9];
  for (int i = 0; i < info.loadBanks; ++i) {
    for (uint8_t b : ImageBank(tail, info, i)) check -= b;
  }
  info.checksumMatches = (check & 0xFFFF) == 0;
  info.vertical = (footer[6] & 0x01) != 0;
  return nullptr;
}

std::span<const uint8_t> ImageBank(std::span<const uint8_t> tail, const ImageInfo& info, int i) {
  const size_t offset = tail.size() - static_cast<size_t>(info.loadBanks - i) * kPageSize;
  return tail.subspan(offset, kPageSize);
}

std::string SaveFilePathFor(const std::string& imagePath) {
  // Only a '.' inside the file name counts: one in a directory name must not
  // move the save into another directory.
  const size_t slash = imagePath.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = imagePath.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return imagePath + ".sav";
  std::string path = imagePath;
  path.erase(dot, std::min<size_t>(4, path.size() - dot));
  return path + ".sav";
}

}  // namespace kestra
