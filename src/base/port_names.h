// The console's I/O ports by name. Every port number in the machine's code
// comes from here; the comment after each group names the file that owns its
// side effect or reads it. A port without a name only stores its value.
#pragma once

#include <cstdint>

namespace kestra {

enum PortName : uint32_t {
  // Display (video/renderer.cpp, video/palette.cpp; map bases in core/ports.cpp).
  kPortDisplayControl = 0x00,  // screens and sprites on, windows
  kPortBackColour = 0x01,
  kPortLine = 0x02,            // line counter, advanced by system/scheduler.cpp
  kPortLineCompare = 0x03,     // core/interrupts.cpp
  kPortSpriteBase = 0x04,      // sprite table: base, first entry, count (video/sprites.cpp)
  kPortSpriteFirst = 0x05,
  kPortSpriteCount = 0x06,
  kPortMapBase = 0x07,         // screen map bases (core/ports.cpp)
  kPortScreen1ScrollX = 0x10,
  kPortScreen1ScrollY = 0x11,
  kPortScreen2ScrollX = 0x12,
  kPortScreen2ScrollY = 0x13,
  kPortLcdControl = 0x14,      // bit 0: the LCD shows frames (video/sprites.cpp)
  kPortShadeFirst = 0x1C,      // 0x1C-0x1F shade select (video/palette.cpp)
  kPortShadeLast = 0x1F,
  kPortMonoPaletteFirst = 0x20,  // 0x20-0x3F monochrome palettes (video/palette.cpp)
  kPortMonoPaletteLast = 0x3F,
  kPortVideoMode = 0x60,       // bit 7: colour mode; bits 5-6: tile format

  // General DMA (core/ports.cpp).
  kPortDmaSource = 0x40,       // 0x40-0x42, low byte first
  kPortDmaDestination = 0x44,  // 0x44-0x45; 0x43 gets the destination's bank
  kPortDmaDestinationBank = 0x43,
  kPortDmaLength = 0x46,       // 0x46-0x47
  kPortDmaControl = 0x48,

  // Sound DMA (sound/voice.cpp).
  kPortSoundDmaSource = 0x4A,  // 0x4A-0x4C
  kPortSoundDmaCount = 0x4E,   // 0x4E-0x4F
  kPortSoundDmaControl = 0x52,

  // Sound (sound/sound.cpp).
  kPortSoundPeriodFirst = 0x80,  // 0x80-0x87: four 11-bit periods, low byte first
  kPortSoundPeriod1 = 0x80,
  kPortSoundPeriod2 = 0x82,
  kPortSoundPeriod3 = 0x84,
  kPortSoundPeriod4 = 0x86,
  kPortSoundPeriodLast = 0x87,
  kPortSoundVolume1 = 0x88,
  kPortSoundVolume2 = 0x89,    // also the voice sample in voice mode (sound/voice.cpp)
  kPortSoundVolume3 = 0x8A,
  kPortSoundVolume4 = 0x8B,
  kPortSweepAmount = 0x8C,
  kPortSweepTime = 0x8D,
  kPortNoiseControl = 0x8E,
  kPortWaveTableBase = 0x8F,
  kPortSoundControl = 0x90,
  kPortSoundOutput = 0x91,
  kPortNoiseCounter = 0x92,    // 0x92-0x93, written once per line (sound/voice.cpp)
  kPortSoundLast = 0x94,

  // System (core/ports.cpp).
  kPortSystemControl = 0xA0,

  // Timers (core/interrupts.cpp counts them, core/ports.cpp starts them).
  kPortTimerControl = 0xA2,
  kPortHBlankReload = 0xA4,    // 0xA4-0xA5
  kPortVBlankReload = 0xA6,    // 0xA6-0xA7
  kPortHBlankCounter = 0xA8,   // 0xA8-0xA9
  kPortVBlankCounter = 0xAA,   // 0xAA-0xAB

  // Interrupts (core/interrupts.cpp).
  kPortInterruptBase = 0xB0,
  kPortInterruptEnable = 0xB2,
  kPortSerialStatus = 0xB3,    // core/ports.cpp
  kPortKeypad = 0xB5,          // core/ports.cpp, filled by core/keypad.cpp
  kPortInterruptStatus = 0xB6,

  // Serial EEPROMs (core/eeprom.cpp): data, command, control.
  kPortInternalEepromData = 0xBA,
  kPortInternalEepromCommand = 0xBC,
  kPortInternalEepromControl = 0xBE,
  kPortCartEepromData = 0xC4,
  kPortCartEepromCommand = 0xC6,
  kPortCartEepromControl = 0xC8,

  // Banks (core/memory.cpp).
  kPortBankRomHigh = 0xC0,  // the 12 ROM banks of 0x40000-0xFFFFF
  kPortBankSave = 0xC1,
  kPortBankRom0 = 0xC2,
  kPortBankRom1 = 0xC3,
  kPortCartridgeCA = 0xCA,  // stored with bit 7 set (core/ports.cpp)
};

constexpr uint32_t kPortCount = 0x100;  // the ports that hold a value

// Ports without meaning below 0xD6: a write warns (with Verbose on), then
// stores. Every port from 0xD6 up is one too.
struct PortRange {
  uint32_t first, last;
};
inline constexpr PortRange kPortsWithoutMeaning[] = {
    {0x18, 0x1B}, {0x54, 0x5F}, {0x61, 0x61}, {0x63, 0x63}, {0x6C, 0x7F},
    {0x95, 0x9F}, {0xA1, 0xA1}, {0xA3, 0xA3}, {0xAC, 0xAF}, {0xB8, 0xB9},
    {0xBF, 0xBF}, {0xC9, 0xC9}, {0xD0, 0xD0}, {0xD2, 0xD2}, {0xD4, 0xD4},
};

}  // namespace kestra
