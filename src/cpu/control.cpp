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
Next JumpIf(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m, ip);
  if (Holds<C>(c.flags)) {
    ip = Relative(ip, d);
    budget -= 3;
  } else {
    budget -= 1;
  }
  return {ip, budget};
}

Next CallNear(Machine& m, uint32_t ip, int32_t budget) {
  const uint16_t d = Fetch16(m, ip);
  Push(m, static_cast<uint16_t>(ip));
  ip = Relative(ip, d);
  budget -= 5;
  return {ip, budget};
}

Next JumpNear(Machine& m, uint32_t ip, int32_t budget) {
  const uint16_t d = Fetch16(m, ip);
  ip = Relative(ip, d);
  budget -= 4;
  return {ip, budget};
}

// JMP $ waits for an interrupt: the rest of the run is given up.
Next JumpShort(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t d = Fetch8(m, ip);
  budget -= 4;
  ip = Relative(ip, static_cast<uint16_t>(static_cast<int8_t>(d)));
  if (d != 0xFE || budget <= 0) return {ip, budget};
  if (!c.IdleSkipInhibit) budget %= 12;
  // The run loop would execute this same jump again until the budget is
  // spent, changing nothing else: charge those iterations at once. Not from
  // inside another instruction, which may remap the code before the run
  // loop fetches again.
  if (!c.nestedStep) budget -= 4 * ((budget + 3) / 4);
  return {ip, budget};
}

// Returns the new IP; a call pushes CS and the IP it was given.
uint32_t FarTo(Machine& m, uint32_t ip, uint16_t target, uint16_t cs, bool call) {
  CpuState& c = m.cpu;
  if (call) {
    Push(m, c.regs.w[CS]);
    Push(m, static_cast<uint16_t>(ip));
  }
  LoadCs(m, cs);
  return target;
}

Next JumpFar(Machine& m, uint32_t ip, int32_t budget) {
  const uint16_t target = Fetch16(m, ip);
  const uint16_t cs = Fetch16(m, ip);
  budget -= 7;
  return {FarTo(m, ip, target, cs, false), budget};
}

Next CallFar(Machine& m, uint32_t ip, int32_t budget) {
  const uint16_t target = Fetch16(m, ip);
  const uint16_t cs = Fetch16(m, ip);
  budget -= 10;
  return {FarTo(m, ip, target, cs, true), budget};
}

template <bool Far, bool Release, int Cost>
Next Return(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t release = Release ? Fetch16(m, ip) : 0;
  ip = Pop(m);
  if constexpr (Far) LoadCs(m, Pop(m));
  c.regs.w[SP] = static_cast<uint16_t>(c.regs.w[SP] + release);
  budget -= Cost;
  return {ip, budget};
}

// LOOP (Zf = -1), LOOPZ (1), LOOPNZ (0).
template <int Zf, int Taken, int NotTaken>
Next Loop(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m, ip);
  const uint16_t cx = --c.regs.w[CX];
  if (cx != 0 && (Zf < 0 || ZeroFlag(c.flags) == (Zf == 1))) {
    ip = Relative(ip, d);
    budget -= Taken;
  } else {
    budget -= NotTaken;
  }
  return {ip, budget};
}

Next Jcxz(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t d = FetchSigned8(m, ip);
  if (c.regs.w[CX] == 0) {
    ip = Relative(ip, d);
    budget -= 4;
  } else {
    budget -= 1;
  }
  return {ip, budget};
}

// ---- interrupts ----
Next Int3(Machine& m, uint32_t ip, int32_t budget) {
  budget -= 9;
  return Trap(m, ip, budget, 3);
}

Next IntImm(Machine& m, uint32_t ip, int32_t budget) {
  const uint8_t vector = Fetch8(m, ip);
  budget -= 10;
  return Trap(m, ip, budget, vector);
}

Next Into(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  if (OverflowFlag(c.flags)) {
    budget -= 13;
    return Trap(m, ip, budget, 4);
  } else {
    budget -= 6;
  }
  return {ip, budget};
}

Next Iret(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  ip = Pop(m);
  LoadCs(m, Pop(m));
  LoadFlagsWord(c.flags, Pop(m));
  budget -= 13;
  return {ip, budget};
}

// Bounds compared unsigned; a register operand reads its upper bound beside
// the last memory operand decoded.
Next Bound(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint16_t lower = ReadRm<uint16_t>(m, ip, modrm);
  const uint16_t upper = ReadWord(m, SecondWordAddress(c.EaLinear));
  const uint16_t v = RegOperand<uint16_t>(c, modrm);
  budget -= 13;
  if (v < lower || v > upper) {
    budget -= 7;
    return Trap(m, ip, budget, 5);
  }
  return {ip, budget};
}

// HLT does not wait: one more instruction runs, then the run ends.
Next Halt(Machine& m, uint32_t ip, int32_t budget) {
  budget = 1;
  FreeStep(m.cpu, budget);  // HLT after HLT would otherwise never end the run
  return {ip, budget};
}

// ---- groups ----
Next GroupFE(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint8_t a = ReadRm<uint8_t>(m, ip, modrm);
  switch ((modrm >> 3) & 7) {
    case 0:
      WriteRm<uint8_t>(m, modrm, IncFlags<uint8_t>(c.flags, a));
      Charge(budget, modrm, 1, 3);
      break;
    case 1:
      WriteRm<uint8_t>(m, modrm, DecFlags<uint8_t>(c.flags, a));
      Charge(budget, modrm, 1, 3);
      break;
    default:
      FreeStep(c, budget);
      break;
  }
  return {ip, budget};
}

Next GroupFF(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint16_t a = ReadRm<uint16_t>(m, ip, modrm);
  switch ((modrm >> 3) & 7) {
    case 0:
      WriteRm<uint16_t>(m, modrm, IncFlags<uint16_t>(c.flags, a));
      Charge(budget, modrm, 1, 3);
      break;
    case 1:
      WriteRm<uint16_t>(m, modrm, DecFlags<uint16_t>(c.flags, a));
      Charge(budget, modrm, 1, 3);
      break;
    case 2:
      Push(m, static_cast<uint16_t>(ip));
      ip = a;
      Charge(budget, modrm, 5, 6);
      break;
    case 3:
      ip = FarTo(m, ip, a, ReadWord(m, SecondWordAddress(c.EaLinear)), true);
      Charge(budget, modrm, 1, 12);
      break;
    case 4:
      ip = a;
      Charge(budget, modrm, 4, 5);
      break;
    case 5:
      ip = FarTo(m, ip, a, ReadWord(m, SecondWordAddress(c.EaLinear)), false);
      Charge(budget, modrm, 1, 10);
      break;
    case 6:
      Push(m, a);  // the operand was read before SP moved
      Charge(budget, modrm, 1, 2);
      break;
    default:
      FreeStep(c, budget);
      break;
  }
  return {ip, budget};
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
