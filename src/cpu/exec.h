// Shared by the instruction families: fetch, ModRM operands, memory words,
// the stack and the flag rules. Everything here is inline and on the hot path.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/machine.h"
#include "cpu/cpu.h"

namespace kestra::cpu {

using HandlerTable = std::array<OpcodeHandler, 256>;
extern const HandlerTable OpcodeTable;

// Each family fills its opcodes.
void InstallAlu(HandlerTable& t);
void InstallMoves(HandlerTable& t);
void InstallControl(HandlerTable& t);
void InstallShifts(HandlerTable& t);
void InstallMulDiv(HandlerTable& t);
void InstallStrings(HandlerTable& t);
void InstallExtended(HandlerTable& t);

// Register operands of a ModRM byte by table.
struct ModRmTables {
  uint8_t regWord[256];  // reg field as word register
  uint8_t regByte[256];  // reg field as byte position
  uint8_t rmWord[256];   // rm field as word register (register forms)
  uint8_t rmByte[256];   // rm field as byte position (register forms)
};

constexpr uint8_t BytePosition(int reg) { return static_cast<uint8_t>((reg & 3) << 1 | reg >> 2); }

inline constexpr ModRmTables kModRm = [] {
  ModRmTables t{};
  for (int m = 0; m < 256; ++m) {
    t.regWord[m] = static_cast<uint8_t>((m >> 3) & 7);
    t.regByte[m] = BytePosition((m >> 3) & 7);
    t.rmWord[m] = static_cast<uint8_t>(m & 7);
    t.rmByte[m] = BytePosition(m & 7);
  }
  return t;
}();

// Effective-address forms for ModRM bytes 0x00-0xBF: fetch the displacement,
// set EaOffset and EaLinear; they return IP past the displacement.
using EaForm = uint32_t (*)(Machine&, uint32_t ip);
extern const std::array<EaForm, 192> EaTable;

inline uint32_t SegBase(const CpuState& c, int seg) {
  return static_cast<uint32_t>(c.regs.w[seg]) << 4;
}
// Data segment base honouring a segment prefix.
inline uint32_t DataBase(const CpuState& c, int seg) {
  return c.segOverride.active ? c.segOverride.base : SegBase(c, seg);
}

// ---- guards against code that would never give the host back ----
// Prefixes and the bank switch's extra step run the next instruction inside
// their own, on the host's stack: past this depth (memory full of prefixes,
// or of OUTs to port 0xC0) the inner byte is left to the run loop.
constexpr uint8_t kMaxNesting = 16;
// Instructions that cost nothing (WAIT, the empty group members, HLT, which
// leaves the budget at 1) would loop forever on memory full of them, as the
// 0xFF of unmapped banks is. Past this many in one run, each costs a cycle,
// so every run ends; no real program comes near it.
constexpr uint32_t kFreeStepLimit = 256;
inline void FreeStep(CpuState& c, int32_t& budget) {
  if (++c.freeSteps > kFreeStepLimit) budget -= 1;
}

// ---- fetch ----
// During a run IP and the cycles left travel in registers: the loop hands
// them to each handler, which returns them past the instruction. Kept in
// CpuState they would make every fetch and every charge wait for the store
// of the one before. CpuState's copies are written back when the run ends,
// and around anything that reads or moves them there (traps, port writes
// that step the CPU): SaveRun before, RestoreRun after.
inline uint32_t RestoreIp(const CpuState& c) { return c.regs.w[IP]; }

// Proof that CpuState holds IP and the cycles left: only SaveRun makes one,
// and port writes (which may step the CPU or show a box with CS:IP) take
// one, so no handler reaches them with IP and the budget in registers only.
class RunSaved {
  RunSaved() = default;
  friend RunSaved SaveRun(CpuState& c, uint32_t ip, int32_t budget);
};
inline RunSaved SaveRun(CpuState& c, uint32_t ip, int32_t budget) {
  c.regs.w[IP] = static_cast<uint16_t>(ip);
  c.CycleBudget = budget;
  return RunSaved{};
}
inline Next RestoreRun(const CpuState& c) { return {RestoreIp(c), c.CycleBudget}; }

// A software interrupt or exception taken by a handler.
inline Next Trap(Machine& m, uint32_t ip, int32_t budget, int vector) {
  SaveRun(m.cpu, ip, budget);
  EnterTrap(m, vector);
  return RestoreRun(m.cpu);
}

inline void OpenCodeWindow(Machine& m) {
  const uint32_t base = SegBase(m.cpu, CS);
  const uint32_t offset = base & 0xFFFF;
  m.code.bytes = m.map.BankReadTable[(base >> 16) & 0xF] + offset;
  m.code.limit = kPageSize - offset;
}
inline void CloseCodeWindow(Machine& m) { m.code.limit = 0; }

// OUT and OUTS. The instruction after a write to the ROM bank port still runs
// under the old mapping when the code lives in the switched area; any port
// write may remap the code.
inline void OutPort(Machine& m, RunSaved, uint32_t port, uint8_t value) {
  if (port == kPortBankRomHigh && m.cpu.regs.w[CS] >= 0x4000) CpuStep(m);
  WritePort(m, port, value);
  CloseCodeWindow(m);
}
// IN: ports above 0xFF hold nothing.
inline uint8_t InPort(const Machine& m, uint32_t port) {
  return port < kPortCount ? m.io.IoPorts[port] : 0;
}
// Loads CS from within an instruction.
inline void LoadCs(Machine& m, uint16_t cs) {
  m.cpu.regs.w[CS] = cs;
  CloseCodeWindow(m);
}
// A byte the window does not hold: the window closed, or the part of CS
// that lies in the next bank. Inline, as a call here would give every
// handler a stack frame.
inline uint8_t FetchOutsideWindow(Machine& m, uint32_t& ip) {
  OpenCodeWindow(m);
  const uint32_t at = ip;
  ip = (at + 1) & 0xFFFF;
  return ReadMemory(m, SegBase(m.cpu, CS) + at);
}

// IP is below 0x10000 on entry and on return.
inline uint8_t Fetch8(Machine& m, uint32_t& ip) {
  const CodeWindow& w = m.code;
  if (ip < w.limit) [[likely]] {
    const uint8_t v = w.bytes[ip];
    ip = (ip + 1) & 0xFFFF;
    return v;
  }
  return FetchOutsideWindow(m, ip);
}
// Both bytes at once when the window holds both (IP wraps within CS).
inline uint16_t Fetch16(Machine& m, uint32_t& ip) {
  const CodeWindow& w = m.code;
  if (ip + 1u < w.limit) [[likely]] {
    uint16_t v;
    std::memcpy(&v, w.bytes + ip, 2);
    ip = (ip + 2) & 0xFFFF;
    return v;
  }
  const uint8_t lo = Fetch8(m, ip);
  return static_cast<uint16_t>(lo | Fetch8(m, ip) << 8);
}
template <typename T>
inline T FetchImm(Machine& m, uint32_t& ip) {
  if constexpr (sizeof(T) == 1) return Fetch8(m, ip);
  else return Fetch16(m, ip);
}
inline uint16_t FetchSigned8(Machine& m, uint32_t& ip) {
  return static_cast<uint16_t>(static_cast<int8_t>(Fetch8(m, ip)));
}
// IP plus a displacement, inside CS.
inline uint32_t Relative(uint32_t ip, uint16_t displacement) {
  return (ip + displacement) & 0xFFFF;
}

// ---- memory: words take their high byte at linear address + 1 ----
inline uint16_t ReadWord(const Machine& m, uint32_t a) { return ReadMemoryWord(m, a); }
inline void WriteWord(Machine& m, uint32_t a, uint16_t v) { WriteMemoryWord(m, a, v); }
template <typename T>
inline T ReadMem(const Machine& m, uint32_t a) {
  if constexpr (sizeof(T) == 1) return ReadMemory(m, a);
  else return ReadWord(m, a);
}
template <typename T>
inline void WriteMem(Machine& m, uint32_t a, T v) {
  if constexpr (sizeof(T) == 1) WriteMemory(m, a, v);
  else WriteWord(m, a, v);
}
// Far pointers: the second word's +2 wraps inside the operand's 64 KB.
inline uint32_t SecondWordAddress(uint32_t linear) {
  return (linear & 0xF0000) | ((linear + 2) & 0xFFFF);
}

// ---- ModRM operands ----
inline void DecodeEa(Machine& m, uint32_t& ip, uint8_t modrm) { ip = EaTable[modrm](m, ip); }

template <typename T>
inline T& RegOperand(CpuState& c, uint8_t modrm) {
  if constexpr (sizeof(T) == 1) return Reg8(c, kModRm.regByte[modrm]);
  else return c.regs.w[kModRm.regWord[modrm]];
}
template <typename T>
inline T& RmRegister(CpuState& c, uint8_t modrm) {
  if constexpr (sizeof(T) == 1) return Reg8(c, kModRm.rmByte[modrm]);
  else return c.regs.w[kModRm.rmWord[modrm]];
}
// Reads the r/m operand; a memory operand is decoded first and stays at EaLinear.
template <typename T>
inline T ReadRm(Machine& m, uint32_t& ip, uint8_t modrm) {
  if (modrm >= 0xC0) return RmRegister<T>(m.cpu, modrm);
  DecodeEa(m, ip, modrm);
  return ReadMem<T>(m, m.cpu.EaLinear);
}
// For operands that are only written: forms the address of a memory operand.
inline void DecodeIfMemory(Machine& m, uint32_t& ip, uint8_t modrm) {
  if (modrm < 0xC0) DecodeEa(m, ip, modrm);
}
template <typename T>
inline void WriteRm(Machine& m, uint8_t modrm, T v) {
  if (modrm >= 0xC0) RmRegister<T>(m.cpu, modrm) = v;
  else WriteMem<T>(m, m.cpu.EaLinear, v);
}
inline void Charge(int32_t& budget, uint8_t modrm, int registerCost, int memoryCost) {
  budget -= modrm >= 0xC0 ? registerCost : memoryCost;
}

// A handler with a ModRM operand as two forms, Form(m, modrm) for a register
// operand and for a memory operand. The memory form runs out of line, so the
// register form makes no call and saves no registers.
using Form = Next (*)(Machine&, uint32_t ip, int32_t budget, uint8_t modrm);
template <Form Body>
[[gnu::noinline]] Next OutOfLine(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  return Body(m, ip, budget, modrm);
}
template <Form RegisterForm, Form MemoryForm>
Next ByOperandKind(Machine& m, uint32_t ip, int32_t budget) {
  const uint8_t modrm = Fetch8(m, ip);
  if (modrm >= 0xC0) return RegisterForm(m, ip, budget, modrm);
  return OutOfLine<MemoryForm>(m, ip, budget, modrm);
}
// In a form: which kind of operand modrm names, so the operand helpers
// above lose their test.
template <bool Memory>
inline void OperandIs(uint8_t modrm) {
  if ((modrm < 0xC0) != Memory) __builtin_unreachable();
}

template <typename T>
inline T& Accumulator(CpuState& c) {
  if constexpr (sizeof(T) == 1) return Reg8(c, 0);
  else return c.regs.w[AX];
}

// ---- stack: SS:SP, never overridden ----
inline void Push(Machine& m, uint16_t v) {
  CpuState& c = m.cpu;
  const uint16_t sp = static_cast<uint16_t>(c.regs.w[SP] - 2);
  c.regs.w[SP] = sp;
  WriteWord(m, SegBase(c, SS) + sp, v);
}
inline uint16_t Pop(Machine& m) {
  CpuState& c = m.cpu;
  const uint16_t sp = c.regs.w[SP];
  const uint16_t v = ReadWord(m, SegBase(c, SS) + sp);
  c.regs.w[SP] = static_cast<uint16_t>(sp + 2);
  return v;
}

// ---- flag rules ----
template <typename T>
struct Width {
  static constexpr uint32_t kSign = sizeof(T) == 1 ? 0x80 : 0x8000;
  static constexpr uint32_t kCarry = kSign << 1;
  static constexpr int kBits = sizeof(T) * 8;
};

template <typename T>
inline int32_t SignExtend(uint32_t r) {
  return static_cast<std::make_signed_t<T>>(static_cast<T>(r));
}
template <typename T>
inline void SetSources(FlagState& f, uint32_t r) {
  f.signSource = f.zeroSource = f.paritySource = SignExtend<T>(r);
}

template <typename T>
inline T AddFlags(FlagState& f, uint32_t a, uint32_t b) {
  const uint32_t r = a + b;
  f.carry = static_cast<int32_t>(r & Width<T>::kCarry);
  f.overflow = static_cast<int32_t>((a ^ r) & (b ^ r) & Width<T>::kSign);
  f.aux = static_cast<int32_t>((a ^ b ^ r) & 0x10);
  SetSources<T>(f, r);
  return static_cast<T>(r);
}
template <typename T>
inline T SubFlags(FlagState& f, uint32_t a, uint32_t b) {
  const uint32_t r = a - b;
  f.carry = static_cast<int32_t>(r & Width<T>::kCarry);
  f.overflow = static_cast<int32_t>((a ^ b) & (a ^ r) & Width<T>::kSign);
  f.aux = static_cast<int32_t>((a ^ b ^ r) & 0x10);
  SetSources<T>(f, r);
  return static_cast<T>(r);
}
template <typename T>
inline T LogicFlags(FlagState& f, uint32_t r) {
  f.carry = f.overflow = f.aux = 0;
  SetSources<T>(f, r);
  return static_cast<T>(r);
}

enum AluOperation { kAdd, kOr, kAdc, kSbb, kAnd, kSub, kXor, kCmp };

// ADC and SBB fold the incoming carry into the source before the flags.
template <int Op, typename T>
inline T Alu(FlagState& f, uint32_t a, uint32_t b) {
  if constexpr (Op == kAdd) return AddFlags<T>(f, a, b);
  else if constexpr (Op == kOr) return LogicFlags<T>(f, a | b);
  else if constexpr (Op == kAdc) return AddFlags<T>(f, a, b + (f.carry != 0));
  else if constexpr (Op == kSbb) return SubFlags<T>(f, a, b + (f.carry != 0));
  else if constexpr (Op == kAnd) return LogicFlags<T>(f, a & b);
  else if constexpr (Op == kXor) return LogicFlags<T>(f, a ^ b);
  else return SubFlags<T>(f, a, b);  // SUB, CMP
}

template <typename T>
inline T IncFlags(FlagState& f, uint32_t a) {
  const uint32_t r = a + 1;
  f.overflow = a == Width<T>::kSign - 1;
  f.aux = static_cast<int32_t>((a ^ r ^ 1) & 0x10);
  SetSources<T>(f, r);
  return static_cast<T>(r);
}
template <typename T>
inline T DecFlags(FlagState& f, uint32_t a) {
  const uint32_t r = a - 1;
  f.overflow = a == Width<T>::kSign;
  f.aux = static_cast<int32_t>((a ^ r ^ 1) & 0x10);
  SetSources<T>(f, r);
  return static_cast<T>(r);
}

}  // namespace kestra::cpu
