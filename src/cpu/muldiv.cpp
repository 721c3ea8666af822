// Unary groups 0xF6/0xF7 (TEST, NOT, NEG, MUL, IMUL, DIV, IDIV), IMUL with
// an immediate and the decimal adjustments.
#include "cpu/exec.h"

namespace kestra::cpu {
namespace {

template <typename T>
struct UnaryCosts;
template <>
struct UnaryCosts<uint8_t> {
  static constexpr int kDiv[2] = {15, 16}, kIdiv[2] = {17, 18};
};
template <>
struct UnaryCosts<uint16_t> {
  static constexpr int kDiv[2] = {23, 24}, kIdiv[2] = {24, 25};
};

// MUL and one-operand IMUL: CF = OF = (high half != 0), even for a negative
// product that fits the low half.
template <typename T, bool Signed>
void Multiply(CpuState& c, T operand) {
  FlagState& f = c.flags;
  if constexpr (sizeof(T) == 1) {
    const uint8_t al = Reg8(c, 0);
    c.regs.w[AX] = Signed ? static_cast<uint16_t>(static_cast<int8_t>(al) * static_cast<int8_t>(operand))
                          : static_cast<uint16_t>(al * operand);
    f.carry = f.overflow = Reg8(c, 1) != 0;
  } else {
    const uint16_t ax = c.regs.w[AX];
    const uint32_t p = Signed ? static_cast<uint32_t>(static_cast<int16_t>(ax) * static_cast<int16_t>(operand))
                              : static_cast<uint32_t>(ax) * operand;
    c.regs.w[AX] = static_cast<uint16_t>(p);
    c.regs.w[DX] = static_cast<uint16_t>(p >> 16);
    f.carry = f.overflow = c.regs.w[DX] != 0;
  }
}

// Divide error on a zero divisor (the instruction's cost is still charged)
// or a quotient above the width's unsigned maximum (nothing more charged).
template <typename T, bool Signed>
Next Divide(Machine& m, uint32_t ip, int32_t budget, T divisor, int cost) {
  CpuState& c = m.cpu;
  if (divisor == 0) return Trap(m, ip, budget - cost, 0);
  constexpr int64_t kMax = sizeof(T) == 1 ? 0xFF : 0xFFFF;
  int64_t dividend, d = divisor;
  if constexpr (sizeof(T) == 1) {
    dividend = Signed ? static_cast<int16_t>(c.regs.w[AX]) : c.regs.w[AX];
    if (Signed) d = static_cast<int8_t>(divisor);
  } else {
    const uint32_t wide = static_cast<uint32_t>(c.regs.w[DX]) << 16 | c.regs.w[AX];
    dividend = Signed ? static_cast<int32_t>(wide) : static_cast<int64_t>(wide);
    if (Signed) d = static_cast<int16_t>(divisor);
  }
  const int64_t q = dividend / d;
  const int64_t r = dividend % d;
  if (q > kMax) return Trap(m, ip, budget, 0);
  if constexpr (sizeof(T) == 1) {
    Reg8(c, 0) = static_cast<uint8_t>(q);
    Reg8(c, 1) = static_cast<uint8_t>(r);
  } else {
    c.regs.w[AX] = static_cast<uint16_t>(q);
    c.regs.w[DX] = static_cast<uint16_t>(r);
  }
  return {ip, budget - cost};
}

template <typename T, bool Memory>
Next UnaryGroup(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  FlagState& f = c.flags;
  const T a = ReadRm<T>(m, ip, modrm);
  const int memory = modrm < 0xC0;
  switch ((modrm >> 3) & 7) {
    case 0:
      LogicFlags<T>(f, a & FetchImm<T>(m, ip));
      Charge(budget, modrm, 1, 2);
      break;
    case 1:  // no immediate, no cycles
      FreeStep(c, budget);
      break;
    case 2:
      WriteRm<T>(m, modrm, static_cast<T>(~a));
      Charge(budget, modrm, 1, 3);
      break;
    case 3: {
      const T r = static_cast<T>(0u - a);
      f.carry = a != 0;
      SetSources<T>(f, r);
      WriteRm<T>(m, modrm, r);
      Charge(budget, modrm, 1, 3);
      break;
    }
    case 4:
      Multiply<T, false>(c, a);
      Charge(budget, modrm, 3, 4);
      break;
    case 5:
      Multiply<T, true>(c, a);
      Charge(budget, modrm, 3, 4);
      break;
    case 6:
      return Divide<T, false>(m, ip, budget, a, UnaryCosts<T>::kDiv[memory]);
    default:
      return Divide<T, true>(m, ip, budget, a, UnaryCosts<T>::kIdiv[memory]);
  }
  return {ip, budget};
}

// 0x69 / 0x6B: reg16 = r/m16 * immediate; CF = OF = product outside int16.
template <bool ByteImmediate, bool Memory>
Next MultiplyImmediate(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  const uint16_t a = ReadRm<uint16_t>(m, ip, modrm);
  const uint16_t imm = ByteImmediate ? FetchSigned8(m, ip) : Fetch16(m, ip);
  const int32_t p = static_cast<int16_t>(a) * static_cast<int16_t>(imm);
  RegOperand<uint16_t>(c, modrm) = static_cast<uint16_t>(p);
  c.flags.carry = c.flags.overflow = p < -32768 || p > 32767;
  Charge(budget, modrm, 3, 4);
  return {ip, budget};
}

// DAA (+1) and DAS (-1): the second test looks at the already adjusted AL;
// neither step clears a flag.
template <int Sign>
Next DecimalAdjust(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  FlagState& f = c.flags;
  uint8_t& al = Reg8(c, 0);
  if (AuxFlag(f) || (al & 0x0F) > 9) {
    al = static_cast<uint8_t>(al + Sign * 6);
    f.aux = 0x10;
  }
  if (CarryFlag(f) || al >= 0xA0) {
    al = static_cast<uint8_t>(al + Sign * 0x60);
    f.carry = 1;
  }
  SetSources<uint8_t>(f, al);
  budget -= 10;
  return {ip, budget};
}

// AAA (+1) and AAS (-1).
template <int Sign>
Next AsciiAdjust(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  FlagState& f = c.flags;
  uint8_t& al = Reg8(c, 0);
  if (AuxFlag(f) || (al & 0x0F) > 9) {
    al = static_cast<uint8_t>(al + Sign * 6);
    Reg8(c, 1) = static_cast<uint8_t>(Reg8(c, 1) + Sign);
    f.aux = 0x10;
    f.carry = 1;
  } else {
    f.aux = f.carry = 0;
  }
  al &= 0x0F;
  budget -= 9;
  return {ip, budget};
}

// AAM and AAD ignore their immediate: the base is always 10.
Next Aam(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  Fetch8(m, ip);
  const uint8_t al = Reg8(c, 0);
  Reg8(c, 1) = al / 10;
  Reg8(c, 0) = al % 10;
  SetSources<uint16_t>(c.flags, c.regs.w[AX]);
  budget -= 17;
  return {ip, budget};
}

Next Aad(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  Fetch8(m, ip);
  Reg8(c, 0) = static_cast<uint8_t>(Reg8(c, 0) + Reg8(c, 1) * 10);
  Reg8(c, 1) = 0;
  SetSources<uint8_t>(c.flags, Reg8(c, 0));
  budget -= 6;
  return {ip, budget};
}

}  // namespace

void InstallMulDiv(HandlerTable& t) {
  t[0xF6] = ByOperandKind<UnaryGroup<uint8_t, false>, UnaryGroup<uint8_t, true>>;
  t[0xF7] = ByOperandKind<UnaryGroup<uint16_t, false>, UnaryGroup<uint16_t, true>>;
  t[0x69] = ByOperandKind<MultiplyImmediate<false, false>, MultiplyImmediate<false, true>>;
  t[0x6B] = ByOperandKind<MultiplyImmediate<true, false>, MultiplyImmediate<true, true>>;
  t[0x27] = DecimalAdjust<1>;
  t[0x2F] = DecimalAdjust<-1>;
  t[0x37] = AsciiAdjust<1>;
  t[0x3F] = AsciiAdjust<-1>;
  t[0xD4] = Aam;
  t[0xD5] = Aad;
}

}  // namespace kestra::cpu
