// The V30-class CPU: register file, lazily evaluated flags, cycle budget,
// fetch and dispatch through the 256-entry opcode table.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

enum Reg : int { AX, CX, DX, BX, SP, BP, SI, DI, ES, CS, SS, DS, IP, kRegisterCount };

// Thirteen 16-bit registers stored little-endian side by side: byte
// registers AL, CL, DL, BL, AH, CH, DH, BH are bytes 0, 2, 4, 6, 1, 3, 5, 7.
struct RegisterFile {
  uint8_t bytes[kRegisterCount * 2];
};

struct FlagState {
  int32_t carry = 0;         // CF = carry != 0
  int32_t aux = 0;           // AF = aux != 0
  int32_t overflow = 0;      // OF = overflow != 0
  int32_t signSource = 0;    // SF = signSource < 0
  int32_t zeroSource = 1;    // ZF = zeroSource == 0
  int32_t paritySource = 1;  // PF = ParityTable[paritySource & 0xFF]
  uint8_t trap = 0;
  uint8_t interruptEnable = 0;
  uint8_t direction = 0;
};

struct SegmentOverride {
  uint8_t active = 0;
  uint32_t base = 0;
};

struct CpuState {
  RegisterFile regs;
  FlagState flags;
  int32_t CycleBudget = 0;
  SegmentOverride override;
  uint16_t EaOffset = 0;
  uint32_t EaLinear = 0;
  uint8_t IdleSkipInhibit = 0;
};

void CpuReset(Machine& m);
// Runs instructions while the budget is above 0; returns the cycles used.
int32_t CpuRun(Machine& m, int32_t budget);
// Executes exactly one instruction, charging the running budget.
void CpuStep(Machine& m);
// Indexes: 1 IP, 2 AX, 3 CX, 4 DX, 5 BX, 6 SP, 7 BP, 8 SI, 9 DI, 10 flags,
// 11 ES, 12 CS, 13 SS, 14 DS; others read 0 and are ignored on write.
uint16_t GetCpuRegister(const Machine& m, int index);
void SetCpuRegister(Machine& m, int index, uint16_t value);
void EnterTrap(Machine& m, int vector);
void PushFlags(Machine& m);

}  // namespace kestra
