#include "system/loader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <vector>

#include <sys/stat.h>

#include "base/files.h"
#include "core/machine.h"
#include "system/console.h"

namespace kestra {

namespace {

struct File {
  std::FILE* f = nullptr;
  explicit File(std::FILE* file) : f(file) {}
  ~File() {
    if (f) std::fclose(f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

int Fail(Machine& m, const char* text) {
  ShowMessage(m, kCaptionError, text);
  return -1;
}

// Drops the pages of the current cartridge without writing anything.
void ReleasePages(Machine& m) {
  CartridgeState& cart = m.cart;
  cart.romPages.reset();
  cart.savePages.reset();
  cart.RomBankCount = cart.LoadedRomBanks = cart.SaveBankCount = cart.SaveBankSize = 0;
  cart.SaveIsEeprom = false;
  cart.SaveFilePath.clear();
  cart.RomHash = 0;
  for (auto& e : m.map.RomBankTable) e = m.mem.FillPage;
  for (auto& e : m.map.SaveBankTable) e = m.mem.FillPage;
  for (int b = 1; b < 16; ++b) m.map.BankReadTable[b] = m.mem.FillPage;
  m.map.CartEepromStore = nullptr;
  m.mem.SaveBankMapped = -1;
}

// The save banks in order, the first SaveBankSize bytes of each, through a
// temporary file renamed over the old save.
bool WriteSaveFile(const Machine& m, const std::string& path) {
  std::vector<std::span<const uint8_t>> banks;
  for (int i = 0; i < m.cart.SaveBankCount; ++i) {
    banks.emplace_back(m.map.SaveBankTable[i], static_cast<size_t>(m.cart.SaveBankSize));
  }
  return ReplaceFile(path, banks);
}

uint64_t HashBytes(const uint8_t* bytes, size_t size) {
  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
  for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
  return h;
}

// Only a missing file starts a new save. Anything else that cannot be read is
// refused now, not overwritten at unload: a directory or a FIFO could never
// take the save back, a save without permission would be replaced by an
// empty one, and so would an image named like its own save (game.sav).
int ReadSaveFile(Machine& m, const std::string& savePath, const std::string& imagePath) {
  File sav(nullptr);
  const OpenResult opened = OpenRegularFile(savePath, sav.f);
  std::error_code ec;
  if ((opened != OpenResult::Opened && opened != OpenResult::Missing) ||
      (!imagePath.empty() && std::filesystem::equivalent(savePath, imagePath, ec))) {
    return -1;
  }
  if (sav.f) {
    for (int i = 0; i < m.cart.SaveBankCount; ++i) {
      const size_t size = static_cast<size_t>(m.cart.SaveBankSize);
      if (std::fread(m.map.SaveBankTable[i], 1, size, sav.f) != size) return -1;
    }
  }
  return 0;
}

int Insert(Machine& m, std::span<const uint8_t> tail, uint64_t fileSize,
           const std::string& savePath, const std::string& imagePath) {
  ImageInfo info;
  if (const char* error = ParseImage(tail, fileSize, info)) return Fail(m, error);
  if (info.sram256k && m.settings.verbose()) ShowMessage(m, kCaptionWarning, kMsgSram256k);

  CartridgeState& cart = m.cart;
  try {
    cart.romPages.reset(new uint8_t[static_cast<size_t>(info.loadBanks) * kPageSize]);
    if (info.save.banks > 0) {
      cart.savePages.reset(new uint8_t[static_cast<size_t>(info.save.banks) * kPageSize]());
    }
  } catch (const std::bad_alloc&) {
    ReleasePages(m);
    return Fail(m, kMsgNoMemory);
  }
  for (int i = 0; i < info.loadBanks; ++i) {
    const std::span<const uint8_t> bank = ImageBank(tail, info, i);
    std::copy(bank.begin(), bank.end(), cart.romPages.get() + static_cast<size_t>(i) * kPageSize);
  }
  cart.RomBankCount = info.romBanks;
  cart.LoadedRomBanks = info.loadBanks;
  cart.SaveBankCount = info.save.banks;
  cart.SaveBankSize = info.save.size;
  cart.SaveIsEeprom = info.save.eeprom;
  cart.Vertical = info.vertical;
  std::copy_n(info.footer, kFooterSize, cart.Footer);
  cart.RomHash = HashBytes(cart.romPages.get(), static_cast<size_t>(info.loadBanks) * kPageSize);
  RebuildMemoryMap(m);

  if (!info.checksumMatches && m.settings.verbose()) ShowMessage(m, kCaptionError, kMsgChecksum);

  if (info.save.size != 0 && !savePath.empty()) {
    if (ReadSaveFile(m, savePath, imagePath) != 0) {
      ReleasePages(m);
      return Fail(m, kMsgBadSave);
    }
    cart.SaveFilePath = savePath;
  }

  ResetMachine(m);
  if (m.host.frontEnd) m.host.frontEnd->LayoutForCartridge(cart.Vertical);
  return 0;
}

// A cartridge still mapped is dropped unsaved: the front end unloads first.
void ClearForLoad(Machine& m) {
  ReleasePages(m);
  ClearMemoryMap(m);
  std::fill(std::begin(m.io.IoPorts), std::end(m.io.IoPorts), 0);
}

}  // namespace

int LoadCartridge(Machine& m, const std::string& imagePath) {
  ClearForLoad(m);

  // Only a regular file is read: a FIFO or a device could block or never end.
  File image(nullptr);
  const OpenResult opened = OpenRegularFile(imagePath, image.f);
  struct stat st {};
  if (!image.f || fstat(fileno(image.f), &st) != 0) {
    return Fail(m, opened == OpenResult::NotRegular ? kMsgCannotRead : kMsgFileNotFound);
  }
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  // At most the banks that can be mapped, and the footer, from the end.
  const uint64_t tailSize = std::min<uint64_t>(fileSize, uint64_t{kMaxRomBanks} * kPageSize);
  std::vector<uint8_t> tail;
  try {
    tail.resize(tailSize);
  } catch (const std::bad_alloc&) {
    return Fail(m, kMsgNoMemory);
  }
  if (tailSize < kFooterSize ||
      std::fseek(image.f, -static_cast<long>(tailSize), SEEK_END) != 0 ||
      std::fread(tail.data(), 1, tail.size(), image.f) != tail.size()) {
    return Fail(m, kMsgCannotRead);
  }
  std::fclose(image.f);
  image.f = nullptr;
  return Insert(m, tail, fileSize, SaveFilePathFor(imagePath), imagePath);
}

int LoadCartridgeImage(Machine& m, std::span<const uint8_t> image, const std::string& savePath) {
  ClearForLoad(m);
  const size_t tailSize = std::min<size_t>(image.size(), size_t{kMaxRomBanks} * kPageSize);
  return Insert(m, image.last(tailSize), image.size(), savePath, std::string());
}

void UnloadCartridge(Machine& m) {
  StopBuffer(m, kVoiceBuffer);
  if (!m.cart.SaveFilePath.empty() && m.cart.SaveBankCount > 0) {
    if (!WriteSaveFile(m, m.cart.SaveFilePath)) ShowMessage(m, kCaptionError, kMsgSaveWriteFailed);
  }
  ReleasePages(m);
}

}  // namespace kestra
