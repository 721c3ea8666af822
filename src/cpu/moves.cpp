// Data movement, the stack with ENTER and LEAVE, the flag instructions and
// port input and output.
#include <utility>

#include "cpu/exec.h"

namespace kestra::cpu {
namespace {

// ---- MOV ----
template <typename T, bool Memory>
Next MovRmReg(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  DecodeIfMemory(m, ip, modrm);
  WriteRm<T>(m, modrm, RegOperand<T>(c, modrm));
  budget -= 1;
  return {ip, budget};
}

template <typename T, bool Memory>
Next MovRegRm(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  RegOperand<T>(c, modrm) = ReadRm<T>(m, ip, modrm);
  budget -= 1;
  return {ip, budget};
}

Next MovRmSreg(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const int reg = (modrm >> 3) & 7;
  DecodeIfMemory(m, ip, modrm);
  // Reg fields 4-7 name no segment register: they store 0.
  WriteRm<uint16_t>(m, modrm, reg < 4 ? c.regs.w[ES + reg] : 0);
  budget -= 1;
  return {ip, budget};
}

Next MovSregRm(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint16_t v = ReadRm<uint16_t>(m, ip, modrm);
  const int reg = (modrm >> 3) & 7;
  if (reg == CS - ES) LoadCs(m, v);
  else if (reg < 4) c.regs.w[ES + reg] = v;
  c.IdleSkipInhibit = 1;
  Charge(budget, modrm, 2, 3);
  return {ip, budget};
}

// 0xA0-0xA3: the word's high byte wraps inside the segment.
template <typename T>
Next MovAccMem(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t off = Fetch16(m, ip);
  const uint32_t base = DataBase(c, DS);
  uint32_t v = ReadMemory(m, base + off);
  if constexpr (sizeof(T) == 2) v |= ReadMemory(m, base + static_cast<uint16_t>(off + 1)) << 8;
  Accumulator<T>(c) = static_cast<T>(v);
  budget -= 1;
  return {ip, budget};
}

template <typename T>
Next MovMemAcc(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t off = Fetch16(m, ip);
  const uint32_t base = DataBase(c, DS);
  const T v = Accumulator<T>(c);
  WriteMemory(m, base + off, static_cast<uint8_t>(v));
  if constexpr (sizeof(T) == 2) {
    WriteMemory(m, base + static_cast<uint16_t>(off + 1), static_cast<uint8_t>(v >> 8));
  }
  budget -= 1;
  return {ip, budget};
}

template <int R>
Next MovReg8Imm(Machine& m, uint32_t ip, int32_t budget) {
  Reg8(m.cpu, BytePosition(R)) = Fetch8(m, ip);
  budget -= 1;
  return {ip, budget};
}

template <int R>
Next MovReg16Imm(Machine& m, uint32_t ip, int32_t budget) {
  m.cpu.regs.w[R] = Fetch16(m, ip);
  budget -= 1;
  return {ip, budget};
}

template <typename T, bool Memory>
Next MovRmImm(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  DecodeIfMemory(m, ip, modrm);
  WriteRm<T>(m, modrm, FetchImm<T>(m, ip));
  budget -= 1;
  return {ip, budget};
}

// ---- exchange, addresses, conversions ----
template <typename T, bool Memory>
Next XchgRegRm(Machine& m, uint32_t ip, int32_t budget, uint8_t modrm) {
  OperandIs<Memory>(modrm);
  CpuState& c = m.cpu;
  const T a = ReadRm<T>(m, ip, modrm);
  T& reg = RegOperand<T>(c, modrm);
  WriteRm<T>(m, modrm, reg);
  reg = a;
  Charge(budget, modrm, 3, 5);
  return {ip, budget};
}

template <int R>
Next XchgAx(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  std::swap(c.regs.w[AX], c.regs.w[R]);
  budget -= 3;
  return {ip, budget};
}

Next Lea(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  // A register operand has no address: the destination stays as it is.
  if (modrm < 0xC0) {
    DecodeEa(m, ip, modrm);
    RegOperand<uint16_t>(c, modrm) = c.EaOffset;
  }
  budget -= 1;
  return {ip, budget};
}

// LES / LDS. With a register operand the second word is read beside the
// last memory operand decoded.
template <int Seg>
Next LoadFarPointer(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint16_t offset = ReadRm<uint16_t>(m, ip, modrm);
  const uint16_t segment = ReadWord(m, SecondWordAddress(c.EaLinear));
  RegOperand<uint16_t>(c, modrm) = offset;
  c.regs.w[Seg] = segment;
  budget -= 6;
  return {ip, budget};
}

Next Cbw(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  Reg8(c, 1) = (Reg8(c, 0) & 0x80) ? 0xFF : 0x00;
  budget -= 1;
  return {ip, budget};
}

Next Cwd(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  c.regs.w[DX] = (c.regs.w[AX] & 0x8000) ? 0xFFFF : 0x0000;
  budget -= 1;
  return {ip, budget};
}

Next Xlat(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  uint8_t& al = Reg8(c, 0);
  al = ReadMemory(m, DataBase(c, DS) + static_cast<uint16_t>(c.regs.w[BX] + al));
  budget -= 5;
  return {ip, budget};
}

Next Lahf(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  Reg8(c, 1) = static_cast<uint8_t>(FlagsWord(c.flags));
  budget -= 2;
  return {ip, budget};
}

Next Sahf(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  LoadFlagsWord(c.flags, static_cast<uint16_t>((FlagsWord(c.flags) & 0xFF00) | Reg8(c, 1)));
  budget -= 4;
  return {ip, budget};
}

Next Salc(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  Reg8(c, 0) = CarryFlag(c.flags) ? 0xFF : 0x00;
  budget -= 3;
  return {ip, budget};
}

// ---- stack ----
template <int R>
Next PushReg(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  if constexpr (R == SP) {
    // Pushes SP as it is after the decrement.
    c.regs.w[SP] = static_cast<uint16_t>(c.regs.w[SP] - 2);
    WriteWord(m, SegBase(c, SS) + c.regs.w[SP], c.regs.w[SP]);
  } else {
    Push(m, c.regs.w[R]);
  }
  budget -= 1;
  return {ip, budget};
}

template <int R>
Next PopReg(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t v = Pop(m);
  // POP SP applies the increment to the loaded value.
  c.regs.w[R] = R == SP ? static_cast<uint16_t>(v + 2) : v;
  budget -= 1;
  return {ip, budget};
}

template <int Seg>
Next PushSeg(Machine& m, uint32_t ip, int32_t budget) {
  Push(m, m.cpu.regs.w[Seg]);
  budget -= 2;
  return {ip, budget};
}

template <int Seg>
Next PopSeg(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  c.regs.w[Seg] = Pop(m);
  if constexpr (Seg == SS) c.IdleSkipInhibit = 1;
  budget -= 3;
  return {ip, budget};
}

Next PushImm16(Machine& m, uint32_t ip, int32_t budget) {
  Push(m, Fetch16(m, ip));
  budget -= 1;
  return {ip, budget};
}

Next PushImm8(Machine& m, uint32_t ip, int32_t budget) {
  Push(m, FetchSigned8(m, ip));
  budget -= 1;
  return {ip, budget};
}

Next PopRm(Machine& m, uint32_t ip, int32_t budget) {
  const uint16_t v = Pop(m);
  const uint8_t modrm = Fetch8(m, ip);
  DecodeIfMemory(m, ip, modrm);
  WriteRm<uint16_t>(m, modrm, v);
  Charge(budget, modrm, 1, 3);
  return {ip, budget};
}

Next Pusha(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t sp = c.regs.w[SP];
  for (int r : {AX, CX, DX, BX}) Push(m, c.regs.w[r]);
  Push(m, sp);
  for (int r : {BP, SI, DI}) Push(m, c.regs.w[r]);
  budget -= 9;
  return {ip, budget};
}

Next Popa(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  for (int r : {DI, SI, BP}) c.regs.w[r] = Pop(m);
  c.regs.w[SP] = static_cast<uint16_t>(c.regs.w[SP] + 2);
  for (int r : {BX, DX, CX, AX}) c.regs.w[r] = Pop(m);
  budget -= 8;
  return {ip, budget};
}

Next Pushf(Machine& m, uint32_t ip, int32_t budget) {
  Push(m, FlagsWord(m.cpu.flags));
  return {ip, budget - 2};
}

Next Popf(Machine& m, uint32_t ip, int32_t budget) {
  LoadFlagsWord(m.cpu.flags, Pop(m));
  budget -= 3;
  return {ip, budget};
}

// The copied frame pointers come from just below the new BP and land below
// the locals.
Next Enter(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint16_t size = Fetch16(m, ip);
  const int level = Fetch8(m, ip);
  Push(m, c.regs.w[BP]);
  const uint16_t frame = c.regs.w[SP];
  c.regs.w[BP] = frame;
  c.regs.w[SP] = static_cast<uint16_t>(frame - size);
  const uint32_t source = DataBase(c, SS);
  for (int i = 1; i < level; ++i) {
    c.regs.w[SP] = static_cast<uint16_t>(c.regs.w[SP] - 2);
    const uint16_t v = ReadWord(m, source + static_cast<uint16_t>(frame - 2 * i));
    WriteWord(m, SegBase(c, SS) + c.regs.w[SP], v);
    budget -= 4;
  }
  if (level != 0) Push(m, frame);
  budget -= 19;
  return {ip, budget};
}

Next Leave(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  c.regs.w[SP] = c.regs.w[BP];
  c.regs.w[BP] = Pop(m);
  budget -= 2;
  return {ip, budget};
}

// ---- flags: CMC, CLC, STC, CLI, STI, CLD, STD, 4 cycles each ----
enum FlagOperation { kCmc, kClc, kStc, kCli, kSti, kCld, kStd };
template <int Op>
Next FlagInstruction(Machine& m, uint32_t ip, int32_t budget) {
  FlagState& f = m.cpu.flags;
  if constexpr (Op == kCmc) f.carry = !CarryFlag(f);
  else if constexpr (Op == kClc || Op == kStc) f.carry = Op == kStc;
  else if constexpr (Op == kCli || Op == kSti) f.interruptEnable = Op == kSti;
  else f.direction = Op == kStd;
  return {ip, budget - 4};
}

// ---- ports: IN reads the port file, OUT goes through WritePort ----
// The port from an immediate byte or from DX.
template <bool ByDx>
inline uint32_t PortOperand(Machine& m, uint32_t& ip) {
  if constexpr (ByDx) return m.cpu.regs.w[DX];
  else return Fetch8(m, ip);
}

template <bool Word, bool ByDx>
Next In(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint32_t port = PortOperand<ByDx>(m, ip);
  Reg8(c, 0) = InPort(m, port);
  if (Word) Reg8(c, 1) = InPort(m, port + 1);  // port + 1 not wrapped
  return {ip, budget - 6};
}

// A write to the bank port steps the CPU from CpuState's IP and budget.
template <bool Word, bool ByDx>
Next Out(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint32_t port = PortOperand<ByDx>(m, ip);
  const uint16_t ax = c.regs.w[AX];
  const RunSaved saved = SaveRun(c, ip, budget - 6);
  OutPort(m, saved, port, static_cast<uint8_t>(ax));
  if (Word) OutPort(m, saved, port + 1, static_cast<uint8_t>(ax >> 8));
  return RestoreRun(c);
}

template <int... R>
void InstallByRegister(HandlerTable& t, std::integer_sequence<int, R...>) {
  ((t[0xB0 + R] = MovReg8Imm<R>), ...);
  ((t[0xB8 + R] = MovReg16Imm<R>), ...);
  ((t[0x50 + R] = PushReg<R>), ...);
  ((t[0x58 + R] = PopReg<R>), ...);
  ((t[0x90 + R] = XchgAx<R>), ...);  // 0x90 is replaced by NOP
}

}  // namespace

void InstallMoves(HandlerTable& t) {
  t[0x88] = ByOperandKind<MovRmReg<uint8_t, false>, MovRmReg<uint8_t, true>>;
  t[0x89] = ByOperandKind<MovRmReg<uint16_t, false>, MovRmReg<uint16_t, true>>;
  t[0x8A] = ByOperandKind<MovRegRm<uint8_t, false>, MovRegRm<uint8_t, true>>;
  t[0x8B] = ByOperandKind<MovRegRm<uint16_t, false>, MovRegRm<uint16_t, true>>;
  t[0x8C] = MovRmSreg;
  t[0x8E] = MovSregRm;
  t[0xA0] = MovAccMem<uint8_t>;
  t[0xA1] = MovAccMem<uint16_t>;
  t[0xA2] = MovMemAcc<uint8_t>;
  t[0xA3] = MovMemAcc<uint16_t>;
  t[0xC6] = ByOperandKind<MovRmImm<uint8_t, false>, MovRmImm<uint8_t, true>>;
  t[0xC7] = ByOperandKind<MovRmImm<uint16_t, false>, MovRmImm<uint16_t, true>>;
  t[0x86] = ByOperandKind<XchgRegRm<uint8_t, false>, XchgRegRm<uint8_t, true>>;
  t[0x87] = ByOperandKind<XchgRegRm<uint16_t, false>, XchgRegRm<uint16_t, true>>;
  t[0x8D] = Lea;
  t[0xC4] = LoadFarPointer<ES>;
  t[0xC5] = LoadFarPointer<DS>;
  t[0x98] = Cbw;
  t[0x99] = Cwd;
  t[0xD7] = Xlat;
  t[0x9F] = Lahf;
  t[0x9E] = Sahf;
  t[0xD6] = Salc;
  InstallByRegister(t, std::make_integer_sequence<int, 8>{});
  t[0x06] = PushSeg<ES>;
  t[0x0E] = PushSeg<CS>;
  t[0x16] = PushSeg<SS>;
  t[0x1E] = PushSeg<DS>;
  t[0x07] = PopSeg<ES>;
  t[0x17] = PopSeg<SS>;
  t[0x1F] = PopSeg<DS>;
  t[0x68] = PushImm16;
  t[0x6A] = PushImm8;
  t[0x8F] = PopRm;
  t[0x60] = Pusha;
  t[0x61] = Popa;
  t[0x9C] = Pushf;
  t[0x9D] = Popf;
  t[0xC8] = Enter;
  t[0xC9] = Leave;
  t[0xF5] = FlagInstruction<kCmc>;
  t[0xF8] = FlagInstruction<kClc>;
  t[0xF9] = FlagInstruction<kStc>;
  t[0xFA] = FlagInstruction<kCli>;
  t[0xFB] = FlagInstruction<kSti>;
  t[0xFC] = FlagInstruction<kCld>;
  t[0xFD] = FlagInstruction<kStd>;
  t[0xE4] = In<false, false>;
  t[0xE5] = In<true, false>;
  t[0xEC] = In<false, true>;
  t[0xED] = In<true, true>;
  t[0xE6] = Out<false, false>;
  t[0xE7] = Out<true, false>;
  t[0xEE] = Out<false, true>;
  t[0xEF] = Out<true, true>;
}

}  // namespace kestra::cpu
