// Cartridge images and save memory: LoadCartridge reads the banks from the
// end of the image, decides the save memory from the footer, loads the .sav
// file and resets the machine; UnloadCartridge writes the save file back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kestra {

struct Machine;

struct CartridgeState {
  int RomBankCount = 0;
  int SaveBankCount = 0;
  int SaveBankSize = 0;
  bool SaveIsEeprom = false;
  bool Vertical = false;         // footer byte 6, bit 0
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

// 0 on success (machine reset and ready to run), -1 after a reported failure.
int LoadCartridge(Machine& m, const std::string& imagePath);

// Writes the save file (through a temporary file renamed over the old one)
// and releases the save and ROM pages. Harmless without a cartridge.
void UnloadCartridge(Machine& m);

// The save file's path for an image path: the extension (a '.' and at most
// three characters after it, within the file name) becomes ".sav".
std::string SaveFilePathFor(const std::string& imagePath);

}  // namespace kestra
