// Shared helpers of the test suites: a fresh machine with captured message
// boxes, temporary directories, and cartridge images built in memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/machine.h"
#include "sound/host_audio.h"
#include "video/headless_display.h"

namespace kestra::test {

struct Message {
  std::string caption;
  std::string text;
  MessageIcon icon;
};

class CapturedMessages final : public MessageService {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override {
    messages.push_back({caption, text, icon});
  }
  std::vector<std::string> texts() const;
  std::vector<Message> messages;
};

// A machine whose message boxes are captured instead of printed.
// Like the program, it has a sound device (the offline mixer, opened), so
// Verbose runs see no "no back buffer" boxes; NoSound leaves it without one.
// It also has an open in-memory display output (32-bit XRGB), as the
// program has one from its start.
struct TestMachine {
  enum Sound { OfflineSound, NoSound };
  explicit TestMachine(Sound sound = OfflineSound);
  Machine& operator*() { return *machine; }
  Machine* operator->() { return machine.get(); }
  std::unique_ptr<Machine> machine;
  CapturedMessages messages;
  OfflineAudio audio;
  HeadlessDisplay display;
};

// A directory removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct Footer {
  uint8_t developer = 0;
  uint8_t colour = 0;
  uint8_t game = 0;
  uint8_t version = 0;
  uint8_t romSizeCode = 1;
  uint8_t saveTypeCode = 0;
  uint8_t flags = 0;
};

// An image of `banks` 64 KB banks: bank i (0 = first in the file) is filled
// with the byte i + 1, the last bank ends in a jump to 0xF000:0000 and the
// footer; the checksum is right unless `badChecksum`.
std::vector<uint8_t> MakeImage(int banks, const Footer& footer, bool badChecksum = false);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);

// kestra-headless run as a separate program: its exit status (-1 when it was
// killed or could not start) and what it wrote to stderr.
struct ProgramRun {
  int status = -1;
  std::string err;
};
// A run that outlives `timeout` is killed: a broken CPU can leave a cartridge
// looping for ever.
ProgramRun RunHeadless(const std::vector<std::string>& args,
                       std::chrono::seconds timeout = std::chrono::seconds(120));
// The same with the arguments in one string, separated by spaces.
ProgramRun RunHeadlessLine(const std::string& args);

std::string RomPath(const std::string& name);         // a cartridge of ours
std::string ThirdPartyPath(const std::string& name);  // an image written by others

}  // namespace kestra::test
