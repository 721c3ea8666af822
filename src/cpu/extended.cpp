// NEC's extended instructions behind 0x0F: single-bit operations, packed-BCD
// strings and nibble rotates. The 0x0F itself costs nothing.
#include "cpu/exec.h"

namespace kestra::cpu {
namespace {

enum BitOperation { kTest1, kClr1, kSet1, kNot1 };

// Second bytes 0x10-0x1F: bit 0 word/byte, bits 1-2 operation, bit 3 the
// bit number from imm8 instead of CL.
template <typename T>
void BitInstruction(Machine& m, uint32_t& ip, int32_t& budget, uint8_t second) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const T a = ReadRm<T>(m, ip, modrm);
  const uint8_t number = (second & 0x08) ? Fetch8(m, ip) : Reg8(c, 2);
  const T mask = static_cast<T>(1u << (number & (Width<T>::kBits - 1)));
  switch ((second >> 1) & 3) {
    case kTest1:
      c.flags.zeroSource = (a & mask) != 0;
      c.flags.carry = 0;
      c.flags.overflow = 0;
      break;
    case kClr1:
      WriteRm<T>(m, modrm, static_cast<T>(a & ~mask));
      break;
    case kSet1:
      WriteRm<T>(m, modrm, static_cast<T>(a | mask));
      break;
    default:
      WriteRm<T>(m, modrm, static_cast<T>(a ^ mask));
      break;
  }
  budget -= 4;
}

enum BcdOperation { kAdd4s, kSub4s, kCmp4s };

// ES:DI string op= DS:SI string, CL digits, two per byte, low byte first.
// Nibbles above 9 are taken at face value. ZF = 1 only if every result
// byte is 0.
void BcdString(Machine& m, int32_t& budget, int op) {
  CpuState& c = m.cpu;
  FlagState& f = c.flags;
  const int bytes = (Reg8(c, 2) + 1) >> 1;
  const uint32_t source = DataBase(c, DS) + c.regs.w[SI];
  const uint32_t destination = SegBase(c, ES) + c.regs.w[DI];
  f.carry = 0;
  f.zeroSource = 0;
  for (int i = 0; i < bytes; ++i) {
    const uint8_t db = ReadMemory(m, destination + i);
    const uint8_t sb = ReadMemory(m, source + i);
    const int d = (db >> 4) * 10 + (db & 0x0F);
    const int s = (sb >> 4) * 10 + (sb & 0x0F);
    const int borrowIn = CarryFlag(f) ? 1 : 0;
    int r;
    if (op == kAdd4s) {
      const int t = d + s + borrowIn;
      f.carry = t > 99;
      r = t % 100;
    } else if (s + borrowIn > d) {
      r = d + 100 - (s + borrowIn);
      f.carry = 1;
    } else {
      r = d - (s + borrowIn);
      f.carry = 0;
    }
    const uint8_t result = static_cast<uint8_t>((r / 10) << 4 | (r % 10));
    if (op != kCmp4s) WriteMemory(m, destination + i, result);
    if (result != 0) f.zeroSource = 1;
  }
  budget -= 2;
}

// ROL4 / ROR4: nibbles rotate through AL's low nibble.
template <bool Left>
Next NibbleRotate(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  const uint8_t modrm = Fetch8(m, ip);
  const uint8_t operand = ReadRm<uint8_t>(m, ip, modrm);
  uint8_t& al = Reg8(c, 0);
  const uint8_t a = al;
  if constexpr (Left) {
    al = static_cast<uint8_t>((a & 0xF0) | (operand >> 4));
    WriteRm<uint8_t>(m, modrm, static_cast<uint8_t>((operand << 4) | (a & 0x0F)));
    Charge(budget, modrm, 15, 9);
  } else {
    al = static_cast<uint8_t>((a & 0xF0) | (operand & 0x0F));
    WriteRm<uint8_t>(m, modrm, static_cast<uint8_t>(((a & 0x0F) << 4) | (operand >> 4)));
    Charge(budget, modrm, 19, 13);
  }
  return {ip, budget};
}

Next Extended(Machine& m, uint32_t ip, int32_t budget) {
  const uint8_t second = Fetch8(m, ip);
  if (second >= 0x10 && second <= 0x1F) {
    if (second & 1) BitInstruction<uint16_t>(m, ip, budget, second);
    else BitInstruction<uint8_t>(m, ip, budget, second);
    return {ip, budget};
  }
  switch (second) {
    case 0x20: BcdString(m, budget, kAdd4s); break;
    case 0x22: BcdString(m, budget, kSub4s); break;
    case 0x26: BcdString(m, budget, kCmp4s); break;
    case 0x28: return NibbleRotate<true>(m, ip, budget);
    case 0x2A: return NibbleRotate<false>(m, ip, budget);
    case 0x31:
    case 0x33:
    case 0xE0:
    case 0xF0:
    case 0xFF:  // one more byte, no effect
      Fetch8(m, ip);
      FreeStep(m.cpu, budget);
      break;
    case 0x92: budget -= 2; break;
    default: FreeStep(m.cpu, budget); break;
  }
  return {ip, budget};
}

}  // namespace

void InstallExtended(HandlerTable& t) { t[0x0F] = Extended; }

}  // namespace kestra::cpu
