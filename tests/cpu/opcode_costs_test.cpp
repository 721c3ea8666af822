// Every opcode byte and every group member in its simplest register form,
// with the cycles it must charge and the bytes it must consume.
#include <string>
#include <vector>

#include "cpu/exec.h"
#include "cpu_harness.h"

namespace kestra::test {
namespace {

struct Case {
  std::vector<uint8_t> bytes;
  int cycles;
  int length = -1;  // bytes consumed when the instruction does not jump; -1: all
};

// Starting state: AX = 1, CL = 1 for 0xD2/0xD3, other registers 0, flags clear.
std::vector<Case> OneByteMap() {
  std::vector<Case> cases;
  // ALU rows: r/m,reg; reg,r/m (register forms); accumulator immediates.
  for (int op = 0; op < 8; ++op) {
    const uint8_t base = uint8_t(op * 8);
    cases.push_back({{base, 0xC0}, 1});
    cases.push_back({{uint8_t(base + 1), 0xC0}, 1});
    cases.push_back({{uint8_t(base + 2), 0xC0}, 1});
    cases.push_back({{uint8_t(base + 3), 0xC0}, 1});
    cases.push_back({{uint8_t(base + 4), 0x12}, 1});
    cases.push_back({{uint8_t(base + 5), 0x34, 0x12}, 1});
  }
  const std::vector<Case> others = {
      {{0x06}, 2}, {{0x07}, 3}, {{0x0E}, 2}, {{0x16}, 2}, {{0x17}, 3}, {{0x1E}, 2}, {{0x1F}, 3},
      {{0x26, 0x40}, 2}, {{0x2E, 0x40}, 2}, {{0x36, 0x40}, 2}, {{0x3E, 0x40}, 2},
      {{0x27}, 10}, {{0x2F}, 10}, {{0x37}, 9}, {{0x3F}, 9},
      {{0x60}, 9}, {{0x61}, 8}, {{0x62, 0xC9}, 13}, {{0x63}, 10},
      {{0x64, 0x40}, 1}, {{0x65, 0x40}, 1}, {{0x66}, 10}, {{0x67}, 10},
      {{0x68, 0x34, 0x12}, 1}, {{0x69, 0xC0, 0x02, 0x00}, 3}, {{0x6A, 0x80}, 1},
      {{0x6B, 0xC0, 0x02}, 3}, {{0x6C}, 6}, {{0x6D}, 6}, {{0x6E}, 7}, {{0x6F}, 7},
      {{0x84, 0xC0}, 1}, {{0x85, 0xC0}, 1}, {{0x86, 0xC1}, 3}, {{0x87, 0xC1}, 3},
      {{0x88, 0xC1}, 1}, {{0x89, 0xC1}, 1}, {{0x8A, 0xC1}, 1}, {{0x8B, 0xC1}, 1},
      {{0x8C, 0xC1}, 1}, {{0x8D, 0xC1}, 1}, {{0x8E, 0xC1}, 2}, {{0x8F, 0xC1}, 1},
      {{0x90}, 1}, {{0x98}, 1}, {{0x99}, 1}, {{0x9A, 0, 0, 0, 0}, 10, 0}, {{0x9B}, 0},
      {{0x9C}, 2}, {{0x9D}, 3}, {{0x9E}, 4}, {{0x9F}, 2},
      {{0xA0, 0, 0}, 1}, {{0xA1, 0, 0}, 1}, {{0xA2, 0, 0}, 1}, {{0xA3, 0, 0}, 1},
      {{0xA4}, 5}, {{0xA5}, 5}, {{0xA6}, 6}, {{0xA7}, 6}, {{0xA8, 1}, 1}, {{0xA9, 1, 0}, 1},
      {{0xAA}, 3}, {{0xAB}, 3}, {{0xAC}, 3}, {{0xAD}, 3}, {{0xAE}, 4}, {{0xAF}, 4},
      {{0xC0, 0xC0, 1}, 3}, {{0xC1, 0xC0, 1}, 3}, {{0xC2, 2, 0}, 6, 0}, {{0xC3}, 6, 0},
      {{0xC4, 0xC1}, 6}, {{0xC5, 0xC1}, 6}, {{0xC6, 0xC0, 7}, 1}, {{0xC7, 0xC0, 7, 0}, 1},
      {{0xC8, 0, 0, 0}, 19}, {{0xC9}, 2}, {{0xCA, 2, 0}, 9, 0}, {{0xCB}, 8, 0},
      {{0xCC}, 11, 0}, {{0xCD, 0x40}, 12, 0}, {{0xCE}, 6}, {{0xCF}, 13, 0},
      {{0xD0, 0xC0}, 1}, {{0xD1, 0xC0}, 1}, {{0xD2, 0xC0}, 4}, {{0xD3, 0xC0}, 4},  // CL = 1
      {{0xD4, 10}, 17}, {{0xD5, 10}, 6}, {{0xD6}, 3}, {{0xD7}, 5},
      {{0xE0, 0}, 6}, {{0xE1, 0}, 3}, {{0xE2, 0}, 5}, {{0xE3, 0}, 4},
      {{0xE4, 0x10}, 6}, {{0xE5, 0x10}, 6}, {{0xE6, 0x10}, 6}, {{0xE7, 0x10}, 6},
      {{0xE8, 0, 0}, 5}, {{0xE9, 0, 0}, 4}, {{0xEA, 0, 0, 0, 0}, 7, 0}, {{0xEB, 0}, 4},
      {{0xEC}, 6}, {{0xED}, 6}, {{0xEE}, 6}, {{0xEF}, 6},
      {{0xF0}, 1}, {{0xF1}, 10}, {{0xF2, 0x40}, 1}, {{0xF3, 0x40}, 1}, {{0xF5}, 4},
      {{0xF8}, 4}, {{0xF9}, 4}, {{0xFA}, 4}, {{0xFB}, 4}, {{0xFC}, 4}, {{0xFD}, 4},
  };
  cases.insert(cases.end(), others.begin(), others.end());
  for (int r = 0; r < 8; ++r) {
    cases.push_back({{uint8_t(0x40 + r)}, 1});
    cases.push_back({{uint8_t(0x48 + r)}, 1});
    cases.push_back({{uint8_t(0x50 + r)}, 1});
    cases.push_back({{uint8_t(0x58 + r)}, 1});
    cases.push_back({{uint8_t(0xB0 + r), 0}, 1});
    cases.push_back({{uint8_t(0xB8 + r), 0, 0}, 1});
    cases.push_back({{uint8_t(0xD8 + r), 0xC0}, 3});
    if (r > 0) cases.push_back({{uint8_t(0x90 + r)}, 3});
  }
  // Flags clear: odd conditions hold (3 cycles), even ones do not (1).
  for (int cc = 0; cc < 16; ++cc) cases.push_back({{uint8_t(0x70 + cc), 0}, (cc & 1) ? 3 : 1});
  return cases;
}

std::vector<Case> GroupMembers() {
  std::vector<Case> cases;
  for (int reg = 0; reg < 8; ++reg) {
    const uint8_t rm = uint8_t(0xC0 | reg << 3);
    cases.push_back({{0x80, rm, 1}, 1});
    cases.push_back({{0x81, rm, 1, 0}, 1});
    cases.push_back({{0x82, rm, 1}, 1});
    cases.push_back({{0x83, rm, 1}, 1});
    cases.push_back({{0xD0, rm}, 1});
    cases.push_back({{0xD1, rm}, 1});
    cases.push_back({{0xC0, rm, 1}, 3});
    cases.push_back({{0xC1, rm, 1}, 3});
    const bool rotate = reg < 4;
    cases.push_back({{0xD2, rm}, rotate ? 4 : 3, -1});  // CL = 1
    cases.push_back({{0xD3, rm}, rotate ? 4 : 3, -1});
    cases.push_back({{0xFE, rm}, reg < 2 ? 1 : 0});
  }
  // F6/F7 operate on AL/AX = 1 (rm = 0).
  const int f6[8] = {1, 0, 1, 1, 3, 3, 15, 17};
  const int f7[8] = {1, 0, 1, 1, 3, 3, 23, 24};
  for (int reg = 0; reg < 8; ++reg) {
    const uint8_t rm = uint8_t(0xC0 | reg << 3);
    if (reg == 0) {
      cases.push_back({{0xF6, rm, 1}, f6[reg]});
      cases.push_back({{0xF7, rm, 1, 0}, f7[reg]});
    } else {
      cases.push_back({{0xF6, rm}, f6[reg]});
      cases.push_back({{0xF7, rm}, f7[reg]});
    }
  }
  const std::vector<Case> ff = {
      {{0xFF, 0xC0}, 1}, {{0xFF, 0xC8}, 1}, {{0xFF, 0xD0}, 5, 0}, {{0xFF, 0xD8}, 1, 0},
      {{0xFF, 0xE0}, 4, 0}, {{0xFF, 0xE8}, 1, 0}, {{0xFF, 0xF0}, 1}, {{0xFF, 0xF8}, 0},
  };
  cases.insert(cases.end(), ff.begin(), ff.end());
  return cases;
}

std::vector<Case> ExtendedMap() {
  std::vector<Case> cases;
  for (int s = 0x10; s <= 0x17; ++s) cases.push_back({{0x0F, uint8_t(s), 0xC0}, 4});
  for (int s = 0x18; s <= 0x1F; ++s) cases.push_back({{0x0F, uint8_t(s), 0xC0, 3}, 4});
  const std::vector<Case> rest = {
      {{0x0F, 0x20}, 2}, {{0x0F, 0x22}, 2}, {{0x0F, 0x26}, 2},
      {{0x0F, 0x28, 0xC0}, 15}, {{0x0F, 0x2A, 0xC0}, 19}, {{0x0F, 0x92}, 2},
      {{0x0F, 0x31, 0}, 0}, {{0x0F, 0x33, 0}, 0}, {{0x0F, 0xE0, 0}, 0},
      {{0x0F, 0xF0, 0}, 0}, {{0x0F, 0xFF, 0}, 0},
  };
  cases.insert(cases.end(), rest.begin(), rest.end());
  for (int s : {0x00, 0x0F, 0x21, 0x24, 0x30, 0x91, 0xFE}) cases.push_back({{0x0F, uint8_t(s)}, 0});
  return cases;
}

class OpcodeCostTest : public CpuTest {
 protected:
  void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      Reset();
      Set(AX, 1);
      Set(CX, c.bytes[0] == 0xD2 || c.bytes[0] == 0xD3 ? 1 : 0);
      Code({});
      for (size_t i = 0; i < c.bytes.size(); ++i) Byte(kCode + i) = c.bytes[i];
      std::string name;
      for (uint8_t b : c.bytes) name += std::to_string(b) + " ";
      EXPECT_EQ(Step(), c.cycles) << "bytes " << name;
      const int length = c.length < 0 ? int(c.bytes.size()) : c.length;
      if (c.length != 0) {
        EXPECT_EQ(R(IP), length) << "bytes " << name;
      }
      for (size_t i = 0; i < c.bytes.size() + 8; ++i) Byte(kCode + i) = 0;
    }
  }
};

TEST_F(OpcodeCostTest, EveryOpcodeHasAHandler) {
  for (int op = 0; op < 256; ++op) EXPECT_NE(cpu::OpcodeTable[op], nullptr) << op;
  std::vector<bool> covered(256, false);
  for (const Case& c : OneByteMap()) covered[c.bytes[0]] = true;
  for (const Case& c : GroupMembers()) covered[c.bytes[0]] = true;
  covered[0x0F] = covered[0xF4] = true;  // extended map and HLT have their own tests
  for (int op = 0; op < 256; ++op) EXPECT_TRUE(covered[op]) << "no cost case for " << op;
}

TEST_F(OpcodeCostTest, OneByteOpcodes) { Check(OneByteMap()); }
TEST_F(OpcodeCostTest, GroupMembers) { Check(GroupMembers()); }
TEST_F(OpcodeCostTest, ExtendedOpcodes) { Check(ExtendedMap()); }

}  // namespace
}  // namespace kestra::test
