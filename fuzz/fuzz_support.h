// Shared by the fuzz targets: a machine with quiet host services, a scratch
// directory, a reader that takes the input apart, and a check that stops the
// run loudly (also in release builds, where assert is gone).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/machine.h"
#include "sound/host_audio.h"
#include "video/headless_display.h"

namespace kestra::fuzz {

// Message boxes are counted, not shown.
class CountedMessages final : public MessageService {
 public:
  void ShowMessage(const std::string&, const std::string& text, MessageIcon) override {
    ++count;
    last = text;
  }
  int count = 0;
  std::string last;
};

// One machine per process, as the program has: an open display and sound
// layer (offline mixer), messages counted.
struct FuzzMachine {
  FuzzMachine();
  Machine& operator*() { return *machine; }
  Machine* operator->() { return machine.get(); }
  std::unique_ptr<Machine> machine;
  CountedMessages messages;
  OfflineAudio audio;
  HeadlessDisplay display;
};

// A directory for the target's files, made once per process (in /dev/shm
// when there is one, so the loader reads from memory).
const std::string& ScratchDir();

void WriteFile(const std::string& path, const uint8_t* data, size_t size);
std::vector<uint8_t> ReadFile(const std::string& path);  // empty when missing
// Removes whatever is at path: file, link or directory tree.
void RemovePath(const std::string& path);

// Takes the input apart front to back; past the end it yields zeros.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Word() {
    const uint8_t lo = Byte();
    return static_cast<uint16_t>(lo | Byte() << 8);
  }
  size_t left() const { return size_ - pos_; }
  const uint8_t* here() const { return data_ + pos_; }
  void Skip(size_t n) { pos_ += n < left() ? n : left(); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Loads a one-bank image of 0xFF bytes (ROM size code 1: eight banks
// declared, the loader reads the one the file has) with the given save type
// and no save file; each kind of image is written to the scratch directory
// once per process.
void LoadTestCartridge(FuzzMachine& fm, uint8_t saveType, bool colour);
void WriteTestImage(const std::string& path, uint8_t saveType, bool colour);

// Every bank entry points at memory the machine owns.
void CheckMemoryMap(const Machine& m);

[[noreturn]] void Fail(const char* file, int line, const char* what);

}  // namespace kestra::fuzz

#define FUZZ_CHECK(cond) \
  ((cond) ? static_cast<void>(0) : ::kestra::fuzz::Fail(__FILE__, __LINE__, #cond))
