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

template <int C>
uint32_t JumpIf(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m, ip);
  if (Holds<C>(c.flags)) {
    ip = Relative(ip, d);
    c.CycleBudget -= 3;
  } else {
    c.CycleBudget -= 1;
  }
  return ip;
}

uint32_t CallNear(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint16_t d = Fetch16(m, ip);
  Push(m, static_cast<uint16_t>(ip));
  ip = Relative(ip, d);
  c.CycleBudget -= 5;
  return ip;
}

uint32_t JumpNear(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint16_t d = Fetch16(m, ip);
  ip = Relative(ip, d);
  c.CycleBudget -= 4;
  return ip;
}

// JMP $ waits for an interrupt: the rest of the run is given up.
uint32_t JumpShort(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint8_t d = Fetch8(m, ip);
  c.CycleBudget -= 4;
  ip = Relative(ip, static_cast<uint16_t>(static_cast<int8_t>(d)));
  if (d != 0xFE || c.CycleBudget <= 0) return ip;
  if (!c.IdleSkipInhibit) c.CycleBudget %= 12;
  // The run loop would execute this same jump again until the budget is
  // spent, changing nothing else: charge those iterations at once. Not from
  // inside another instruction, which may remap the code before the run
  // loop fetches again.
  if (!c.nestedStep) c.CycleBudget -= 4 * ((c.CycleBudget + 3) / 4);
  return ip;
}

// Returns the new IP; a call pushes CS and the IP it was given.
uint32_t FarTo(Machine& m, uint32_t ip, uint16_t target, uint16_t cs, bool call) {
  CpuState& c = m.cpu;
  if (call) {
    Push(m, c.regs.w[CS]);
    Push(m, static_cast<uint16_t>(ip));
  }
  LoadCs(c, cs);
  return target;
}

uint32_t JumpFar(Machine& m, uint32_t ip) {
  const uint16_t target = Fetch16(m, ip);
  const uint16_t cs = Fetch16(m, ip);
  m.cpu.CycleBudget -= 7;
  return FarTo(m, ip, target, cs, false);
}

uint32_t CallFar(Machine& m, uint32_t ip) {
  const uint16_t target = Fetch16(m, ip);
  const uint16_t cs = Fetch16(m, ip);
  m.cpu.CycleBudget -= 10;
  return FarTo(m, ip, target, cs, true);
}

template <bool Far, bool Release, int Cost>
uint32_t Return(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint16_t release = Release ? Fetch16(m, ip) : 0;
  ip = Pop(m);
  if constexpr (Far) LoadCs(c, Pop(m));
  c.regs.w[SP] = static_cast<uint16_t>(c.regs.w[SP] + release);
  c.CycleBudget -= Cost;
  return ip;
}

// LOOP (Zf = -1), LOOPZ (1), LOOPNZ (0).
template <int Zf, int Taken, int NotTaken>
uint32_t Loop(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m, ip);
  const uint16_t cx = --c.regs.w[CX];
  if (cx != 0 && (Zf < 0 || ZeroFlag(c.flags) == (Zf == 1))) {
    ip = Relative(ip, d);
    c.CycleBudget -= Taken;
  } else {
    c.CycleBudget -= NotTaken;
  }
  return ip;
}

uint32_t Jcxz(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m, ip);
  if (c.regs.w[CX] == 0) {
    ip = Relative(ip, d);
    c.CycleBudget -= 4;
  } else {
    c.CycleBudget -= 1;
  }
  return ip;
}

// ---- interrupts ----
uint32_t Int3(Machine& m, uint32_t ip) {
  m.cpu.CycleBudget -= 9;
  return Trap(m, ip, 3);
}

uint32_t IntImm(Machine& m, uint32_t ip) {
  const uint8_t vector = Fetch8(m, ip);
  m.cpu.CycleBudget -= 10;
  return Trap(m, ip, vector);
}

uint32_t Into(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  if (OverflowFlag(c.flags)) {
    c.CycleBudget -= 13;
    return Trap(m, ip, 4);
  } else {
    c.CycleBudget -= 6;
  }
  return ip;
}

uint32_t Iret(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  ip = Pop(m);
  LoadCs(c, Pop(m));
  LoadFlagsWord(c.flags, Pop(m));
  c.CycleBudget -= 13;
  return ip;
}

// Bounds compared unsigned; a register operand reads its upper bound beside
// the last memory operand decoded.
uint32_t Bound(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint16_t lower = ReadRm<uint16_t>(m, ip, modrm);
  const uint16_t upper = ReadWord(m, SecondWordAddress(c.EaLinear));
  const uint16_t v = RegOperand<uint16_t>(c, modrm);
  c.CycleBudget -= 13;
  if (v < lower || v > upper) {
    c.CycleBudget -= 7;
    return Trap(m, ip, 5);
  }
  return ip;
}

// HLT does not wait: one more instruction runs, then the run ends.
uint32_t Halt(Machine& m, uint32_t ip) {
  m.cpu.CycleBudget = 1;
  FreeStep(m.cpu);  // HLT after HLT would otherwise never end the run
  return ip;
}

// ---- groups ----
uint32_t GroupFE(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint8_t a = ReadRm<uint8_t>(m, ip, modrm);
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
  return ip;
}

uint32_t GroupFF(Machine& m, uint32_t ip) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint16_t a = ReadRm<uint16_t>(m, ip, modrm);
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
      Push(m, static_cast<uint16_t>(ip));
      ip = a;
      Charge(c, modrm, 5, 6);
      break;
    case 3:
      ip = FarTo(m, ip, a, ReadWord(m, SecondWordAddress(c.EaLinear)), true);
      Charge(c, modrm, 1, 12);
      break;
    case 4:
      ip = a;
      Charge(c, modrm, 4, 5);
      break;
    case 5:
      ip = FarTo(m, ip, a, ReadWord(m, SecondWordAddress(c.EaLinear)), false);
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
  return ip;
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
