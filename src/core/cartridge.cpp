#include "core/cartridge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/machine.h"
#include "core/ports.h"

namespace kestra {

namespace {

constexpr int kFooterSize = 10;

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

struct SaveType {
  int banks;
  int size;
  bool eeprom;
};

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

struct File {
  std::FILE* f = nullptr;
  explicit File(std::FILE* file) : f(file) {}
  ~File() {
    if (f) std::fclose(f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

void Fail(Machine& m, const char* text) { ShowMessage(m, kCaptionError, text); }

// Drops the pages of the current cartridge without writing anything.
void ReleasePages(Machine& m) {
  for (auto& e : m.mem.RomBankTable) e = m.mem.FillPage;
  for (auto& e : m.mem.SaveBankTable) e = m.mem.FillPage;
  for (int b = 1; b < 16; ++b) m.mem.BankReadTable[b] = m.mem.FillPage;
  m.eeprom.CartEeprom.store = nullptr;
  m.cart.romPages.reset();
  m.cart.savePages.reset();
  m.cart.RomBankCount = m.cart.SaveBankCount = m.cart.SaveBankSize = 0;
  m.cart.SaveIsEeprom = false;
  m.cart.SaveFilePath.clear();
}

// The save banks in order, the first SaveBankSize bytes of each, through a
// temporary file renamed over the old save.
bool WriteSaveFile(const Machine& m, const std::string& path) {
  std::vector<std::span<const uint8_t>> banks;
  for (int i = 0; i < m.cart.SaveBankCount; ++i) {
    banks.emplace_back(m.mem.SaveBankTable[i], static_cast<size_t>(m.cart.SaveBankSize));
  }
  return ReplaceFile(path, banks);
}

}  // namespace

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

int LoadCartridge(Machine& m, const std::string& imagePath) {
  // A cartridge still mapped is dropped unsaved: the front end unloads first.
  ReleasePages(m);
  ClearMemoryMap(m);
  std::memset(m.io.IoPorts, 0, sizeof m.io.IoPorts);

  // Only a regular file is read: a FIFO or a device could block or never end.
  File image(nullptr);
  const OpenResult opened = OpenRegularFile(imagePath, image.f);
  struct stat st {};
  if (!image.f || fstat(fileno(image.f), &st) != 0) {
    Fail(m, opened == OpenResult::NotRegular ? kMsgCannotRead : kMsgFileNotFound);
    return -1;
  }
  const long long fileSize = st.st_size;

  uint8_t footer[kFooterSize];
  if (fileSize < kFooterSize || std::fseek(image.f, -kFooterSize, SEEK_END) != 0 ||
      std::fread(footer, 1, kFooterSize, image.f) != kFooterSize) {
    Fail(m, kMsgCannotRead);
    return -1;
  }

  const int romBanks = RomBanksForCode(footer[4]);
  if (romBanks == 0) {
    Fail(m, kMsgBadRomSize);
    return -1;
  }

  SaveType save = SaveTypeForCode(footer[5]);
  if (footer[0] == 1 && footer[2] == 22) {
    if (m.settings.verbose()) ShowMessage(m, kCaptionWarning, kMsgSram256k);
    save = {1, 32768, false};
  }

  // A short image loads the whole banks it has, its last 64 KB as bank 255
  // downwards; the banks it lacks stay FillPage.
  const int loadBanks =
      static_cast<int>(std::min<long long>(romBanks, fileSize / static_cast<long long>(kPageSize)));
  if (loadBanks == 0) {
    Fail(m, kMsgCannotRead);
    return -1;
  }

  try {
    m.cart.romPages.reset(new uint8_t[static_cast<size_t>(loadBanks) * kPageSize]);
  } catch (const std::bad_alloc&) {
    Fail(m, kMsgNoMemory);
    return -1;
  }

  uint32_t check = (footer[9] << 8 | footer[8]) + footer[8] + footer[9];
  for (int i = loadBanks - 1; i >= 0; --i) {
    uint8_t* page = m.cart.romPages.get() + static_cast<size_t>(i) * kPageSize;
    const long long offset = static_cast<long long>(i - loadBanks) * kPageSize;
    if (std::fseek(image.f, static_cast<long>(offset), SEEK_END) != 0 ||
        std::fread(page, 1, kPageSize, image.f) != kPageSize) {
      ReleasePages(m);
      Fail(m, kMsgCannotRead);
      return -1;
    }
    m.mem.RomBankTable[256 - loadBanks + i] = page;
    for (uint32_t k = 0; k < kPageSize; ++k) check -= page[k];
  }
  m.cart.RomBankCount = romBanks;
  std::fclose(image.f);
  image.f = nullptr;

  if ((check & 0xFFFF) != 0 && m.settings.verbose()) ShowMessage(m, kCaptionError, kMsgChecksum);

  if (save.banks > 0) {
    try {
      m.cart.savePages.reset(new uint8_t[static_cast<size_t>(save.banks) * kPageSize]());
    } catch (const std::bad_alloc&) {
      ReleasePages(m);
      Fail(m, kMsgNoMemory);
      return -1;
    }
    for (int i = 0; i < save.banks; ++i) {
      m.mem.SaveBankTable[i] = m.cart.savePages.get() + static_cast<size_t>(i) * kPageSize;
    }
  }
  m.cart.SaveBankCount = save.banks;
  m.cart.SaveBankSize = save.size;
  m.cart.SaveIsEeprom = save.eeprom;

  if (save.size != 0) {
    const std::string savePath = SaveFilePathFor(imagePath);
    // Only a missing file starts a new save. Anything else that cannot be
    // read is refused now, not overwritten at unload: a directory or a FIFO
    // could never take the save back, a save without permission would be
    // replaced by an empty one, and so would an image named like its own
    // save (game.sav).
    File sav(nullptr);
    const OpenResult saveOpened = OpenRegularFile(savePath, sav.f);
    std::error_code ec;
    if ((saveOpened != OpenResult::Opened && saveOpened != OpenResult::Missing) ||
        std::filesystem::equivalent(savePath, imagePath, ec)) {
      ReleasePages(m);
      Fail(m, kMsgBadSave);
      return -1;
    }
    if (sav.f) {
      for (int i = 0; i < save.banks; ++i) {
        if (std::fread(m.mem.SaveBankTable[i], 1, save.size, sav.f) !=
            static_cast<size_t>(save.size)) {
          ReleasePages(m);
          Fail(m, kMsgBadSave);
          return -1;
        }
      }
    }
    m.cart.SaveFilePath = savePath;
  } else {
    m.cart.SaveFilePath.clear();
  }

  m.cart.Vertical = (footer[6] & 0x01) != 0;
  ResetMachine(m);
  if (m.host.frontEnd) m.host.frontEnd->LayoutForCartridge(m.cart.Vertical);
  return 0;
}

void UnloadCartridge(Machine& m) {
  StopBuffer(m, 4);
  if (!m.cart.SaveFilePath.empty() && m.cart.SaveBankCount > 0) {
    if (!WriteSaveFile(m, m.cart.SaveFilePath)) ShowMessage(m, kCaptionError, kMsgSaveWriteFailed);
  }
  ReleasePages(m);
}

}  // namespace kestra
