// Shift and rotate groups 0xC0, 0xC1, 0xD0-0xD3. Reg field: 0 ROL, 1 ROR,
// 2 RCL, 3 RCR, 4 SHL, 5 SHR, 6 nothing, 7 SAR.
#include "cpu/exec.h"

namespace kestra::cpu {
namespace {

enum ShiftOperation { kRol, kRor, kRcl, kRcr, kShl, kShr, kNone, kSar };

// One rotate step; sets CF only.
template <typename T>
uint32_t RotateStep(FlagState& f, int op, uint32_t a) {
  constexpr uint32_t kSign = Width<T>::kSign;
  uint32_t r;
  switch (op) {
    case kRol:
      r = (a << 1) | ((a & kSign) ? 1 : 0);
      f.carry = (a & kSign) != 0;
      break;
    case kRor:
      r = (a >> 1) | ((a & 1) ? kSign : 0);
      f.carry = a & 1;
      break;
    case kRcl:
      r = (a << 1) | (CarryFlag(f) ? 1 : 0);
      f.carry = (a & kSign) != 0;
      break;
    default:  // kRcr
      r = (a >> 1) | (CarryFlag(f) ? kSign : 0);
      f.carry = a & 1;
      break;
  }
  return static_cast<T>(r);
}

// 0xD0, 0xD1: by one, with the overflow rules of the single step.
template <typename T, bool Memory>
Next ShiftByOne(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  constexpr uint32_t kSign = Width<T>::kSign;
  CpuState& c = m.cpu;
  FlagState& f = c.flags;
  const uint32_t a = ReadRm<T>(m, ip, modrm);
  const int op = (modrm >> 3) & 7;
  uint32_t r = a;
  switch (op) {
    case kRol:
    case kRcl:
      r = RotateStep<T>(f, op, a);
      f.overflow = static_cast<int32_t>((a ^ (a << 1)) & kSign);
      break;
    case kRor:
      r = RotateStep<T>(f, op, a);
      f.overflow = static_cast<int32_t>((a ^ r) & kSign);
      break;
    case kRcr: {
      const bool oldCarry = CarryFlag(f);
      r = RotateStep<T>(f, op, a);
      f.overflow = ((a & kSign) != 0) != oldCarry;
      break;
    }
    case kShl:
      r = static_cast<T>(a << 1);
      f.carry = static_cast<int32_t>(a & kSign);
      f.overflow = static_cast<int32_t>((a ^ (a << 1)) & kSign);
      f.aux = 1;
      SetSources<T>(f, r);
      break;
    case kShr:
      r = a >> 1;
      f.carry = a & 1;
      f.overflow = static_cast<int32_t>(a & kSign);
      f.aux = 1;
      SetSources<T>(f, r);
      break;
    case kSar:
      r = (a >> 1) | (a & kSign);
      f.carry = a & 1;
      f.overflow = 0;
      if constexpr (sizeof(T) == 2) f.aux = 1;  // the byte form keeps AF
      SetSources<T>(f, r);
      break;
    default:
      break;
  }
  if (op != kNone) WriteRm<T>(m, modrm, static_cast<T>(r));
  Charge(budget, modrm, 1, 3);
  return {ip, budget};
}

// 0xC0-0xC1 (by imm8) and 0xD2-0xD3 (by CL): count masked to 5 bits; OF is
// never touched; rotates by CL cost one more cycle per step.
template <typename T, bool ByCl, bool Memory>
Next ShiftByCount(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  FlagState& f = c.flags;
  const uint32_t a = ReadRm<T>(m, ip, modrm);
  const int count = (ByCl ? Reg8(c, 2) : Fetch8(m, ip)) & 0x1F;
  Charge(budget, modrm, 3, 5);
  if (count == 0) return {ip, budget};
  const int op = (modrm >> 3) & 7;
  uint32_t r = a;
  switch (op) {
    case kRol:
    case kRor:
    case kRcl:
    case kRcr:
      for (int i = 0; i < count; ++i) r = RotateStep<T>(f, op, r);
      if constexpr (ByCl) budget -= count;
      break;
    case kShl: {
      const uint64_t wide = static_cast<uint64_t>(a) << count;
      r = static_cast<T>(wide);
      f.carry = (wide >> Width<T>::kBits) & 1;
      f.aux = 1;
      SetSources<T>(f, r);
      break;
    }
    case kShr: {
      const uint32_t t = a >> (count - 1);
      f.carry = t & 1;
      r = t >> 1;
      f.aux = 1;
      SetSources<T>(f, r);
      break;
    }
    case kSar: {
      const int32_t t = SignExtend<T>(a) >> (count - 1);
      f.carry = t & 1;
      r = static_cast<T>(t >> 1);
      SetSources<T>(f, r);
      break;
    }
    default:
      return {ip, budget};
  }
  WriteRm<T>(m, modrm, static_cast<T>(r));
  return {ip, budget};
}

}  // namespace

void InstallShifts(HandlerTable& t) {
  t[0xD0] = ByOperandKind<ShiftByOne<uint8_t, false>, ShiftByOne<uint8_t, true>>;
  t[0xD1] = ByOperandKind<ShiftByOne<uint16_t, false>, ShiftByOne<uint16_t, true>>;
  t[0xD2] = ByOperandKind<ShiftByCount<uint8_t, true, false>, ShiftByCount<uint8_t, true, true>>;
  t[0xD3] = ByOperandKind<ShiftByCount<uint16_t, true, false>, ShiftByCount<uint16_t, true, true>>;
  t[0xC0] = ByOperandKind<ShiftByCount<uint8_t, false, false>, ShiftByCount<uint8_t, false, true>>;
  t[0xC1] = ByOperandKind<ShiftByCount<uint16_t, false, false>, ShiftByCount<uint16_t, false, true>>;
}

}  // namespace kestra::cpu
