// Voice output: channel 2's voice samples and the sound DMA, one byte per LCD
// line, streamed into the voice buffer as a ring of 16 blocks of one frame
// each. The buffer's rate follows the rate at which samples really arrive.
#pragma once

#include <cstdint>

namespace kestra {

struct Machine;

constexpr uint32_t kVoiceBlockSize = 159;  // one frame of lines
constexpr uint32_t kVoiceBlockCount = 16;
constexpr uint32_t kVoiceRingSize = kVoiceBlockSize * kVoiceBlockCount;  // 2,544
constexpr uint32_t kVoiceRateWindow = 125;  // milliseconds between rate measurements

struct VoiceState {
  uint8_t VoiceStage[kVoiceRingSize];  // the first 159 bytes collect the current block
  uint32_t VoiceFill = 0;
  uint32_t VoiceBlock = 0;      // ring block the next flush writes
  uint32_t VoiceRateCount = 0;  // samples since the last measurement
  uint32_t VoiceRateTick = 0;   // tick count at which the next measurement is due
};

// Once per line, on the emulation thread.
void PushVoiceSample(Machine& m, uint8_t sample);

// The voice sample of a line: sound DMA, else channel 2 in voice mode, else
// 0x80. Advances the DMA registers.
uint8_t NextVoiceSample(Machine& m);
// The byte handed to the voice output for a sample: halved around 0x80 and
// kept within 0x55-0xAA.
uint8_t VoiceOutputLevel(uint8_t sample);

// Phase 2 of every line: the noise counter ports and one voice sample.
void SoundLine(Machine& m);
// Writes the full block into the ring. A block that cannot be written is
// dropped, so the stage never overflows.
void FlushVoiceBlock(Machine& m);

}  // namespace kestra
