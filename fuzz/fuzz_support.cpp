#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "core/cartridge.h"
#include "system/loader.h"
#include "system/console.h"
#include "video/display.h"

namespace kestra::fuzz {

FuzzMachine::FuzzMachine() : machine(CreateMachine()) {
  machine->host.messages = &messages;
  machine->host.display = &display;
  machine->host.audio = &audio;
  OpenDisplay(*machine);
  OpenSound(*machine);
}

namespace {
std::string MakeScratchDir() {
  std::error_code ec;
  std::filesystem::path base = "/dev/shm";
  if (!std::filesystem::is_directory(base, ec) || access(base.c_str(), W_OK) != 0) {
    base = std::filesystem::temp_directory_path();
  }
  std::string pattern = (base / "kestra-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) Fail(__FILE__, __LINE__, "mkdtemp");
  return pattern;
}
}  // namespace

const std::string& ScratchDir() {
  // Left behind only when a run dies; the name says whose it is.
  static const std::string dir = MakeScratchDir();
  static const bool cleanUp = std::atexit([] { RemovePath(dir); }) == 0;
  (void)cleanUp;
  return dir;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) Fail(__FILE__, __LINE__, "cannot create a scratch file");
  if (size != 0 && std::fwrite(data, 1, size, f) != size) Fail(__FILE__, __LINE__, "short write");
  std::fclose(f);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void RemovePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

void LoadTestCartridge(FuzzMachine& fm, uint8_t saveType, bool colour) {
  const std::string path =
      ScratchDir() + "/test-" + std::to_string(saveType) + (colour ? ".wsc" : ".ws");
  const std::string save = SaveFilePathFor(path);
  // A stale save of an earlier input must not leak into this one.
  RemovePath(save);
  static std::vector<std::string> written;
  if (std::find(written.begin(), written.end(), path) == written.end()) {
    WriteTestImage(path, saveType, colour);
    written.push_back(path);
  }
  FUZZ_CHECK(LoadCartridge(*fm, path) == 0);
}

void WriteTestImage(const std::string& path, uint8_t saveType, bool colour) {
  std::vector<uint8_t> image(0x10000, 0xFF);
  uint8_t* tail = image.data() + image.size() - 16;
  const uint8_t jump[5] = {0xEA, 0x00, 0x00, 0x00, 0xF0};
  std::copy(jump, jump + 5, tail);
  tail[5] = 0;
  const uint8_t footer[10] = {0, static_cast<uint8_t>(colour), 0, 0, 1, saveType, 0, 0, 0, 0};
  std::copy(footer, footer + 10, tail + 6);
  WriteFile(path, image.data(), image.size());
}

void CheckMemoryMap(const Machine& m) {
  const auto owned = [&m](const uint8_t* page) {
    if (page == m.mem.Iram || page == m.mem.FillPage) return true;
    const uint8_t* rom = m.cart.romPages.get();
    if (rom && page >= rom && page < rom + 256 * static_cast<size_t>(kPageSize) &&
        (page - rom) % kPageSize == 0) {
      return true;
    }
    const uint8_t* save = m.cart.savePages.get();
    return save && page >= save && page < save + m.cart.SaveBankCount * static_cast<size_t>(kPageSize) &&
           (page - save) % kPageSize == 0;
  };
  for (const uint8_t* page : m.map.BankReadTable) FUZZ_CHECK(owned(page));
  for (const uint8_t* page : m.map.RomBankTable) FUZZ_CHECK(owned(page));
  FUZZ_CHECK(m.map.BankReadTable[0] == m.mem.Iram);
}

void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace kestra::fuzz
