// Cartridge images and save files from anywhere through ParseImage, LoadCartridge and
// UnloadCartridge. Whatever the files hold, a load either succeeds with a
// sound memory map or fails with a message, and the save memory that goes in
// comes out again unchanged.
//
// Input: byte 0 flags (bits 0-1 what lies at the save path: nothing, the
// save bytes, a directory, a link to the save bytes kept elsewhere; bit 2
// Verbose; bit 3 an image name without a dot); byte 1 the image's leading
// zeros in 32 KB units (mod 40), byte 2 more zeros in 16-byte units;
// bytes 3-4 the length of the save bytes; the save bytes; the image's tail.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "core/cartridge.h"
#include "system/loader.h"
#include "fuzz_support.h"

using namespace kestra;
using namespace kestra::fuzz;

namespace {

enum SaveKind { kNoSave, kSaveFile, kSaveDirectory, kSaveLink };

void WriteImage(const std::string& path, size_t zeros, const uint8_t* tail, size_t tailSize) {
  WriteFile(path, nullptr, 0);
  // The leading zeros as a hole: the loader reads them like written bytes.
  FUZZ_CHECK(truncate(path.c_str(), static_cast<off_t>(zeros)) == 0);
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  FUZZ_CHECK(f != nullptr);
  std::fseek(f, 0, SEEK_END);
  FUZZ_CHECK(std::fwrite(tail, 1, tailSize, f) == tailSize);
  std::fclose(f);
}

// The parser alone, on the whole input as an image in memory: the banks it
// places lie inside the image.
void CheckParser(const uint8_t* data, size_t size) {
  ImageInfo info;
  if (ParseImage({data, size}, size, info) != nullptr) return;
  FUZZ_CHECK(info.loadBanks >= 1 && info.loadBanks <= kMaxRomBanks);
  FUZZ_CHECK(static_cast<size_t>(info.loadBanks) * kPageSize <= size);
  FUZZ_CHECK(ImageBank({data, size}, info, 0).data() >= data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzMachine fm;
  Machine& m = *fm;
  CheckParser(data, size);
  Reader in(data, size);
  const uint8_t flags = in.Byte();
  // One read per statement: the order of reads inside an expression is the
  // compiler's choice, and the corpus must mean the same to g++ and clang.
  const size_t banks = in.Byte() % 40;
  const size_t zeros = banks * 0x8000u + in.Byte() * 16u;
  const uint16_t declaredSave = in.Word();
  const size_t saveLength = std::min<size_t>(declaredSave, in.left());
  const std::vector<uint8_t> save(in.here(), in.here() + saveLength);
  in.Skip(saveLength);

  const std::string& dir = ScratchDir();
  const std::string image = dir + ((flags & 8) ? "/game" : "/game.wsc");
  const std::string savePath = SaveFilePathFor(image);
  const std::string linkTarget = dir + "/elsewhere.sav";
  RemovePath(savePath);
  RemovePath(savePath + ".tmp");
  RemovePath(linkTarget);
  WriteImage(image, zeros, in.here(), in.left());

  const SaveKind kind = static_cast<SaveKind>(flags & 3);
  switch (kind) {
    case kNoSave:
      break;
    case kSaveFile:
      WriteFile(savePath, save.data(), save.size());
      break;
    case kSaveDirectory:
      std::filesystem::create_directory(savePath);
      break;
    case kSaveLink:
      WriteFile(linkTarget, save.data(), save.size());
      std::filesystem::create_symlink(linkTarget, savePath);
      break;
  }

  m.settings.Verbose = (flags & 4) ? 1 : 0;
  fm.messages.count = 0;
  const int result = LoadCartridge(m, image);
  FUZZ_CHECK(result == 0 || result == -1);
  CheckMemoryMap(m);
  if (result != 0) {
    // A failed load leaves no cartridge behind and says why.
    FUZZ_CHECK(fm.messages.count > 0);
    FUZZ_CHECK(m.cart.SaveFilePath.empty());
    FUZZ_CHECK(m.cart.RomBankCount == 0 && m.cart.SaveBankCount == 0);
    UnloadCartridge(m);
    return 0;
  }

  const size_t bytes = static_cast<size_t>(m.cart.SaveBankCount) * m.cart.SaveBankSize;
  FUZZ_CHECK(m.cart.RomBankCount >= 8 && m.cart.RomBankCount <= 256);
  FUZZ_CHECK(bytes == 0 || m.cart.SaveFilePath == savePath);
  // A save that the load accepted is at least as long as the save memory,
  // and a directory in its place is not accepted.
  const bool hadSave = kind == kSaveFile || kind == kSaveLink;
  FUZZ_CHECK(kind != kSaveDirectory || bytes == 0);
  if (hadSave && bytes != 0) FUZZ_CHECK(save.size() >= bytes);
  std::vector<uint8_t> expected(bytes, 0);
  if (hadSave && bytes != 0) std::copy(save.begin(), save.begin() + bytes, expected.begin());

  fm.messages.count = 0;
  UnloadCartridge(m);
  FUZZ_CHECK(m.cart.RomBankCount == 0);
  CheckMemoryMap(m);
  if (bytes == 0) return 0;
  FUZZ_CHECK(fm.messages.count == 0);
  // The save memory went out as it came in, to the file the link names.
  const std::string written = kind == kSaveLink ? linkTarget : savePath;
  FUZZ_CHECK(ReadFile(written) == expected);
  if (kind == kSaveLink) FUZZ_CHECK(std::filesystem::is_symlink(savePath));
  FUZZ_CHECK(!std::filesystem::exists(savePath + ".tmp"));
  return 0;
}
