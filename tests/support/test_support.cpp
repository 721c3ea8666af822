#include "support/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <thread>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "system/console.h"

extern char** environ;

namespace kestra::test {

std::vector<std::string> CapturedMessages::texts() const {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}

TestMachine::TestMachine(Sound sound) : machine(CreateMachine()) {
  machine->host.messages = &messages;
  machine->host.display = &display;
  OpenDisplay(*machine);
  if (sound == OfflineSound) {
    machine->host.audio = &audio;
    OpenSound(*machine);
  }
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestra-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> MakeImage(int banks, const Footer& f, bool badChecksum) {
  std::vector<uint8_t> image(static_cast<size_t>(banks) * 0x10000);
  for (int b = 0; b < banks; ++b) {
    std::fill(image.begin() + b * 0x10000, image.begin() + (b + 1) * 0x10000,
              static_cast<uint8_t>(b + 1));
  }
  uint8_t* tail = image.data() + image.size() - 16;
  const uint8_t jump[6] = {0xEA, 0x00, 0x00, 0x00, 0xF0, 0x00};
  std::copy(jump, jump + 6, tail);
  const uint8_t footer[8] = {f.developer, f.colour,       f.game,  f.version,
                             f.romSizeCode, f.saveTypeCode, f.flags, 0};
  std::copy(footer, footer + 8, tail + 6);
  uint16_t sum = 0;
  for (size_t i = 0; i + 2 < image.size(); ++i) sum = static_cast<uint16_t>(sum + image[i]);
  if (badChecksum) sum ^= 0x5A5A;
  image[image.size() - 2] = sum & 0xFF;
  image[image.size() - 1] = sum >> 8;
  return image;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ProgramRun RunHeadless(const std::vector<std::string>& args, std::chrono::seconds timeout) {
  TempDir dir;
  const std::string errPath = dir.file("stderr.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> all = {KESTRA_HEADLESS};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  ProgramRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, KESTRA_HEADLESS, &actions, nullptr, argv.data(), environ) == 0) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        run.err = "killed after " + std::to_string(timeout.count()) + " s\n";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (std::filesystem::exists(errPath)) {
    const auto err = ReadFile(errPath);
    run.err.append(err.begin(), err.end());
  }
  return run;
}

ProgramRun RunHeadlessLine(const std::string& args) {
  std::istringstream in(args);
  std::vector<std::string> split;
  for (std::string word; in >> word;) split.push_back(word);
  return RunHeadless(split);
}

std::string RomPath(const std::string& name) { return std::string(KESTRA_ROM_DIR) + "/" + name; }

std::string ThirdPartyPath(const std::string& name) {
  return std::string(KESTRA_THIRD_PARTY_DIR) + "/" + name;
}

}  // namespace kestra::test
