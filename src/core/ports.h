// The I/O port file and the port-write operation with every register's side
// effect; the machine reset with the initial port values.
#pragma once

#include <cstdint>

#include "base/port_names.h"

namespace kestra {

struct Machine;

// The ports that hold a value; the rest of the 16-bit port space reads 0.
struct PortState {
  uint8_t IoPorts[kPortCount];
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

// With Verbose on: a box "<message> <CS*16+IP>" (the address after the OUT),
// caption "警告", no icon. With Verbose off nothing happens.
void WarnUnknownPort(Machine& m, const char* message);

}  // namespace kestra
