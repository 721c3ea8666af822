// Our test cartridges (roms/tests) run through kestra-headless: each checks
// the machine from the inside and leaves its verdicts in internal RAM; every
// failed check is reported by name.
#include <gtest/gtest.h>


#include <chrono>
#include <filesystem>

#include "results.h"
#include "support/test_support.h"

namespace kestra::suite {
namespace {

constexpr auto kRunTimeout = std::chrono::seconds(60);

struct Cartridge {
  const char* image;   // in the build's roms directory
  int frames;          // enough for every check
  const char* keys;    // --keys, or nullptr
};

std::ostream& operator<<(std::ostream& os, const Cartridge& c) { return os << c.image; }

// Copies the image into `dir` (its save file is written beside it), runs it
// and reads the result table.
SuiteResults RunCartridge(const test::TempDir& dir, const Cartridge& cart) {
  const std::string image = dir.file(cart.image);
  std::filesystem::copy_file(test::RomPath(cart.image), image,
                             std::filesystem::copy_options::overwrite_existing);
  std::vector<std::string> args = {"-n", std::to_string(cart.frames), "--dump-iram",
                                   dir.file("iram.bin")};
  if (cart.keys) args.insert(args.end(), {"--keys", cart.keys});
  args.push_back(image);
  const test::ProgramRun run = test::RunHeadless(args, kRunTimeout);
  SuiteResults r;
  if (run.status != 0) {
    r.error = "kestra-headless exited with " + std::to_string(run.status) + ": " + run.err;
    return r;
  }
  return ReadResults(test::ReadFile(dir.file("iram.bin")), test::ReadFile(image));
}

// Every declared check ran and passed; each one that failed is named, and a
// run that stopped early names where it stopped and what did not run.
void ExpectAllPassed(const SuiteResults& r, const std::string& cartridge) {
  ASSERT_TRUE(r.error.empty()) << cartridge << ": " << r.error;
  ASSERT_FALSE(r.checks.empty());
  int passed = 0;
  std::string notRun;
  for (const CheckResult& c : r.checks) {
    if (c.status == CheckStatus::Passed) {
      ++passed;
    } else if (c.status == CheckStatus::NotRun) {
      notRun += "\n  #" + std::to_string(c.number) + " " + c.name;
    } else {
      ADD_FAILURE() << cartridge << " " << c.Describe();
    }
  }
  if (!r.finished) {
    const int p = r.progress;
    ADD_FAILURE() << cartridge << " did not finish; the last check recorded was #" << p
                  << (p < static_cast<int>(r.checks.size()) ? " \"" + r.checks[p].name + "\"" : "");
  }
  if (!notRun.empty()) ADD_FAILURE() << cartridge << ": checks that did not run:" << notRun;
  std::printf("%s: %d of %zu checks passed\n", cartridge.c_str(), passed, r.checks.size());
}

class SuiteCartridge : public ::testing::TestWithParam<Cartridge> {};

TEST_P(SuiteCartridge, AllChecksPass) {
  test::TempDir dir;
  ExpectAllPassed(RunCartridge(dir, GetParam()), GetParam().image);
}

const Cartridge kCartridges[] = {
    {"cpu_alu.ws", 20, nullptr},
    {"cpu_shift.ws", 20, nullptr},
    {"cpu_muldiv.ws", 20, nullptr},
    {"cpu_data.ws", 20, nullptr},
    {"cpu_control.ws", 30, nullptr},
    {"cpu_string.ws", 30, nullptr},
    {"cpu_nec.ws", 20, nullptr},
    {"timing.ws", 60, nullptr},
    {"irq.ws", 70, "40:400,50:0"},  // A held from frame 40 to 49
};

INSTANTIATE_TEST_SUITE_P(Roms, SuiteCartridge, ::testing::ValuesIn(kCartridges),
                         [](const ::testing::TestParamInfo<Cartridge>& info) {
                           std::string name = info.param.image;
                           return name.substr(0, name.find('.'));
                         });

// memory.ws reads bytes 0x30-0x3F at 0x100 of its SRAM from the save file
// and leaves a pattern there for the file written at exit.
TEST(SuiteSaves, SramComesFromAndGoesToTheSaveFile) {
  test::TempDir dir;
  std::vector<uint8_t> seed(8192, 0);
  for (int i = 0; i < 16; ++i) seed[0x100 + i] = static_cast<uint8_t>(0x30 + i);
  test::WriteFile(dir.file("memory.sav"), seed);
  ExpectAllPassed(RunCartridge(dir, {"memory.ws", 10, nullptr}), "memory.ws");

  const auto save = test::ReadFile(dir.file("memory.sav"));
  ASSERT_EQ(save.size(), 8192u);
  EXPECT_EQ(save[0], 0xD4) << "the byte the DMA carried over into bank 1";
  for (int i = 0; i < 256; ++i) EXPECT_EQ(save[0x200 + i], i ^ 0x5A) << "offset 0x200 + " << i;
  EXPECT_EQ(save[0x1FFF], 0xA5);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(save[0x100 + i], 0x30 + i) << "seeded byte " << i;
}

// eeprom.ws reads word i = 0xA000 + i from the save file, then erases
// everything and writes three words.
TEST(SuiteSaves, EepromComesFromAndGoesToTheSaveFile) {
  test::TempDir dir;
  std::vector<uint8_t> seed(128);
  for (int i = 0; i < 64; ++i) {
    seed[2 * i] = static_cast<uint8_t>(i);
    seed[2 * i + 1] = 0xA0;
  }
  test::WriteFile(dir.file("eeprom.sav"), seed);
  ExpectAllPassed(RunCartridge(dir, {"eeprom.ws", 10, nullptr}), "eeprom.ws");

  const auto save = test::ReadFile(dir.file("eeprom.sav"));
  ASSERT_EQ(save.size(), 128u);
  for (int i = 0; i < 64; ++i) {
    const int word = save[2 * i] | save[2 * i + 1] << 8;
    const int expected = i == 5 ? 0x1234 : i == 8 ? 0xBEEF : i == 63 ? 0x6363 : 0xFFFF;
    EXPECT_EQ(word, expected) << "word " << i;
  }
}

}  // namespace
}  // namespace kestra::suite
