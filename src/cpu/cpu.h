// The V30-class CPU: register file, lazily evaluated flags, cycle budget,
// fetch and dispatch through the 256-entry opcode table.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace kestra {

struct Machine;

enum Reg : int { AX, CX, DX, BX, SP, BP, SI, DI, ES, CS, SS, DS, IP, kRegisterCount };

static_assert(std::endian::native == std::endian::little,
              "byte registers are addressed as the bytes of the word registers");

// Thirteen 16-bit registers side by side: byte registers AL, CL, DL, BL, AH,
// CH, DH, BH are bytes 0, 2, 4, 6, 1, 3, 5, 7 of the file.
struct RegisterFile {
  uint16_t w[kRegisterCount];
  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(w); }
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(w); }
};

// Flags kept apart; sign, zero and parity as sources evaluated on demand.
struct FlagState {
  int32_t carry = 0;         // CF = carry != 0 (ALU stores the masked carry bit)
  int32_t aux = 0;           // AF = aux != 0
  int32_t overflow = 0;      // OF = overflow != 0
  int32_t signSource = 0;    // SF = signSource < 0
  int32_t zeroSource = 1;    // ZF = zeroSource == 0
  int32_t paritySource = 1;  // PF = ParityTable[paritySource & 0xFF]
  uint8_t trap = 0;          // TF: kept and pushed, never single-steps
  uint8_t interruptEnable = 0;
  uint8_t direction = 0;
};

// Entry i is 1 when i has an even number of set bits.
inline constexpr std::array<uint8_t, 256> ParityTable = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = (std::popcount(static_cast<unsigned>(i)) & 1) == 0;
  return t;
}();

// A segment prefix's base, active only while the prefixed instruction runs.
struct SegmentOverride {
  uint8_t active = 0;
  uint32_t base = 0;
};

struct CpuState {
  RegisterFile regs{};
  FlagState flags;
  int32_t CycleBudget = 0;  // cycles left in the current run; may go negative
  SegmentOverride segOverride;
  uint16_t EaOffset = 0;  // offset of the last memory operand decoded
  uint32_t EaLinear = 0;  // its linear address
  uint8_t IdleSkipInhibit = 0;
  uint8_t nestedStep = 0;  // CpuStep running inside another instruction
  uint8_t nesting = 0;     // instructions running inside other instructions
  uint32_t freeSteps = 0;  // instructions without cost in the current run
};

// Instruction bytes come through a window on the page that holds CS:0: the
// byte at CS:IP is bytes[IP] for every IP below limit (0: closed). Opened by
// the run loop and by CpuStep; closed by everything that loads CS or may
// remap the banks (port writes) within a run. Derived: never saved.
struct CodeWindow {
  const uint8_t* bytes = nullptr;
  uint32_t limit = 0;
};

// What a handler gives back to the run loop: IP past the instruction (or at
// a jump's target) and the cycles left. Two 64-bit fields come back in two
// registers as they are; two 32-bit ones would be packed into one.
struct Next {
  uint64_t ip;     // below 0x10000
  int64_t budget;  // within int32_t
};
// Takes IP past the opcode and the cycles left before it.
using OpcodeHandler = Next (*)(Machine&, uint32_t ip, int32_t budget);

// position: 0 AL, 1 AH, 2 CL, 3 CH, 4 DL, 5 DH, 6 BL, 7 BH.
inline uint8_t& Reg8(CpuState& c, int position) { return c.regs.bytes()[position]; }

inline bool CarryFlag(const FlagState& f) { return f.carry != 0; }
inline bool ParityFlag(const FlagState& f) { return ParityTable[f.paritySource & 0xFF] != 0; }
inline bool AuxFlag(const FlagState& f) { return f.aux != 0; }
inline bool ZeroFlag(const FlagState& f) { return f.zeroSource == 0; }
inline bool SignFlag(const FlagState& f) { return f.signSource < 0; }
inline bool OverflowFlag(const FlagState& f) { return f.overflow != 0; }

// The 16-bit flags word as PUSHF stores it (bits 1, 3, 5, 12-15 are 0).
uint16_t FlagsWord(const FlagState& f);
// POPF, IRET and SetCpuRegister(10): each flag from its bit.
void LoadFlagsWord(FlagState& f, uint16_t word);

// Registers 0 except CS = 0xFFFF; ZF = PF = 0; nothing inhibited.
void CpuReset(Machine& m);
// Runs instructions while the budget is above 0; returns the cycles used
// (0 for a budget of 0 or less).
int32_t CpuRun(Machine& m, int32_t budget);
// Executes exactly one instruction, charging the running budget.
void CpuStep(Machine& m);
// Indexes: 1 IP, 2 AX, 3 CX, 4 DX, 5 BX, 6 SP, 7 BP, 8 SI, 9 DI, 10 flags
// word, 11 ES, 12 CS, 13 SS, 14 DS; others read 0 and are ignored on write.
enum CpuRegisterIndex : int {
  kRegIp = 1, kRegAx, kRegCx, kRegDx, kRegBx, kRegSp, kRegBp, kRegSi, kRegDi,
  kRegFlags, kRegEs, kRegCs, kRegSs, kRegDs
};
uint16_t GetCpuRegister(const Machine& m, int index);
void SetCpuRegister(Machine& m, int index, uint16_t value);
// Software interrupts and exceptions: flags, CS and IP pushed, IF and TF
// cleared, CS:IP from the vector; 2 cycles (those of PushFlags).
void EnterTrap(Machine& m, int vector);
// The hardware interrupt entry through the vector at vectorAddress, the same
// steps as a trap. Does nothing while IF is clear: the cause stays pending.
void EnterInterrupt(Machine& m, uint32_t vectorAddress);
// Enters the highest pending cause of status (port 0xB6): the vector is
// (port 0xB0 + bit number) * 4 in bank 0. The scheduler runs it after every
// slice with a cause pending.
void DispatchInterrupt(Machine& m, uint8_t status);
// The flags word onto the stack, 2 cycles: the first step of a trap or an
// interrupt.
void PushFlags(Machine& m);

}  // namespace kestra
