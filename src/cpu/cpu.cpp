// CPU state, the run loop, dispatch, ModRM address forms and the prefixes
// that act on dispatch itself (segment override, LOCK).
#include "cpu/cpu.h"

#include <utility>

#include "cpu/exec.h"

namespace kestra {

using namespace cpu;

namespace {

// ---- effective-address forms ----
template <int Mod, int Rm>
uint32_t EaFormFor(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint16_t* r = c.regs.w;
  uint32_t off = 0;
  int seg = DS;
  if constexpr (Rm == 0) off = r[BX] + r[SI];
  else if constexpr (Rm == 1) off = r[BX] + r[DI];
  else if constexpr (Rm == 2) off = r[BP] + r[SI], seg = SS;
  else if constexpr (Rm == 3) off = r[BP] + r[DI], seg = SS;
  else if constexpr (Rm == 4) off = r[SI];
  else if constexpr (Rm == 5) off = r[DI];
  else if constexpr (Rm == 6 && Mod != 0) off = r[BP], seg = SS;
  else if constexpr (Rm == 7) off = r[BX];

  if constexpr (Mod == 0 && Rm == 6) off = Fetch16(m, ip);
  else if constexpr (Mod == 1) off += FetchSigned8(m, ip);
  else if constexpr (Mod == 2) off += Fetch16(m, ip);

  c.EaOffset = static_cast<uint16_t>(off);
  c.EaLinear = DataBase(c, seg) + c.EaOffset;
  return ip;
}

template <size_t... I>
constexpr std::array<EaForm, 192> MakeEaTable(std::index_sequence<I...>) {
  return {{&EaFormFor<(I >> 6), (I & 7)>...}};
}

// ---- prefixes and one-byte no-ops handled at dispatch level ----
template <int Seg>
Next SegmentPrefix(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  c.segOverride.active = 1;
  c.segOverride.base = SegBase(c, Seg);
  budget -= 1;
  // The prefixed instruction runs at once: one indivisible step.
  if (c.nesting < kMaxNesting) {
    ++c.nesting;
    const uint8_t op = Fetch8(m, ip);
    const Next next = OpcodeTable[op](m, ip, budget);
    ip = next.ip;
    budget = next.budget;
    --c.nesting;
  }
  c.segOverride.active = 0;
  return {ip, budget};
}

Next Lock(Machine& m, uint32_t ip, int32_t budget) {
  budget -= 1;
  m.cpu.IdleSkipInhibit = 1;
  return {ip, budget};
}

Next Undefined(Machine& m, uint32_t ip, int32_t budget) { budget -= 10; return {ip, budget}; }

Next Wait(Machine& m, uint32_t ip, int32_t budget) { FreeStep(m.cpu, budget); return {ip, budget}; }

Next Escape(Machine& m, uint32_t ip, int32_t budget) {
  Fetch8(m, ip);  // the ModRM byte only, whatever its mod field says
  budget -= 3;
  return {ip, budget};
}

// A NOP followed by JMP $-1 is a wait loop: give up the run's remainder.
Next Nop(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  budget -= 1;
  if (c.IdleSkipInhibit || budget <= 0) return {ip, budget};
  if (ReadMemory(m, SegBase(c, CS) + ip) == 0xEB &&
      ReadMemory(m, SegBase(c, CS) + static_cast<uint16_t>(ip + 1)) == 0xFD) {
    budget %= 15;
  }
  return {ip, budget};
}

HandlerTable BuildOpcodeTable() {
  HandlerTable t{};
  InstallAlu(t);
  InstallMoves(t);
  InstallControl(t);
  InstallShifts(t);
  InstallMulDiv(t);
  InstallStrings(t);
  InstallExtended(t);
  t[0x26] = SegmentPrefix<ES>;
  t[0x2E] = SegmentPrefix<CS>;
  t[0x36] = SegmentPrefix<SS>;
  t[0x3E] = SegmentPrefix<DS>;
  t[0xF0] = Lock;
  for (int op : {0x63, 0x66, 0x67, 0xF1}) t[op] = Undefined;
  t[0x9B] = Wait;
  for (int op = 0xD8; op <= 0xDF; ++op) t[op] = Escape;
  t[0x90] = Nop;
  return t;
}

constexpr int kRegisterIndex[15] = {-1, IP, AX, CX, DX, BX, SP, BP, SI, DI, -1, ES, CS, SS, DS};

}  // namespace

namespace cpu {
const std::array<EaForm, 192> EaTable = MakeEaTable(std::make_index_sequence<192>{});
const HandlerTable OpcodeTable = BuildOpcodeTable();
}  // namespace cpu

uint16_t FlagsWord(const FlagState& f) {
  return static_cast<uint16_t>(CarryFlag(f) | ParityFlag(f) << 2 | AuxFlag(f) << 4 |
                               ZeroFlag(f) << 6 | SignFlag(f) << 7 | f.trap << 8 |
                               f.interruptEnable << 9 | f.direction << 10 |
                               OverflowFlag(f) << 11);
}

void LoadFlagsWord(FlagState& f, uint16_t word) {
  f.carry = word & 0x001;
  f.aux = word & 0x010;
  f.overflow = word & 0x800;
  f.paritySource = (word & 0x04) ? 0 : 1;
  f.zeroSource = (word & 0x40) ? 0 : 1;
  f.signSource = (word & 0x80) ? -1 : 0;
  f.trap = (word >> 8) & 1;
  f.interruptEnable = (word >> 9) & 1;
  f.direction = (word >> 10) & 1;
}

void CpuReset(Machine& m) {
  m.cpu = CpuState{};
  m.cpu.regs.w[CS] = 0xFFFF;
}

int32_t CpuRun(Machine& m, int32_t budget) {
  CpuState& c = m.cpu;
  c.CycleBudget = budget;
  c.freeSteps = 0;
  OpenCodeWindow(m);  // CS or the banks may have changed since the last run
  if (budget <= 0) return 0;
  // The first instruction apart: its fetch takes the window just opened
  // without loading it again.
  uint32_t ip = RestoreIp(c);
  uint8_t op = Fetch8(m, ip);
  Next next = OpcodeTable[op](m, ip, budget);
  while (next.budget > 0) {
    ip = static_cast<uint32_t>(next.ip);
    op = Fetch8(m, ip);
    next = OpcodeTable[op](m, ip, static_cast<int32_t>(next.budget));
  }
  const int32_t left = static_cast<int32_t>(next.budget);
  SaveRun(c, static_cast<uint32_t>(next.ip), left);
  return budget - left;
}

void CpuStep(Machine& m) {
  // Runs from inside an OUT, which may itself carry a segment prefix.
  CpuState& c = m.cpu;
  if (c.nesting >= kMaxNesting) return;
  const SegmentOverride saved = c.segOverride;
  const uint8_t nested = c.nestedStep;
  c.segOverride.active = 0;
  c.nestedStep = 1;
  ++c.nesting;
  OpenCodeWindow(m);
  uint32_t ip = RestoreIp(c);
  const uint8_t op = Fetch8(m, ip);
  const Next next = OpcodeTable[op](m, ip, c.CycleBudget);
  SaveRun(c, next.ip, next.budget);
  --c.nesting;
  c.segOverride = saved;
  c.nestedStep = nested;
}

uint16_t GetCpuRegister(const Machine& m, int index) {
  if (index == 10) return FlagsWord(m.cpu.flags);
  if (index < 0 || index > 14 || kRegisterIndex[index] < 0) return 0;
  return m.cpu.regs.w[kRegisterIndex[index]];
}

void SetCpuRegister(Machine& m, int index, uint16_t value) {
  if (index == 10) {
    LoadFlagsWord(m.cpu.flags, value);
    return;
  }
  if (index < 0 || index > 14 || kRegisterIndex[index] < 0) return;
  m.cpu.regs.w[kRegisterIndex[index]] = value;
  CloseCodeWindow(m);
}

void PushFlags(Machine& m) {
  Push(m, FlagsWord(m.cpu.flags));
  m.cpu.CycleBudget -= 2;
}

namespace {

// Traps and hardware interrupts alike. A hardware vector may lie past
// 0x3FF (base port plus cause), so the address is not masked here.
void EnterVector(Machine& m, uint32_t entry) {
  CpuState& c = m.cpu;
  PushFlags(m);
  c.flags.interruptEnable = 0;
  c.flags.trap = 0;
  const uint16_t ip = ReadWord(m, entry);
  const uint16_t cs = ReadWord(m, entry + 2);
  Push(m, c.regs.w[CS]);
  Push(m, c.regs.w[IP]);
  c.regs.w[IP] = ip;
  LoadCs(m, cs);
}

}  // namespace

void EnterTrap(Machine& m, int vector) { EnterVector(m, static_cast<uint32_t>(vector & 0xFF) * 4); }

void EnterInterrupt(Machine& m, uint32_t vectorAddress) {
  if (m.cpu.flags.interruptEnable) EnterVector(m, vectorAddress);
}

void DispatchInterrupt(Machine& m, uint8_t status) {
  if (status == 0) return;
  const uint32_t n = static_cast<uint32_t>(std::bit_width(status)) - 1;  // highest bit wins
  EnterInterrupt(m, (m.io.IoPorts[kPortInterruptBase] + n) * 4);
}

}  // namespace kestra
