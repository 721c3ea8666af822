// The I/O port file and the port-write operation with every register's side
// effect; the machine reset with the initial port values.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

struct PortState {
  // One byte per port over the whole 16-bit port space; only 0x00-0xFF are
  // ever stored. One spare entry so a 16-bit IN at port 0xFFFF reads 0 above it.
  uint8_t IoPorts[0x10001];
  uint32_t MapBaseLow;   // Iram offset of screen 1's map (port 0x07 low nibble)
  uint32_t MapBaseHigh;  // Iram offset of screen 2's map (port 0x07 high nibble)
};

inline constexpr const char* kMsgUnknownPort = "不明ﾚｼﾞｽﾀの書き込み";

// Ports 0x00-0xD5 dispatch through one table; every higher port is a port
// without meaning.
using PortWriter = void (*)(Machine&, uint32_t port, uint8_t value);
constexpr uint32_t kPortTableSize = 0xD6;

// port: 0 ... 0x10000 (a 16-bit OUT to DX = 0xFFFF reaches 0x10000). Carries
// out the port's side effect, then stores the value (ports below 0x100 only).
void WritePort(Machine& m, uint32_t port, uint8_t value);

// The keypad port 0xB5 for a row selection (bits 4-6 of select) and the keys held.
uint8_t KeypadValue(uint8_t select, uint16_t buttons);

// With Verbose on: a box "<message> <CS*16+IP>" (the address after the OUT),
// caption "警告", no icon. With Verbose off nothing happens.
void WarnUnknownPort(Machine& m, const char* message);

// Runs at the end of every successful load, after Iram and the ports are cleared.
void ResetMachine(Machine& m);

}  // namespace kestra
