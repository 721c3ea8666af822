// Jumps, calls, returns, loops, software interrupts, BOUND, HLT and the
// groups 0xFE/0xFF.
#include <utility>

#include "cpu/exec.h"

namespace kestra::cpu {
namespace {

enum Condition { kO, kNO, kB, kNB, kZ, kNZ, kBE, kA, kS, kNS, kP, kNP, kL, kGE, kLE, kG };

// JL and JGE also look at ZF: a zero result never counts as "less".
template <int C>
bool Holds(const FlagState& f) {
  if constexpr (C == kO) return OverflowFlag(f);
  else if constexpr (C == kNO) return !OverflowFlag(f);
  else if constexpr (C == kB) return CarryFlag(f);
  else if constexpr (C == kNB) return !CarryFlag(f);
  else if constexpr (C == kZ) return ZeroFlag(f);
  else if constexpr (C == kNZ) return !ZeroFlag(f);
  else if constexpr (C == kBE) return CarryFlag(f) || ZeroFlag(f);
  else if constexpr (C == kA) return !CarryFlag(f) && !ZeroFlag(f);
  else if constexpr (C == kS) return SignFlag(f);
  else if constexpr (C == kNS) return !SignFlag(f);
  else if constexpr (C == kP) return ParityFlag(f);
  else if constexpr (C == kNP) return !ParityFlag(f);
  else if constexpr (C == kL) return SignFlag(f) != OverflowFlag(f) && !ZeroFlag(f);
  else if constexpr (C == kGE) return SignFlag(f) == OverflowFlag(f) || ZeroFlag(f);
  else if constexpr (C == kLE) return SignFlag(f) != OverflowFlag(f) || ZeroFlag(f);
  else return SignFlag(f) == OverflowFlag(f) && !ZeroFlag(f);
}

inline void JumpRelative(CpuState& c, uint16_t displacement) {
  c.regs.w[IP] = static_cast<uint16_t>(c.regs.w[IP] + displacement);
}

template <int C>
void JumpIf(Machine& m) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m);
  if (Holds<C>(c.flags)) {
    JumpRelative(c, d);
    c.CycleBudget -= 3;
  } else {
    c.CycleBudget -= 1;
  }
}

void CallNear(Machine& m) {
  CpuState& c = m.cpu;
  const uint16_t d = Fetch16(m);
  Push(m, c.regs.w[IP]);
  JumpRelative(c, d);
  c.CycleBudget -= 5;
}

void JumpNear(Machine& m) {
  CpuState& c = m.cpu;
  JumpRelative(c, Fetch16(m));
  c.CycleBudget -= 4;
}

// JMP $ waits for an interrupt: the rest of the run is given up.
void JumpShort(Machine& m) {
  CpuState& c = m.cpu;
  const uint8_t d = Fetch8(m);
  c.CycleBudget -= 4;
  JumpRelative(c, static_cast<uint16_t>(static_cast<int8_t>(d)));
  if (d != 0xFE || c.CycleBudget <= 0) return;
  if (!c.IdleSkipInhibit) c.CycleBudget %= 12;
  // The run loop would execute this same jump again until the budget is
  // spent, changing nothing else: charge those iterations at once. Not from
  // inside another instruction, which may remap the code before the run
  // loop fetches again.
  if (!c.nestedStep) c.CycleBudget -= 4 * ((c.CycleBudget + 3) / 4);
}

void FarTo(Machine& m, uint16_t ip, uint16_t cs, bool call) {
  CpuState& c = m.cpu;
  if (call) {
    Push(m, c.regs.w[CS]);
    Push(m, c.regs.w[IP]);
  }
  c.regs.w[IP] = ip;
  LoadCs(c, cs);
}

void JumpFar(Machine& m) {
  const uint16_t ip = Fetch16(m);
  FarTo(m, ip, Fetch16(m), false);
  m.cpu.CycleBudget -= 7;
}

void CallFar(Machine& m) {
  const uint16_t ip = Fetch16(m);
  FarTo(m, ip, Fetch16(m), true);
  m.cpu.CycleBudget -= 10;
}

template <bool Far, bool Release, int Cost>
void Return(Machine& m) {
  CpuState& c = m.cpu;
  const uint16_t release = Release ? Fetch16(m) : 0;
  c.regs.w[IP] = Pop(m);
  if constexpr (Far) LoadCs(c, Pop(m));
  c.regs.w[SP] = static_cast<uint16_t>(c.regs.w[SP] + release);
  c.CycleBudget -= Cost;
}

// LOOP (Zf = -1), LOOPZ (1), LOOPNZ (0).
template <int Zf, int Taken, int NotTaken>
void Loop(Machine& m) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m);
  const uint16_t cx = --c.regs.w[CX];
  if (cx != 0 && (Zf < 0 || ZeroFlag(c.flags) == (Zf == 1))) {
    JumpRelative(c, d);
    c.CycleBudget -= Taken;
  } else {
    c.CycleBudget -= NotTaken;
  }
}

