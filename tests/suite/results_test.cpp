// The reader of the result table: a reader that lost a failure or a name
// would hide a broken machine behind a green suite.
#include <gtest/gtest.h>

#include <cstring>

#include "results.h"

namespace kestra::suite {
namespace {

struct Table {
  std::vector<uint8_t> iram = std::vector<uint8_t>(0x10000, 0);
  std::vector<uint8_t> image = std::vector<uint8_t>(0x20000, 0xFF);

  void Word(uint32_t at, uint16_t v) {
    iram[at] = v & 0xFF;
    iram[at + 1] = v >> 8;
  }
  void Names(uint16_t offset, const std::vector<std::string>& names) {
    Word(kCountAddress, static_cast<uint16_t>(names.size()));
    Word(kNamesAddress, offset);
    size_t at = image.size() - 0x10000 + offset;
    for (const auto& n : names) {
      std::memcpy(&image[at], n.c_str(), n.size() + 1);
      at += n.size() + 1;
    }
  }
  void Entry(int n, uint8_t status, uint8_t kind, uint16_t observed, uint16_t a, uint16_t b) {
    const uint32_t e = kEntriesAddress + 8 * n;
    iram[e] = status;
    iram[e + 1] = kind;
    Word(e + 2, observed);
    Word(e + 4, a);
    Word(e + 6, b);
  }
};

TEST(SuiteResults, ReadsEveryEntryWithItsNameFromTheLastBank) {
  Table t;
  std::memcpy(&t.iram[kMagicAddress], "DONE", 4);
  t.Word(kProgressAddress, 2);
  t.Names(0x1234, {"add8", "add8 flags", "loop count"});
  t.Entry(0, 1, 0, 0x0012, 0x0012, 0xFFFF);
  t.Entry(1, 2, 1, 0x0845, 0x0844, 0xFFFF);
  t.Entry(2, 2, 2, 40, 41, 43);
  const SuiteResults r = ReadResults(t.iram, t.image);
  ASSERT_TRUE(r.error.empty()) << r.error;
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.progress, 2);
  ASSERT_EQ(r.checks.size(), 3u);
  EXPECT_EQ(r.checks[0].name, "add8");
  EXPECT_EQ(r.checks[0].status, CheckStatus::Passed);
  EXPECT_EQ(r.checks[1].status, CheckStatus::Failed);
  EXPECT_EQ(r.checks[1].Describe(),
            "#1 \"add8 flags\": flags 0x0845 (OF ZF PF CF), expected 0x0844 (OF ZF PF)");
  EXPECT_EQ(r.checks[2].Describe(), "#2 \"loop count\": 0x0028 (40), expected 41 to 43");
}

TEST(SuiteResults, UnfinishedRunsAndChecksThatDidNotRun) {
  Table t;
  t.Names(0, {"first", "second"});
  t.Entry(0, 1, 0, 5, 5, 0xFFFF);
  const SuiteResults r = ReadResults(t.iram, t.image);
  EXPECT_FALSE(r.finished);
  ASSERT_EQ(r.checks.size(), 2u);
  EXPECT_EQ(r.checks[1].status, CheckStatus::NotRun);
  EXPECT_EQ(r.checks[1].Describe(), "#1 \"second\": did not run");
}

TEST(SuiteResults, MaskedValues) {
  CheckResult c;
  c.name = "low byte";
  c.status = CheckStatus::Failed;
  c.observed = 0x12FF;
  c.a = 0x00FE;
  c.b = 0x00FF;
  EXPECT_EQ(c.Describe(),
            "#0 \"low byte\": 0x00FF, expected 0x00FE under mask 0x00FF (whole word 0x12FF)");
  EXPECT_EQ(FlagNames(0), "none");
  EXPECT_EQ(FlagNames(0xF002), "bits 0xF002");
}

TEST(SuiteResults, TablesThatCannotBeRead) {
  Table t;
  EXPECT_NE(ReadResults(t.iram, t.image).error.find("declares 0 checks"), std::string::npos);
  t.Word(kCountAddress, 1);
  t.Word(kNamesAddress, 0xFFFE);  // "\xFF\xFF" and no end
  EXPECT_NE(ReadResults(t.iram, t.image).error.find("past the end"), std::string::npos);
  EXPECT_FALSE(ReadResults(std::vector<uint8_t>(100), t.image).error.empty());
  EXPECT_FALSE(ReadResults(t.iram, std::vector<uint8_t>(0x18000)).error.empty());
}

}  // namespace
}  // namespace kestra::suite
