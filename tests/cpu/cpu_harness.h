// A machine without a cartridge with code at 0100:0000, data at DS = 0x0300,
// ES = 0x0400, the stack at 0000:2000, and a writable page in bank 1.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/machine.h"
#include "cpu/cpu.h"
#include "support/test_support.h"

namespace kestra::test {

enum FlagBit : uint16_t {
  kCF = 0x001,
  kPF = 0x004,
  kAF = 0x010,
  kZF = 0x040,
  kSF = 0x080,
  kTF = 0x100,
  kIF = 0x200,
  kDF = 0x400,
  kOF = 0x800,
};
// The six flags that arithmetic sets.
constexpr uint16_t kArith = kCF | kPF | kAF | kZF | kSF | kOF;

class CpuTest : public ::testing::Test {
 protected:
  static constexpr uint16_t kCodeSegment = 0x0100;
  static constexpr uint32_t kCode = 0x1000;
  static constexpr uint32_t kData = 0x3000;   // DS:0
  static constexpr uint32_t kExtra = 0x4000;  // ES:0

  CpuTest() : bank1(0x10000, 0), bank2(0x10000, 0) {
    m->map.BankReadTable[1] = bank1.data();
    Reset();
  }

  void Reset() {
    CpuReset(*m);
    Set(CS, kCodeSegment);
    Set(SS, 0);
    Set(SP, 0x2000);
    Set(DS, kData >> 4);
    Set(ES, kExtra >> 4);
  }

  uint16_t R(Reg r) const { return m.machine->cpu.regs.w[r]; }
  void Set(Reg r, uint16_t v) { m->cpu.regs.w[r] = v; }
  uint8_t AL() const { return m.machine->cpu.regs.w[AX] & 0xFF; }
  uint8_t AH() const { return m.machine->cpu.regs.w[AX] >> 8; }
  uint16_t Flags() const { return GetCpuRegister(*m.machine, 10); }
  void SetFlags(uint16_t word) { SetCpuRegister(*m, 10, word); }
  bool Has(uint16_t flag) const { return (Flags() & flag) != 0; }

  // Bytes straight into the page behind a linear address (no write hooks).
  uint8_t& Byte(uint32_t linear) {
    return m->map.BankReadTable[(linear >> 16) & 0xF][linear & 0xFFFF];
  }
  void Poke(uint32_t linear, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) Byte(linear++) = b;
  }
  void Poke16(uint32_t linear, uint16_t v) { Poke(linear, {uint8_t(v), uint8_t(v >> 8)}); }
  uint16_t Peek16(uint32_t linear) { return uint16_t(Byte(linear) | Byte(linear + 1) << 8); }
  uint32_t Linear(Reg seg, uint16_t offset) const { return (uint32_t(R(seg)) << 4) + offset; }

  // Code at CS:IP.
  void Code(std::initializer_list<uint8_t> bytes) { Poke(Linear(CS, R(IP)), bytes); }
  // One instruction (with its prefixes); returns its cycles.
  int Step() {
    m->cpu.CycleBudget = 10000;
    CpuStep(*m);
    return 10000 - m->cpu.CycleBudget;
  }
  int Exec(std::initializer_list<uint8_t> bytes) {
    Code(bytes);
    return Step();
  }
  int Run(int budget) { return CpuRun(*m, budget); }

  // A vector pointing at seg:off, written straight into internal RAM.
  void Vector(int n, uint16_t seg, uint16_t off) {
    Poke16(n * 4, off);
    Poke16(n * 4 + 2, seg);
  }

  TestMachine m;
  std::vector<uint8_t> bank1, bank2;
};

}  // namespace kestra::test