void Jcxz(Machine& m) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m);
  if (c.regs.w[CX] == 0) {
    JumpRelative(c, d);
    c.CycleBudget -= 4;
  } else {
    c.CycleBudget -= 1;
  }
}

// ---- interrupts ----
void Int3(Machine& m) {
  m.cpu.CycleBudget -= 9;
  EnterTrap(m, 3);
}

void IntImm(Machine& m) {
  const uint8_t vector = Fetch8(m);
  m.cpu.CycleBudget -= 10;
  EnterTrap(m, vector);
}

void Into(Machine& m) {
  CpuState& c = m.cpu;
  if (OverflowFlag(c.flags)) {
    c.CycleBudget -= 13;
    EnterTrap(m, 4);
  } else {
    c.CycleBudget -= 6;
  }
}

void Iret(Machine& m) {
  CpuState& c = m.cpu;
  c.regs.w[IP] = Pop(m);
  LoadCs(c, Pop(m));
  LoadFlagsWord(c.flags, Pop(m));
  c.CycleBudget -= 13;
}

// Bounds compared unsigned; a register operand reads its upper bound beside
// the last memory operand decoded.
void Bound(Machine& m) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m);
  const uint16_t lower = ReadRm<uint16_t>(m, modrm);
  const uint16_t upper = ReadWord(m, SecondWordAddress(c.EaLinear));
  const uint16_t v = RegOperand<uint16_t>(c, modrm);
  c.CycleBudget -= 13;
  if (v < lower || v > upper) {
    c.CycleBudget -= 7;
    EnterTrap(m, 5);
  }
}

// HLT does not wait: one more instruction runs, then the run ends.
void Halt(Machine& m) {
  m.cpu.CycleBudget = 1;
  FreeStep(m.cpu);  // HLT after HLT would otherwise never end the run
}

// ---- groups ----
void GroupFE(Machine& m) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m);
  const uint8_t a = ReadRm<uint8_t>(m, modrm);
  switch ((modrm >> 3) & 7) {
    case 0:
      WriteRm<uint8_t>(m, modrm, IncFlags<uint8_t>(c.flags, a));
      Charge(c, modrm, 1, 3);
      break;
    case 1:
      WriteRm<uint8_t>(m, modrm, DecFlags<uint8_t>(c.flags, a));
      Charge(c, modrm, 1, 3);
      break;
    default:
      FreeStep(c);
      break;
  }
}

void GroupFF(Machine& m) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m);
  const uint16_t a = ReadRm<uint16_t>(m, modrm);
  switch ((modrm >> 3) & 7) {
    case 0:
      WriteRm<uint16_t>(m, modrm, IncFlags<uint16_t>(c.flags, a));
      Charge(c, modrm, 1, 3);
      break;
    case 1:
      WriteRm<uint16_t>(m, modrm, DecFlags<uint16_t>(c.flags, a));
      Charge(c, modrm, 1, 3);
      break;
    case 2:
      Push(m, c.regs.w[IP]);
      c.regs.w[IP] = a;
      Charge(c, modrm, 5, 6);
      break;
    case 3:
      FarTo(m, a, ReadWord(m, SecondWordAddress(c.EaLinear)), true);
      Charge(c, modrm, 1, 12);
      break;
    case 4:
      c.regs.w[IP] = a;
      Charge(c, modrm, 4, 5);
      break;
    case 5:
      FarTo(m, a, ReadWord(m, SecondWordAddress(c.EaLinear)), false);
      Charge(c, modrm, 1, 10);
      break;
    case 6:
      Push(m, a);  // the operand was read before SP moved
      Charge(c, modrm, 1, 2);
      break;
    default:
      FreeStep(c);
      break;
  }
}

template <int... C>
void InstallConditional(HandlerTable& t, std::integer_sequence<int, C...>) {
  ((t[0x70 + C] = JumpIf<C>), ...);
}

}  // namespace

void InstallControl(HandlerTable& t) {
  InstallConditional(t, std::make_integer_sequence<int, 16>{});
  t[0xE8] = CallNear;
  t[0xE9] = JumpNear;
  t[0xEA] = JumpFar;
  t[0xEB] = JumpShort;
  t[0x9A] = CallFar;
  t[0xC3] = Return<false, false, 6>;
  t[0xC2] = Return<false, true, 6>;
  t[0xCB] = Return<true, false, 8>;
  t[0xCA] = Return<true, true, 9>;
  t[0xE2] = Loop<-1, 5, 2>;
  t[0xE1] = Loop<1, 6, 3>;
  t[0xE0] = Loop<0, 6, 3>;
  t[0xE3] = Jcxz;
  t[0xCC] = Int3;
  t[0xCD] = IntImm;
  t[0xCE] = Into;
  t[0xCF] = Iret;
  t[0x62] = Bound;
  t[0xF4] = Halt;
  t[0xFE] = GroupFE;
  t[0xFF] = GroupFF;
}

}  // namespace kestra::cpu
