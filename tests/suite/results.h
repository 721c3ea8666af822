// The result table that our test cartridges (roms/tests) leave in internal
// RAM, read back from an internal RAM dump; the layout is described in
// roms/include/suite.inc and roms/tests/README.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestra::suite {

constexpr uint32_t kMagicAddress = 0x0400;
constexpr uint32_t kCountAddress = 0x0404;
constexpr uint32_t kNamesAddress = 0x0406;
constexpr uint32_t kProgressAddress = 0x0408;
constexpr uint32_t kEntriesAddress = 0x4000;
constexpr int kMaxChecks = 4096;

enum class CheckStatus : uint8_t { NotRun = 0, Passed = 1, Failed = 2 };
enum class CheckKind : uint8_t { Value = 0, Flags = 1, Range = 2 };

struct CheckResult {
  int number = 0;
  std::string name;
  CheckStatus status = CheckStatus::NotRun;
  CheckKind kind = CheckKind::Value;
  uint16_t observed = 0;
  uint16_t a = 0;  // expected value, or the lowest accepted
  uint16_t b = 0;  // mask, or the highest accepted
  // One line for a failure report: number, name, observed and expected.
  std::string Describe() const;
};

struct SuiteResults {
  bool finished = false;  // the cartridge wrote "DONE"
  int progress = 0;       // the last check recorded
  std::vector<CheckResult> checks;
  std::string error;      // a table that cannot be read
};

// `iram` is the 64 KB dump, `image` the cartridge image the names live in.
SuiteResults ReadResults(const std::vector<uint8_t>& iram, const std::vector<uint8_t>& image);

// "OF SF ZF" style list of the flags set in a flags word.
std::string FlagNames(uint16_t flags);

}  // namespace kestra::suite
