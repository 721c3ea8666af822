// The eight arithmetic and logic operations in their six forms and the
// immediate groups, TEST, and INC/DEC of word registers.
#include "cpu/exec.h"

namespace kestra::cpu {
namespace {

// 8n+0, 8n+1: r/m, reg.
template <int Op, typename T, bool Memory>
Next AluRmReg(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  const T a = ReadRm<T>(m, ip, modrm);
  const T r = Alu<Op, T>(c.flags, a, RegOperand<T>(c, modrm));
  if constexpr (Op != kCmp) WriteRm<T>(m, modrm, r);
  Charge(budget, modrm, 1, Op == kCmp ? 2 : 3);
  return {ip, budget};
}

// 8n+2, 8n+3: reg, r/m.
template <int Op, typename T, bool Memory>
Next AluRegRm(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  const T b = ReadRm<T>(m, ip, modrm);
  T& d = RegOperand<T>(c, modrm);
  const T r = Alu<Op, T>(c.flags, d, b);
  if constexpr (Op != kCmp) d = r;
  Charge(budget, modrm, 1, 2);
  return {ip, budget};
}

// 8n+4, 8n+5: accumulator, immediate.
template <int Op, typename T>
Next AluAccImm(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const T b = FetchImm<T>(m, ip);
  T& d = Accumulator<T>(c);
  const T r = Alu<Op, T>(c.flags, d, b);
  if constexpr (Op != kCmp) d = r;
  budget -= 1;
  return {ip, budget};
}

template <typename T>
T AluByField(FlagState& f, int op, uint32_t a, uint32_t b) {
  switch (op) {
    case kAdd: return Alu<kAdd, T>(f, a, b);
    case kOr: return Alu<kOr, T>(f, a, b);
    case kAdc: return Alu<kAdc, T>(f, a, b);
    case kSbb: return Alu<kSbb, T>(f, a, b);
    case kAnd: return Alu<kAnd, T>(f, a, b);
    case kSub: return Alu<kSub, T>(f, a, b);
    case kXor: return Alu<kXor, T>(f, a, b);
    default: return Alu<kCmp, T>(f, a, b);
  }
}

// 0x80-0x83: operation from the reg field; 0x83 sign-extends its byte.
template <typename T, bool SignExtendedByte, bool Memory>
Next AluGroup(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  const T a = ReadRm<T>(m, ip, modrm);
  T b;
  if constexpr (SignExtendedByte) b = FetchSigned8(m, ip);
  else b = FetchImm<T>(m, ip);
  const int op = (modrm >> 3) & 7;
  const T r = AluByField<T>(c.flags, op, a, b);
  if (op != kCmp) WriteRm<T>(m, modrm, r);
  Charge(budget, modrm, 1, 3);
  return {ip, budget};
}

template <typename T, bool Memory>
Next TestRmReg(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  const T a = ReadRm<T>(m, ip, modrm);
  LogicFlags<T>(c.flags, a & RegOperand<T>(c, modrm));
  Charge(budget, modrm, 1, 2);
  return {ip, budget};
}

template <typename T>
Next TestAccImm(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  LogicFlags<T>(c.flags, Accumulator<T>(c) & FetchImm<T>(m, ip));
  budget -= 1;
  return {ip, budget};
}

template <int R>
Next IncReg(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  c.regs.w[R] = IncFlags<uint16_t>(c.flags, c.regs.w[R]);
  budget -= 1;
  return {ip, budget};
}

template <int R>
Next DecReg(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  c.regs.w[R] = DecFlags<uint16_t>(c.flags, c.regs.w[R]);
  budget -= 1;
  return {ip, budget};
}

template <int Op>
void InstallRow(HandlerTable& t) {
  t[Op * 8 + 0] = ByOperandKind<AluRmReg<Op, uint8_t, false>, AluRmReg<Op, uint8_t, true>>;
  t[Op * 8 + 1] = ByOperandKind<AluRmReg<Op, uint16_t, false>, AluRmReg<Op, uint16_t, true>>;
  t[Op * 8 + 2] = ByOperandKind<AluRegRm<Op, uint8_t, false>, AluRegRm<Op, uint8_t, true>>;
  t[Op * 8 + 3] = ByOperandKind<AluRegRm<Op, uint16_t, false>, AluRegRm<Op, uint16_t, true>>;
  t[Op * 8 + 4] = AluAccImm<Op, uint8_t>;
  t[Op * 8 + 5] = AluAccImm<Op, uint16_t>;
}

template <int... R>
void InstallIncDec(HandlerTable& t, std::integer_sequence<int, R...>) {
  ((t[0x40 + R] = IncReg<R>), ...);
  ((t[0x48 + R] = DecReg<R>), ...);
}

}  // namespace

void InstallAlu(HandlerTable& t) {
  InstallRow<kAdd>(t);
  InstallRow<kOr>(t);
  InstallRow<kAdc>(t);
  InstallRow<kSbb>(t);
  InstallRow<kAnd>(t);
  InstallRow<kSub>(t);
  InstallRow<kXor>(t);
  InstallRow<kCmp>(t);
  t[0x80] = ByOperandKind<AluGroup<uint8_t, false, false>, AluGroup<uint8_t, false, true>>;
  t[0x81] = ByOperandKind<AluGroup<uint16_t, false, false>, AluGroup<uint16_t, false, true>>;
  t[0x82] = t[0x80];
  t[0x83] = ByOperandKind<AluGroup<uint16_t, true, false>, AluGroup<uint16_t, true, true>>;
  t[0x84] = ByOperandKind<TestRmReg<uint8_t, false>, TestRmReg<uint8_t, true>>;
  t[0x85] = ByOperandKind<TestRmReg<uint16_t, false>, TestRmReg<uint16_t, true>>;
  t[0xA8] = TestAccImm<uint8_t>;
  t[0xA9] = TestAccImm<uint16_t>;
  InstallIncDec(t, std::make_integer_sequence<int, 8>{});
}

}  // namespace kestra::cpu
