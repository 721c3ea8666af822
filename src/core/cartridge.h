// Cartridge images: the footer, the banks an image holds and the save memory
// it asks for, read from the image's bytes alone (ParseImage), and the
// loaded cartridge's pages. Files and the machine's reset are the loader's
// (system/loader.h).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kestra {

struct Machine;

constexpr int kFooterSize = 10;
constexpr int kMaxRomBanks = 256;

struct SaveType {
  int banks = 0;
  int size = 0;
  bool eeprom = false;
};

// What an image says of itself and where its banks go.
struct ImageInfo {
  uint8_t footer[kFooterSize] = {};
  int romBanks = 0;   // the footer's count
  int loadBanks = 0;  // whole banks taken from the end of the image
  SaveType save;
  bool vertical = false;
  bool checksumMatches = false;  // over the loaded banks and the footer
  bool sram256k = false;         // a title known to need 256 Kbit SRAM
};

// Checks an image held in memory: the tail of the file at least up to
// kMaxRomBanks banks, and the whole file's size. Null on success, else the
// loader's message.
const char* ParseImage(std::span<const uint8_t> tail, uint64_t fileSize, ImageInfo& info);

// The bytes of loaded bank i (0 = the lowest loaded) within the tail.
std::span<const uint8_t> ImageBank(std::span<const uint8_t> tail, const ImageInfo& info, int i);

struct CartridgeState {
  int RomBankCount = 0;
  int LoadedRomBanks = 0;        // the whole banks held, the last at ROM bank 255
  int SaveBankCount = 0;
  int SaveBankSize = 0;
  bool SaveIsEeprom = false;
  bool Vertical = false;         // footer byte 6, bit 0
  uint8_t Footer[kFooterSize] = {};
  uint64_t RomHash = 0;          // of the loaded banks: a save state names its cartridge by it
  std::string SaveFilePath;      // empty when the cartridge has no save memory
  std::unique_ptr<uint8_t[]> romPages;   // the whole banks the image holds (at most RomBankCount)
  std::unique_ptr<uint8_t[]> savePages;  // SaveBankCount pages, owned here
};

// Messages of the loader (caption "ｴﾗｰ" unless noted).
inline constexpr const char* kCaptionError = "ｴﾗｰ";
inline constexpr const char* kCaptionWarning = "警告";
inline constexpr const char* kMsgFileNotFound = "ﾌｧｲﾙが見つかりません";
inline constexpr const char* kMsgCannotRead = "ﾌｧｲﾙを読めません";
inline constexpr const char* kMsgBadRomSize = "ROMﾊﾞﾝｸ数が不正です";
inline constexpr const char* kMsgNoMemory = "ﾒﾓﾘが足りません";
inline constexpr const char* kMsgChecksum = "ｻﾑﾁｪｯｸｴﾗｰ";
inline constexpr const char* kMsgBadSave = "ｾｰﾌﾞﾌｧｲﾙが異常";
inline constexpr const char* kMsgSaveWriteFailed = "ｾｰﾌﾞﾌｧｲﾙを書き込めません";
inline constexpr const char* kMsgSram256k = "256k SRAMに変更します";  // caption 警告

// The save file's path for an image path: the extension (a '.' and at most
// three characters after it, within the file name) becomes ".sav".
std::string SaveFilePathFor(const std::string& imagePath);

}  // namespace kestra
