// String instructions and the four repeat prefixes (0xF3 REP/REPE, 0xF2
// REPNE, 0x64 REPNC, 0x65 REPC).
#include <algorithm>
#include <cstring>

#include "cpu/exec.h"

namespace kestra::cpu {
namespace {

// An element takes IP and the cycles left, which OUTS hands to CpuState.
using Element = void (*)(Machine&, uint32_t& ip, int32_t& budget);

template <typename T>
inline void Advance(const CpuState& c, uint16_t& index) {
  index = static_cast<uint16_t>(index + (c.flags.direction ? -static_cast<int>(sizeof(T)) : sizeof(T)));
}
inline uint32_t Source(const CpuState& c) { return DataBase(c, DS) + c.regs.w[SI]; }
inline uint32_t Destination(const CpuState& c) { return SegBase(c, ES) + c.regs.w[DI]; }

// ---- one element each; the callers charge the cycles ----
template <typename T>
void Movs(Machine& m, uint32_t&, int32_t&) {
  CpuState& c = m.cpu;
  WriteMem<T>(m, Destination(c), ReadMem<T>(m, Source(c)));
  Advance<T>(c, c.regs.w[SI]);
  Advance<T>(c, c.regs.w[DI]);
}

template <typename T>
void Cmps(Machine& m, uint32_t&, int32_t&) {
  CpuState& c = m.cpu;
  SubFlags<T>(c.flags, ReadMem<T>(m, Source(c)), ReadMem<T>(m, Destination(c)));
  Advance<T>(c, c.regs.w[SI]);
  Advance<T>(c, c.regs.w[DI]);
}

template <typename T>
void Stos(Machine& m, uint32_t&, int32_t&) {
  CpuState& c = m.cpu;
  WriteMem<T>(m, Destination(c), Accumulator<T>(c));
  Advance<T>(c, c.regs.w[DI]);
}

template <typename T>
void Lods(Machine& m, uint32_t&, int32_t&) {
  CpuState& c = m.cpu;
  Accumulator<T>(c) = ReadMem<T>(m, Source(c));
  Advance<T>(c, c.regs.w[SI]);
}

template <typename T>
void Scas(Machine& m, uint32_t&, int32_t&) {
  CpuState& c = m.cpu;
  SubFlags<T>(c.flags, Accumulator<T>(c), ReadMem<T>(m, Destination(c)));
  Advance<T>(c, c.regs.w[DI]);
}

// INSW and OUTSW wrap the high byte's offset and port inside 16 bits.
template <typename T>
void Ins(Machine& m, uint32_t&, int32_t&) {
  CpuState& c = m.cpu;
  const uint16_t dx = c.regs.w[DX];
  WriteMemory(m, Destination(c), InPort(m, dx));
  if constexpr (sizeof(T) == 2) {
    WriteMemory(m, SegBase(c, ES) + static_cast<uint16_t>(c.regs.w[DI] + 1),
                InPort(m, static_cast<uint16_t>(dx + 1)));
  }
  Advance<T>(c, c.regs.w[DI]);
}

template <typename T>
void Outs(Machine& m, uint32_t& ip, int32_t& budget) {
  CpuState& c = m.cpu;
  const uint16_t dx = c.regs.w[DX];
  const uint32_t base = DataBase(c, DS);
  const uint16_t si = c.regs.w[SI];
  const uint8_t low = ReadMemory(m, base + si);
  const RunSaved saved = SaveRun(c, ip, budget);
  if constexpr (sizeof(T) == 2) {
    const uint8_t high = ReadMemory(m, base + static_cast<uint16_t>(si + 1));
    OutPort(m, saved, dx, low);
    OutPort(m, saved, static_cast<uint16_t>(dx + 1), high);
  } else {
    OutPort(m, saved, dx, low);
  }
  ip = RestoreIp(c);
  budget = c.CycleBudget;
  Advance<T>(c, c.regs.w[SI]);
}

template <Element E>
inline void RunElement(Machine& m, uint32_t& ip, int32_t& budget) {
  E(m, ip, budget);
}

// ---- runs of elements straight through the page ----
// n elements of T at base + index, stepping by `step`, lie in one 64 KB bank
// without the index wrapping: the first element's byte in its page, else null.
// A run that is written must also be plain Iram (no palette, no wave table).
template <typename T>
inline uint8_t* RunStart(const Machine& m, uint32_t base, uint16_t index, int step, uint32_t n,
                         bool written) {
  const int32_t span = static_cast<int32_t>((n - 1) * sizeof(T) + sizeof(T) - 1);
  const int32_t low = step > 0 ? index : index - static_cast<int32_t>((n - 1) * sizeof(T));
  const uint32_t first = base + static_cast<uint32_t>(low);
  if (low < 0 || low + span > 0xFFFF || (first & 0xFFFF) + static_cast<uint32_t>(span) > 0xFFFF) {
    return nullptr;
  }
  if (written && !IsPlainIramRange(m.mem, first, first + static_cast<uint32_t>(span))) {
    return nullptr;
  }
  return m.map.BankReadTable[(first >> 16) & 0xF] + ((base + index) & 0xFFFF);
}

template <typename T>
inline T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <typename T>
inline void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}
template <typename T>
inline int Stride(const CpuState& c) {
  return c.flags.direction ? -static_cast<int>(sizeof(T)) : static_cast<int>(sizeof(T));
}
inline void AdvanceBy(uint16_t& index, int step, uint32_t n) {
  index = static_cast<uint16_t>(index + step * static_cast<int32_t>(n));
}

// A run of n elements (n >= 1) done at once: the number done, or 0 when the
// elements do not lie where a run may go (the caller then takes one element
// the ordinary way). Compares stop after the element that ends the repeat,
// and only that last element sets the flags.
using ElementRun = uint32_t (*)(Machine&, uint32_t n, bool zeroToGoOn);

template <typename T>
[[gnu::always_inline]] inline uint32_t MovsRun(Machine& m, uint32_t n, bool) {
  CpuState& c = m.cpu;
  const int step = Stride<T>(c);
  const uint8_t* src = RunStart<T>(m, DataBase(c, DS), c.regs.w[SI], step, n, false);
  uint8_t* dst = RunStart<T>(m, SegBase(c, ES), c.regs.w[DI], step, n, true);
  if (!src || !dst) return 0;
  // Element by element: an overlapping copy repeats what it has just written.
  for (uint32_t k = 0; k < n; ++k, src += step, dst += step) Store<T>(dst, Load<T>(src));
  AdvanceBy(c.regs.w[SI], step, n);
  AdvanceBy(c.regs.w[DI], step, n);
  return n;
}

template <typename T>
[[gnu::always_inline]] inline uint32_t StosRun(Machine& m, uint32_t n, bool) {
  CpuState& c = m.cpu;
  const int step = Stride<T>(c);
  uint8_t* dst = RunStart<T>(m, SegBase(c, ES), c.regs.w[DI], step, n, true);
  if (!dst) return 0;
  const T value = Accumulator<T>(c);
  for (uint32_t k = 0; k < n; ++k, dst += step) Store<T>(dst, value);
  AdvanceBy(c.regs.w[DI], step, n);
  return n;
}

template <typename T>
[[gnu::always_inline]] inline uint32_t LodsRun(Machine& m, uint32_t n, bool) {
  CpuState& c = m.cpu;
  const int step = Stride<T>(c);
  const uint8_t* src = RunStart<T>(m, DataBase(c, DS), c.regs.w[SI], step, n, false);
  if (!src) return 0;
  Accumulator<T>(c) = Load<T>(src + step * static_cast<int32_t>(n - 1));
  AdvanceBy(c.regs.w[SI], step, n);
  return n;
}

// CMPS subtracts destination from source, SCAS memory from the accumulator.
template <typename T, bool Scan>
[[gnu::always_inline]] inline uint32_t CompareRun(Machine& m, uint32_t n, bool zeroToGoOn) {
  CpuState& c = m.cpu;
  const int step = Stride<T>(c);
  const uint8_t* src = nullptr;
  if constexpr (!Scan) {
    src = RunStart<T>(m, DataBase(c, DS), c.regs.w[SI], step, n, false);
    if (!src) return 0;
  }
  const uint8_t* dst = RunStart<T>(m, SegBase(c, ES), c.regs.w[DI], step, n, false);
  if (!dst) return 0;
  const T acc = Accumulator<T>(c);
  T a = 0, b = 0;
  uint32_t done = 0;
  while (done < n) {
    a = Scan ? acc : Load<T>(src + step * static_cast<int32_t>(done));
    b = Load<T>(dst + step * static_cast<int32_t>(done));
    ++done;
    if ((a == b) != zeroToGoOn) break;
  }
  SubFlags<T>(c.flags, a, b);
  if constexpr (!Scan) AdvanceBy(c.regs.w[SI], step, done);
  AdvanceBy(c.regs.w[DI], step, done);
  return done;
}

enum RepeatKind { kRep, kRepne, kRepnc, kRepc };

struct StringOp {
  Element element = nullptr;  // null: not a string opcode
  int cost = 0;               // the single instruction's own cost
  OpcodeHandler repeat[4] = {};  // the loop under each prefix, by RepeatKind
};

// 0xF3 (all) and 0xF2 (CMPS/SCAS): suspended when the budget runs out, with
// IP back on the prefix so the next run resumes with the remaining CX. The
// elements that start while the budget is not negative go as one run where
// they can. The costs are constants, so a suspended copy resumes cheaply in
// every slice.
template <Element E, ElementRun R, int PerElement, bool Compare, bool ZeroToGoOn>
Next RepeatInterruptible(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  budget -= 5;
  uint16_t count = c.regs.w[CX];
  while (count != 0) {
    if (budget < 0) {
      ip = (ip - (c.segOverride.active ? 3 : 2)) & 0xFFFF;
      break;
    }
    uint32_t done = 0;
    if constexpr (R != nullptr) {
      const uint32_t affordable = static_cast<uint32_t>(budget) / PerElement + 1;
      done = R(m, std::min<uint32_t>(count, affordable), ZeroToGoOn);
    }
    if (done == 0) {
      RunElement<E>(m, ip, budget);
      done = 1;
    }
    budget -= PerElement * static_cast<int32_t>(done);
    count = static_cast<uint16_t>(count - done);
    if (Compare && ZeroFlag(c.flags) != ZeroToGoOn) break;
  }
  c.regs.w[CX] = count;
  return {ip, budget};
}

// 0xF2 (other than CMPS/SCAS), 0x64, 0x65: run to the end within one step.
// CarryStop: -1 no test, 1 stop on CF = 1, 0 stop on CF = 0.
template <Element E, int Cost, int CarryStop>
Next RepeatWhole(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  budget -= 2;
  uint16_t count = c.regs.w[CX];
  while (count != 0) {
    RunElement<E>(m, ip, budget);
    budget -= Cost;
    --count;
    if (CarryStop >= 0 && CarryFlag(c.flags) == (CarryStop == 1)) break;
  }
  c.regs.w[CX] = count;
  return {ip, budget};
}

// Cost: the single instruction's; RepAddition and RepneAddition: the extra
// per element under 0xF3 and (for CMPS/SCAS) under 0xF2.
template <Element E, int Cost, int RepAddition, int RepneAddition, bool Compare,
          ElementRun R = nullptr>
constexpr StringOp Op() {
  OpcodeHandler repne;
  if constexpr (Compare) repne = RepeatInterruptible<E, R, Cost + RepneAddition, true, false>;
  else repne = RepeatWhole<E, Cost, -1>;
  return {E,
          Cost,
          {RepeatInterruptible<E, R, Cost + RepAddition, Compare, true>, repne,
           RepeatWhole<E, Cost, 1>, RepeatWhole<E, Cost, 0>}};
}

constexpr std::array<StringOp, 256> kStringOps = [] {
  std::array<StringOp, 256> t{};
  t[0x6C] = Op<Ins<uint8_t>, 6, 0, 0, false>();
  t[0x6D] = Op<Ins<uint16_t>, 6, 0, 0, false>();
  t[0x6E] = Op<Outs<uint8_t>, 7, -1, 0, false>();
  t[0x6F] = Op<Outs<uint16_t>, 7, -1, 0, false>();
  t[0xA4] = Op<Movs<uint8_t>, 5, 2, 0, false, MovsRun<uint8_t>>();
  t[0xA5] = Op<Movs<uint16_t>, 5, 2, 0, false, MovsRun<uint16_t>>();
  t[0xA6] = Op<Cmps<uint8_t>, 6, 4, 3, true, CompareRun<uint8_t, false>>();
  t[0xA7] = Op<Cmps<uint16_t>, 6, 4, 3, true, CompareRun<uint16_t, false>>();
  t[0xAA] = Op<Stos<uint8_t>, 3, 3, 0, false, StosRun<uint8_t>>();
  t[0xAB] = Op<Stos<uint16_t>, 3, 3, 0, false, StosRun<uint16_t>>();
  t[0xAC] = Op<Lods<uint8_t>, 3, 3, 0, false, LodsRun<uint8_t>>();
  t[0xAD] = Op<Lods<uint16_t>, 3, 3, 0, false, LodsRun<uint16_t>>();
  t[0xAE] = Op<Scas<uint8_t>, 4, 4, 5, true, CompareRun<uint8_t, true>>();
  t[0xAF] = Op<Scas<uint16_t>, 4, 4, 5, true, CompareRun<uint16_t, true>>();
  return t;
}();

template <int Opcode>
Next Single(Machine& m, uint32_t ip, int32_t budget) {
  RunElement<kStringOps[Opcode].element>(m, ip, budget);
  budget -= kStringOps[Opcode].cost;
  return {ip, budget};
}

template <int Kind>
Next RepeatPrefix(Machine& m, uint32_t ip, int32_t budget) {
  CpuState& c = m.cpu;
  if (c.nesting >= kMaxNesting) {  // a chain of prefixes: this one ends it
    budget -= 1;
    return {ip, budget};
  }
  uint8_t op = Fetch8(m, ip);
  if ((op & 0xE7) == 0x26) {  // one segment prefix taken here, 2 cycles
    c.segOverride.active = 1;
    c.segOverride.base = SegBase(c, ES + ((op >> 3) & 3));
    budget -= 2;
    op = Fetch8(m, ip);
  }
  Next next;
  if (const OpcodeHandler loop = kStringOps[op].repeat[Kind]) {
    next = loop(m, ip, budget);
  } else {
    ++c.nesting;
    next = OpcodeTable[op](m, ip, budget);  // a plain instruction: the prefix costs nothing
    --c.nesting;
  }
  c.segOverride.active = 0;
  return next;
}

template <int... Op>
void InstallSingles(HandlerTable& t, std::integer_sequence<int, Op...>) {
  ((t[Op] = Single<Op>), ...);
}

}  // namespace

void InstallStrings(HandlerTable& t) {
  InstallSingles(t, std::integer_sequence<int, 0x6C, 0x6D, 0x6E, 0x6F, 0xA4, 0xA5, 0xA6, 0xA7,
                                          0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF>{});
  t[0xF3] = RepeatPrefix<kRep>;
  t[0xF2] = RepeatPrefix<kRepne>;
  t[0x64] = RepeatPrefix<kRepnc>;
  t[0x65] = RepeatPrefix<kRepc>;
}

}  // namespace kestra::cpu
